// Entry point of the Linux program: the GTK host runs the installer's window.
#include <gtk/gtk.h>

#include <cstdio>

#include "SelectLanguage/InstallerApp.h"
#include "platform/gtk/GtkDialogHost.h"

int main(int argc, char** argv) {
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "SelectLanguage: cannot open a display\n");
    return 1;
  }
  GtkDialogHost host;
  InstallerApp app;
  app.InitInstance(host);
  return 0;
}
