// Entry point of the Linux program: the GTK host runs the installer's window.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "SelectLanguage/InstallerApp.h"
#include "SelectLanguage/SingleInstance.h"
#include "SelectLanguage/WorkerThread.h"
#include "net/Files.h"
#include "net/Text.h"
#include "platform/gtk/GtkDialogHost.h"

namespace {

// The window draws with cairo only. Left alone, GDK opens the OpenGL driver
// to pick its visuals, which maps a software rasteriser and its compiler
// (tens of MiB resident) for nothing. The setting is dropped again at once
// so that the setup program and the game do not inherit it.
bool OpenDisplay(int& argc, char**& argv) {
  const bool glAlreadySet = std::getenv("GDK_GL") != nullptr;
  if (!glAlreadySet) ::setenv("GDK_GL", "disable", 1);
  const bool opened = gtk_init_check(&argc, &argv);
  if (!glAlreadySet) ::unsetenv("GDK_GL");
  if (!opened) std::fprintf(stderr, "SelectLanguage: cannot open a display\n");
  return opened;
}

// A later start whose running installer did not come forward says so, in a
// box of its own, and writes nothing.
int TellAnotherRuns(int argc, char** argv) {
  const std::string text = Utf16ToUtf8(kAnotherInstallerRuns);
  if (!OpenDisplay(argc, argv)) {
    std::fprintf(stderr, "SelectLanguage: %s\n", text.c_str());
    return 0;
  }
  GtkWidget* box =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), Utf16ToUtf8(GetApplicationName()).c_str());
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  return 0;
}

int RunInstaller(int argc, char** argv) {
  // Before anything is shown or written: a second installer would replace
  // the running one's setup program and empty its log.
  std::optional<SingleInstance> instance(std::in_place);
  // A running one that cannot be reached may just have ended: claim again.
  if (instance->Outcome() == SingleInstance::Claim::Second && !instance->BringRunningToFront()) {
    instance.emplace();
    if (instance->Outcome() == SingleInstance::Claim::Second) return TellAnotherRuns(argc, argv);
  }
  if (instance->Outcome() == SingleInstance::Claim::Second) return 0;
  if (instance->Outcome() == SingleInstance::Claim::Unguarded) {
    std::fprintf(stderr, "SelectLanguage: %s; running without the one-installer lock\n", instance->Problem().c_str());
  }
  if (!OpenDisplay(argc, argv)) return 1;
  const std::unique_ptr<DialogHost> host = CreateGtkDialogHost();
  instance->AnswerLaterStarts([&host](const std::string& token) { return BringGtkHostToFront(*host, token); });
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
