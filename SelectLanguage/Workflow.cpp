// The installation workflow: configuration, install command, download
// progress, the setup program's run and the finishing steps.
#include "SelectLanguage/InstallerDialog.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/ProgressLog.h"
#include "net/Files.h"
#include "net/GameSettings.h"

int64_t InstallerDialog::OnLoadSettings(uint64_t, int64_t) { return 0; }

void InstallerDialog::OnInstall() {}

int64_t InstallerDialog::OnDownloadProgress(uint64_t done, int64_t total) {
  host_.ComboEnable(false);
  host_.ProgressSetRange(static_cast<uint64_t>(total));
  host_.ProgressSetPosition(done);
  host_.ProgressShow(true);
  return 0;
}

int64_t InstallerDialog::OnSetupDownloaded(uint64_t, int64_t) { return 0; }

int64_t InstallerDialog::OnSetupDownloadFailed(uint64_t, int64_t) {
  host_.ShowMessageBox(u"Failed to load setup file.", GetApplicationName());
  LogEntry(u"Failed to load setup file.");
  PostClose();
  return 0;
}

void InstallerDialog::OnTimer(uint64_t id) {
  if (id != kTimerSetupWait) return;
  if (setupStarted == 0 || registered == 1) {
    host_.Invalidate();
    return;
  }
}
