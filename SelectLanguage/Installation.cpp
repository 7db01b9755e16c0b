// The installation's steps. The configuration's tries and the download run
// on workers that report by posted messages; everything here runs on the
// window's thread, which alone writes the log.
#include "SelectLanguage/Installation.h"

#include "SelectLanguage/DownloadRules.h"
#include "SelectLanguage/GameFolder.h"
#include "SelectLanguage/ListFile.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/ProgressLog.h"
#include "SelectLanguage/SetupProgram.h"
#include "net/ConfigTrust.h"
#include "net/Files.h"
#include "net/PartialFile.h"
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

// A setup's file that an earlier run left behind, removed off the window's
// thread: finding out whether a process still uses it may take a look at
// every process.
struct LeftoverSetup : WorkerLink {
  explicit LeftoverSetup(std::u16string file) : path(std::move(file)) {}
  // Also the partial file that a download names where the file system has
  // no unnamed files: a killed installer leaves it behind.
  static void Remove(LeftoverSetup& self) {
    SetupProgram::RemoveLeftover(self.path, self.StopFlag());
    SetupProgram::RemoveLeftover(self.path + std::u16string(kPartialSuffix), self.StopFlag());
  }
  const std::u16string path;
};

}  // namespace

Installation::Installation(DialogHost& window, InstallationPort& port, InstallationTimings timings)
    : window_(window),
      port_(port),
      regionTimings_(timings.region),
      settingsRetryPause_(timings.settingsRetryPause),
      region_(timings.region) {}

Installation::~Installation() { Stop(); }

void Installation::Stop() {
  if (regionWorker_) regionWorker_->RequestStop();
  if (settingsWorker_) settingsWorker_->RequestStop();
  if (thread_) thread_->RequestStop();
  leftoverRemoval_.RequestStop();
  if (setupProgram_) {
    // The setup runs on, but its file does not stay behind.
    LogEntry(u"The installer was closed while the setup program was still running.");
    setupProgram_->Abandon();
    setupProgram_.reset();
  }
}

void Installation::Start() {
  thread_ = std::make_unique<DownloadThread>(window_);
  thread_->Start();
  std::u16string folder;
  const std::u16string setupPath = SetupPathIn(folder);
  if (!setupPath.empty()) {
    leftoverRemoval_.Start(std::make_shared<LeftoverSetup>(setupPath), &LeftoverSetup::Remove);
  }
  folder_.clear();
  GetCurrentDir(folder_);
}

void Installation::Begin() {
  // A folder that cannot take the log cannot take the configuration's
  // working file or the setup either: said at once, rather than after ten
  // tries that blame the download.
  folderWritable_ = ProgressLog::Instance().Write(u"The program has been executed.\r\n", true);
  Show({InstallPhase::kConnecting});
  // The hosts run posted messages only once the window shows, so the region
  // services are asked behind a window that is already there.
  window_.Post(kMsgLookUpRegion, 0, 0);
}

int64_t Installation::OnLookUpRegion() {
  if (!folderWritable_) {
    std::u16string folder;
    GetCurrentDir(folder);
    port_.ShowMessage(FormatText(kFolderNotWritable, {std::u16string_view(folder)}));
    port_.Close();
    return 0;
  }
  if (regionWorker_) return 0;  // looked up once
  regionWorker_ = std::make_unique<RegionWorker>(window_, regionTimings_);
  // No thread for the lookup: it runs here, holding the window while the
  // services answer.
  if (!regionWorker_->Start()) RegionKnown(region_.Determine());
  return 0;
}

int64_t Installation::OnRegionKnown(int source) {
  if (!regionWorker_ || regionKnown_) return 0;
  region_ = regionWorker_->Take();
  RegionKnown(source);
  return 0;
}

void Installation::RegionKnown(int source) {
  regionKnown_ = true;
  LogEntry(FormatLogEntry(u"Your CODE(%d - %s).", {region_.IsCN() ? 1LL : 0LL, RegionSourceLabel(source)}));
  window_.Post(kMsgLoadSettings, 0, 0);
}

int64_t Installation::OnMessage(const DialogMessage& m) {
  switch (m.id) {
    case kMsgSetupDownloaded: return OnSetupDownloaded();
    case kMsgSetupDownloadFailed: return OnSetupDownloadFailed(m.wParam);
    case kMsgLookUpRegion: return OnLookUpRegion();
    case kMsgRegionKnown: return OnRegionKnown(static_cast<int>(m.wParam));
    case kMsgLoadSettings: return OnLoadSettings();
    case kMsgSettingsTry: return OnSettingsTry(m.wParam, m.lParam);
    case kMsgSettingsTryFailed: return OnSettingsTryFailed(static_cast<int64_t>(m.wParam));
    case kMsgDownloadProgress: return OnDownloadProgress(m.wParam, m.lParam > 0 ? static_cast<uint64_t>(m.lParam) : 0);
    case kMsgDownloadBytes: return OnDownloadProgress(m.wParam, 0);
    case kMsgDownloadRetry: return OnDownloadRetry(static_cast<int>(m.wParam), m.lParam);
    case kMsgDownloadServer: return OnDownloadServer(static_cast<int>(m.wParam), m.lParam);
    case kWmTimer: OnTimer(m.wParam); return 0;
    default: return 0;
  }
}

void Installation::EnableInstall(bool enabled) {
  installable_ = enabled;
  port_.EnableInstall(enabled);
}

void Installation::Show(const InstallStatus& status) {
  status_ = status;
  port_.ShowStatus(status_);
}

void Installation::ShowFailure(InstallFailure failure) {
  InstallStatus status{InstallPhase::kFailed};
  status.failure = failure;
  Show(status);
}

// The tries run on the configuration's worker; this thread only starts
// them and, as each try's outcome arrives, logs it in order.
int64_t Installation::OnLoadSettings() {
  if (settingsWorker_) return 0;  // the loading is started once
  settingsLogNumber_ = region_.IsCN() ? 1 : 0;
  settingsWorker_ = std::make_unique<SettingsWorker>(window_, settingsRetryPause_);
  if (!settingsWorker_->Start()) {
    // No thread for the tries: the configuration cannot be had, as after
    // the last failed try.
    ShowFailure(InstallFailure::kSettings);
    port_.ShowMessage(u"Game settings file download failed.");
    port_.Close();
  }
  return 0;
}

int64_t Installation::OnSettingsTry(uint64_t outcomeValue, int64_t attempt) {
  if (!settingsWorker_ || settings_) return 0;
  const auto outcome = static_cast<SettingsOutcome>(outcomeValue);
  if (outcome == SettingsOutcome::kLoaded) {
    settings_ = settingsWorker_->TakeSettings();
    if (!settings_) return 0;
    LogEntry(FormatLogEntry(u"Game settings file was successfully downloaded(%d).", {settingsLogNumber_}));
    Show({InstallPhase::kReady});
    EnableInstall(true);
    return 0;
  }
  // A refused file says why, before the try's own entry.
  if (const std::u16string_view cause = SettingsRefusalEntry(outcome); !cause.empty()) LogEntry(cause);
  LogEntry(FormatLogEntry(u"Game settings file download failed(%d).", {settingsLogNumber_}));
  settingsLogNumber_ = settingsLogNumber_ == 0 ? 1 : 0;
  if (attempt < kSettingsTries) {
    Show({InstallPhase::kConnecting});  // the next try runs
    return 0;
  }
  ShowFailure(InstallFailure::kSettings);
  port_.ShowMessage(u"Game settings file download failed.");
  port_.Close();
  return 0;
}

// A try has failed; its pause runs before the log hears of it.
int64_t Installation::OnSettingsTryFailed(int64_t attempt) {
  if (settings_) return 0;
  if (attempt >= kSettingsTries) {
    ShowFailure(InstallFailure::kSettings);
    return 0;
  }
  InstallStatus status{InstallPhase::kSettingsRetry};
  status.attempt = static_cast<int>(attempt);
  status.attempts = kSettingsTries;
  status.next = std::chrono::steady_clock::now() + settingsRetryPause_;
  Show(status);
  return 0;
}

void Installation::Install(int selection) {
  // A command while Install is unusable (no configuration yet, or a
  // download already asked for) does what a click on it does: nothing.
  if (!installable_) return;
  LogEntry(FormatLogEntry(u"Attempt to install game(%d).", {static_cast<long long>(selection)}));
  if (selection < 0 || selection >= kLanguageSlots) {
    port_.Close();
    return;
  }
  std::u16string url;
  if (settings_) {
    url = FormatText(u"%s%s", {FieldText(settings_->uPath[selection]), FieldText(settings_->fName[selection])});
  }
  LogEntry(FormatLogEntry(u"Install the game(%d).", {static_cast<long long>(selection)}));
  if (url.empty() || !thread_) {
    port_.Close();
    return;
  }

  auto request = std::make_unique<DownloadRequest>();
  const std::u16string path = SetupPathIn(folder_);
  if (!StoreInField(request->url, url) || !StoreInField(request->path, path)) {
    port_.Close();  // cannot happen with fields of their sizes; never cut a URL
    return;
  }
  // Each mirror holds the same file under the same name; one whose URL
  // does not fit is left out rather than cut.
  urls_ = 1;
  for (int n = 0; n < kMirrorPaths; ++n) {
    const std::u16string_view folder = FieldText(settings_->mPath[selection][n]);
    if (folder.empty()) continue;
    const std::u16string mirror = FormatText(u"%s%s", {folder, FieldText(settings_->fName[selection])});
    if (StoreInField(request->mirrorUrl[urls_ - 1], mirror)) ++urls_;
  }
  request->check = settings_->setupCheck[selection];
  // A build that trusts only signed configurations trusts only setup
  // programs that a signed configuration names by their hash.
  request->checksumRequired = !TrustedConfigKeys().empty();
  setupHandoff_ = std::make_shared<SetupHandoff>();
  request->handoff = setupHandoff_;
  thread_->PostToThread(kMsgDownloadRequest, std::move(request));
  EnableInstall(false);
}

// total 0: the download's size is not known.
int64_t Installation::OnDownloadProgress(uint64_t done, uint64_t total) {
  const auto now = std::chrono::steady_clock::now();
  rate_.Add(now, done);
  InstallStatus status{total != 0 && done >= total ? InstallPhase::kChecking : InstallPhase::kDownloading};
  status.done = done;
  status.total = total;
  status.bytesPerSecond = rate_.BytesPerSecond(now);
  Show(status);
  return 0;
}

int64_t Installation::OnDownloadRetry(int next, int64_t pauseMs) {
  InstallStatus status{InstallPhase::kDownloadRetry};
  status.attempt = next;
  status.attempts = AttemptsPerUrl(static_cast<std::size_t>(urls_));
  status.next = std::chrono::steady_clock::now() + std::chrono::milliseconds(pauseMs > 0 ? pauseMs : 0);
  Show(status);
  return 0;
}

// The download left a URL that failed for the next one.
int64_t Installation::OnDownloadServer(int url, int64_t urls) {
  const int count = static_cast<int>(urls);
  LogEntry(FormatLogEntry(u"Trying another server (%d of %d).",
                          {static_cast<long long>(url), static_cast<long long>(count)}));
  InstallStatus status{InstallPhase::kAnotherServer};
  status.attempt = url;
  status.attempts = count;
  Show(status);
  return 0;
}

int64_t Installation::OnSetupDownloaded() {
  Show({InstallPhase::kSetupRunning});
  LogEntry(u"Load setup file.");
  setupPath_ = SetupPathIn(folder_);
  // The file that the worker checked, not whatever has its name by now.
  HeldFile checked = setupHandoff_ ? setupHandoff_->Take() : HeldFile();
  bool replaced = false;
  if (!setupPath_.empty() && checked.IsHeld()) {
    // The end of the started process wakes the wait at once, through the
    // timer's own message, rather than at the next tick.
    DialogHost& window = window_;
    setupProgram_ = SetupProgram::Start(setupPath_, std::move(checked), replaced,
                                        [&window] { window.Post(kWmTimer, kTimerSetupWait, 0); });
  }
  // A setup program that cannot be started is a failure, not a finished setup.
  if (!setupProgram_) {
    DeleteFilePath(setupPath_);
    return OnSetupDownloadFailed(
        static_cast<uint64_t>(replaced ? SetupDownloadEnd::kChanged : SetupDownloadEnd::kFailed));
  }
  setupStarted_ = 1;
  return 0;
}

// cause: why (SetupDownloadEnd), 0 for a failure with no more to say.
int64_t Installation::OnSetupDownloadFailed(uint64_t cause) {
  InstallFailure failure = InstallFailure::kDownload;
  if (cause <= static_cast<uint64_t>(SetupDownloadEnd::kChanged)) {
    const auto end = static_cast<SetupDownloadEnd>(cause);
    const std::u16string_view entry = SetupFailureEntry(end);
    if (!entry.empty()) LogEntry(entry);
    if (end == SetupDownloadEnd::kSizeDiffers || end == SetupDownloadEnd::kChecksumDiffers ||
        end == SetupDownloadEnd::kChanged) {
      failure = InstallFailure::kSetupChanged;
    } else if (end == SetupDownloadEnd::kNoRoom || end == SetupDownloadEnd::kDiskFull) {
      failure = InstallFailure::kNoRoom;
    }
  }
  ShowFailure(failure);
  port_.ShowMessage(u"Failed to load setup file.");
  LogEntry(u"Failed to load setup file.");
  port_.Close();
  return 0;
}

// The setup has ended when the process started from its file has ended, no
// process runs the file or holds it open (a setup may start itself again and
// let the first process go), and the file is gone: deleted now, or by the
// setup itself. The delete comes last, so a file still in use is never
// taken away from under its program.
std::optional<int> Installation::SetupEnded() {
  if (!setupProgram_) return std::nullopt;
  const std::optional<int> exitCode = setupProgram_->ExitCode();
  if (!exitCode) return std::nullopt;
  const SetupProgram::FileUse use = setupProgram_->FileInUse();
  if (use == SetupProgram::FileUse::kLooking) return std::nullopt;
  // Where the system refuses to remove a file in use, the refusal says so.
  if (use == SetupProgram::FileUse::kInUse || !setupProgram_->RemoveFile()) {
    // Something the setup left running holds the installer back: say so.
    if (status_.phase != InstallPhase::kSetupHeld) Show({InstallPhase::kSetupHeld});
    return std::nullopt;
  }
  setupProgram_.reset();  // reaps what is left of it before the game starts
  LogEntry(FormatLogEntry(u"The setup program ended (%d).", {static_cast<long long>(*exitCode)}));
  return exitCode;
}

void Installation::OnTimer(uint64_t id) {
  if (id != kTimerSetupWait) return;
  if (status_.phase == InstallPhase::kDownloading) {
    // A download that stalls shows its rate falling, between its figures.
    InstallStatus status = status_;
    status.bytesPerSecond = rate_.BytesPerSecond(std::chrono::steady_clock::now());
    if (status.bytesPerSecond != status_.bytesPerSecond) Show(status);
  }
  if (setupStarted_ == 0 || registered_ == 1) return;
  const std::optional<int> exitCode = SetupEnded();
  if (!exitCode) return;
  registered_ = 1;
  if (SetupProgram::Succeeded(*exitCode)) {
    Finish();
    return;
  }
  // Whatever the setup left, it is no installation: no times are put back
  // and no game, old or new, is started.
  LogEntry(u"The setup program failed: the installation is not complete.");
  ShowFailure(InstallFailure::kSetupFailed);
  port_.ShowMessage(u"The setup program failed.");
  port_.Close();
}

void Installation::Finish() {
  Show({InstallPhase::kRestoringTimes});
  if (settings_) RestoreFileTimes(*settings_);

  const auto gameFolder = settings_ ? ReadGameFolder(*settings_) : std::nullopt;
  if (!gameFolder) {
    ShowFailure(InstallFailure::kRegistration);
    LogEntry(u"\r\nGame setting registration failed.");
    port_.Close();
    return;
  }
  // A program named outside the game's folder is a game that cannot be
  // started; one that the setup started itself is not started twice.
  const auto game = GameFilePath(*gameFolder, FieldText(settings_->fNameUpdate));
  Show({InstallPhase::kStartingGame});
  const bool started = game && (ProgramRuns(*game) || StartProgram(*game));
  LogEntry(u"\r\nIt has been successfully installed.\r\nExit the program.");
  if (!started) {
    const std::u16string named = JoinPath(*gameFolder, FieldText(settings_->fNameUpdate));
    LogEntry(FormatLogEntry(u"The game could not be started (%s).", {std::u16string_view(named)}));
  }
  port_.Close();
}
