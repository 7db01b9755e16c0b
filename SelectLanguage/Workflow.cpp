// The installation workflow: configuration, install command, download
// progress, the setup program's run and the finishing steps. Everything runs
// on the window's thread; the configuration's tries and the download run on
// workers that report by posted messages.

#include "SelectLanguage/DownloadProgress.h"
#include "SelectLanguage/GameFolder.h"
#include "SelectLanguage/InstallerDialog.h"
#include "SelectLanguage/ListFile.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/ProgressLog.h"
#include "SelectLanguage/SetupProgram.h"
#include "net/ConfigTrust.h"
#include "net/Files.h"
#include "net/GameSettings.h"
#include "net/Processes.h"
#include "net/Text.h"

namespace {

constexpr std::u16string_view kSetupFileName = u"_Set_UpZK.exe";

// The setup program's place: next to the installer's own file, not in the
// current directory.
std::u16string SetupPathIn(std::u16string& folder) {
  folder.clear();
  if (GetModuleDirectory(folder) < 0) return {};
  return JoinPath(folder, kSetupFileName);
}

}  // namespace

// The tries run on the configuration's worker; this thread only starts
// them and, as each try's outcome arrives, logs it in order.
int64_t InstallerDialog::OnLoadSettings(uint64_t, int64_t) {
  if (settingsWorker) return 0;  // the loading is started once
  settingsLogNumber_ = region.IsCN() ? 1 : 0;
  settingsWorker = std::make_unique<SettingsWorker>(host_, settingsRetryPause_);
  if (!settingsWorker->Start()) {
    // No thread for the tries: the configuration cannot be had, as after
    // the last failed try.
    host_.ShowMessageBox(u"Game settings file download failed.", GetApplicationName());
    PostClose();
  }
  return 0;
}

int64_t InstallerDialog::OnSettingsTry(uint64_t outcomeValue, int64_t attempt) {
  if (!settingsWorker || settings) return 0;
  const auto outcome = static_cast<SettingsOutcome>(outcomeValue);
  if (outcome == SettingsOutcome::kLoaded) {
    settings = settingsWorker->TakeSettings();
    if (!settings) return 0;
    LogEntry(FormatLogEntry(u"Game settings file was successfully downloaded(%d).", {settingsLogNumber_}));
    EnableInstallButton();
    return 0;
  }
  // A refused file says why, before the try's own entry.
  if (const std::u16string_view cause = SettingsRefusalEntry(outcome); !cause.empty()) LogEntry(cause);
  LogEntry(FormatLogEntry(u"Game settings file download failed(%d).", {settingsLogNumber_}));
  settingsLogNumber_ = settingsLogNumber_ == 0 ? 1 : 0;
  if (attempt < kSettingsTries) return 0;
  host_.ShowMessageBox(u"Game settings file download failed.", GetApplicationName());
  PostClose();
  return 0;
}

void InstallerDialog::OnInstall() {
  const int selection = host_.ComboGetSelection();
  LogEntry(FormatLogEntry(u"Attempt to install game(%d).", {static_cast<long long>(selection)}));
  if (selection < 0 || selection >= kLanguageSlots) {
    PostClose();
    return;
  }
  std::u16string url;
  if (settings) {
    url = FormatText(u"%s%s", {FieldText(settings->uPath[selection]), FieldText(settings->fName[selection])});
  }
  LogEntry(FormatLogEntry(u"Install the game(%d).", {static_cast<long long>(host_.ComboGetSelection())}));
  if (url.empty() || !thread) {
    PostClose();
    return;
  }

  DownloadProgress::Instance().SetWindow(&host_);
  auto request = std::make_unique<DownloadRequest>();
  const std::u16string path = SetupPathIn(folder);
  if (!StoreInField(request->url, url) || !StoreInField(request->path, path)) {
    PostClose();  // cannot happen with fields of their sizes; never cut a URL
    return;
  }
  request->progress = &DownloadProgress::Instance();
  request->check = settings->setupCheck[selection];
  // A build that trusts only signed configurations trusts only setup
  // programs that a signed configuration names by their hash.
  request->checksumRequired = !TrustedConfigKeys().empty();
  setupHandoff = std::make_shared<SetupHandoff>();
  request->handoff = setupHandoff;
  thread->PostToThread(kMsgDownloadRequest, std::move(request));
  DisableInstallButton();
}

int64_t InstallerDialog::OnDownloadProgress(uint64_t done, int64_t total) {
  host_.ComboEnable(false);
  host_.ProgressSetRange(static_cast<uint64_t>(total));
  host_.ProgressSetPosition(done);
  host_.ProgressShow(true);
  return 0;
}

int64_t InstallerDialog::OnSetupDownloaded(uint64_t, int64_t) {
  host_.ProgressShow(false);
  host_.Invalidate();
  LogEntry(u"Load setup file.");
  setupPath = SetupPathIn(folder);
  // The file that the worker checked, not whatever has its name by now.
  HeldFile checked = setupHandoff ? setupHandoff->Take() : HeldFile();
  bool replaced = false;
  if (!setupPath.empty() && checked.IsHeld()) {
    // The end of the started process wakes the wait at once, through the
    // timer's own message, rather than at the next tick.
    DialogHost& host = host_;
    setupProgram = SetupProgram::Start(setupPath, std::move(checked), replaced,
                                       [&host] { host.Post(kWmTimer, kTimerSetupWait, 0); });
  }
  // A setup program that cannot be started is a failure, not a finished setup.
  if (!setupProgram) {
    DeleteFilePath(setupPath);
    return OnSetupDownloadFailed(
        static_cast<uint64_t>(replaced ? SetupDownloadEnd::kChanged : SetupDownloadEnd::kFailed), 0);
  }
  setupStarted = 1;
  return 0;
}

// wParam: why (SetupDownloadEnd), 0 for a failure with no more to say.
int64_t InstallerDialog::OnSetupDownloadFailed(uint64_t cause, int64_t) {
  if (cause <= static_cast<uint64_t>(SetupDownloadEnd::kChanged)) {
    const std::u16string_view entry = SetupFailureEntry(static_cast<SetupDownloadEnd>(cause));
    if (!entry.empty()) LogEntry(entry);
  }
  host_.ShowMessageBox(u"Failed to load setup file.", GetApplicationName());
  LogEntry(u"Failed to load setup file.");
  PostClose();
  return 0;
}

// The setup has ended when the process started from its file has ended, no
// process runs the file or holds it open (a setup may start itself again and
// let the first process go), and the file is gone: deleted now, or by the
// setup itself. The delete comes last, so a file still in use is never
// taken away from under its program.
bool InstallerDialog::SetupHasEnded() {
  if (!setupProgram) return false;
  const std::optional<int> exitCode = setupProgram->ExitCode();
  if (!exitCode || setupProgram->FileInUse() || !setupProgram->RemoveFile()) return false;
  setupProgram.reset();  // reaps what is left of it before the game starts
  LogEntry(FormatLogEntry(u"The setup program ended (%d).", {static_cast<long long>(*exitCode)}));
  return true;
}

void InstallerDialog::OnTimer(uint64_t id) {
  if (id != kTimerSetupWait) return;
  if (setupStarted == 0 || registered == 1 || !SetupHasEnded()) {
    host_.Invalidate();  // only repaint; the next tick asks again
    return;
  }
  registered = 1;
  host_.StopTimer(kTimerSetupWait);
  if (settings) RestoreFileTimes(*settings);

  const auto gameFolder = settings ? ReadGameFolder(*settings) : std::nullopt;
  if (!gameFolder) {
    LogEntry(u"\r\nGame setting registration failed.");
    PostClose();
    return;
  }
  // A program named outside the game's folder is a game that cannot be
  // started; one that the setup started itself is not started twice.
  const auto game = GameFilePath(*gameFolder, FieldText(settings->fNameUpdate));
  const bool started = game && (ProgramRuns(*game) || StartProgram(*game));
  LogEntry(u"\r\nIt has been successfully installed.\r\nExit the program.");
  if (!started) {
    const std::u16string named = JoinPath(*gameFolder, FieldText(settings->fNameUpdate));
    LogEntry(FormatLogEntry(u"The game could not be started (%s).", {std::u16string_view(named)}));
  }
  PostClose();
}
