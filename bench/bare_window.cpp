// The reference for the time to the window: a bare GTK window with the
// installer's title and a combo box of its five languages, nothing else.
#include <gtk/gtk.h>

#include <initializer_list>

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Select language");
  gtk_window_set_default_size(GTK_WINDOW(window), 320, 160);
  GtkWidget* combo = gtk_combo_box_text_new();
  for (const char* name : {"English", "简体中文", "繁體中文", "Россия", "日本語"}) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), name);
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), 0);
  GtkWidget* fixed = gtk_fixed_new();
  gtk_fixed_put(GTK_FIXED(fixed), combo, 115, 59);
  gtk_container_add(GTK_CONTAINER(window), fixed);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
