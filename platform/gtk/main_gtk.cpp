// Entry point of the Linux program: the GTK host runs the installer's window.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "SelectLanguage/InstallerApp.h"
#include "SelectLanguage/SingleInstance.h"
#include "SelectLanguage/WorkerThread.h"
#include "platform/gtk/GtkDialogHost.h"

namespace {

int RunInstaller(int argc, char** argv) {
  // Before anything is shown or written: a second installer would replace
  // the running one's setup program and empty its log.
  std::optional<SingleInstance> instance(std::in_place);
  // A running one that cannot be reached may just have ended: claim again.
  if (instance->Outcome() == SingleInstance::Claim::Second && !instance->BringRunningToFront()) instance.emplace();
  if (instance->Outcome() == SingleInstance::Claim::Second) return 0;
  if (instance->Outcome() == SingleInstance::Claim::Unguarded) {
    std::fprintf(stderr, "SelectLanguage: %s; running without the one-installer lock\n", instance->Problem().c_str());
  }

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
  const std::unique_ptr<DialogHost> host = CreateGtkDialogHost();
  instance->AnswerLaterStarts([&host](const std::string& token) { BringGtkHostToFront(*host, token); });
  InstallerApp app;
  app.InitInstance(*host);
  instance->AnswerLaterStarts(nullptr);  // the host goes before the lock does
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The window, its host and the lock are gone here; a worker that was let
  // go must not meet the program's exit handlers.
  const int code = RunInstaller(argc, argv);
  EndProcessIfWorkersRun(code);
  return code;
}
