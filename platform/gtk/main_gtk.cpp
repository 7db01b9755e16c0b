// Entry point of the Linux program: the GTK host runs the installer's window.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "SelectLanguage/InstallerApp.h"
#include "platform/gtk/GtkDialogHost.h"

int main(int argc, char** argv) {
  // The window draws with cairo only. Left alone, GDK opens the OpenGL
  // driver to pick its visuals, which maps a software rasteriser and its
  // compiler (tens of MiB resident) for nothing. The setting is dropped
  // again at once so that the setup program and the game do not inherit it.
  const bool glAlreadySet = std::getenv("GDK_GL") != nullptr;
  if (!glAlreadySet) ::setenv("GDK_GL", "disable", 1);
  const bool opened = gtk_init_check(&argc, &argv);
  if (!glAlreadySet) ::unsetenv("GDK_GL");
  if (!opened) {
    std::fprintf(stderr, "SelectLanguage: cannot open a display\n");
    return 1;
  }
  GtkDialogHost host;
  InstallerApp app;
  app.InitInstance(host);
  return 0;
}
