// The installation: the region, the configuration, the setup's download, its
// run and the finishing steps. It plans and does; the window only shows what
// the installation tells it through its port. Everything here runs on the
// window's thread: the workers report by messages posted to the window,
// whose one dispatch hands the workflow messages to OnMessage.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "SelectLanguage/DialogHost.h"
#include "SelectLanguage/DownloadThread.h"
#include "SelectLanguage/InstallStatus.h"
#include "SelectLanguage/RegionWorker.h"
#include "SelectLanguage/SettingsWorker.h"
#include "SelectLanguage/TransferRate.h"
#include "SelectLanguage/WorkerThread.h"
#include "net/RegionCode.h"

struct GameSettings;
class SetupProgram;

// The waits of start-up and of the configuration loop. Only tests shorten them.
struct InstallationTimings {
  RegionTimings region;
  std::chrono::milliseconds settingsRetryPause{3000};
};

// What the installation asks of the window that shows it.
// The box for a current folder that takes no file; %s: the folder.
inline constexpr std::u16string_view kFolderNotWritable =
    u"The installer cannot write to its folder:\r\n%s\r\nMove it to a folder you can write to, and start it again.";

class InstallationPort {
 public:
  virtual ~InstallationPort() = default;
  // Whether the install command may be given now.
  virtual void EnableInstall(bool enabled) = 0;
  // What the installation is doing now.
  virtual void ShowStatus(const InstallStatus& status) = 0;
  // A modal box with an OK button; returns once it is dismissed.
  virtual void ShowMessage(const std::u16string& text) = 0;
  // Asks the window to close, after the messages already queued.
  virtual void Close() = 0;
};

class Installation {
 public:
  // `window` receives the workers' messages; `port` is told what to show.
  Installation(DialogHost& window, InstallationPort& port, InstallationTimings timings = {});
  // Stops the workers: from then on they post nothing.
  ~Installation();
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  // Starts the download worker, before the window has its controls.
  void Start();
  // The first log entry; then, once the window is up, the region and the
  // configuration. The rest of the run follows from the messages these start.
  void Begin();
  // The install command, for the selected language slot (-1: none).
  void Install(int selection);
  // The workflow messages (IsWorkflowMessage) and timer 2029's ticks.
  int64_t OnMessage(const DialogMessage& message);
  // The window closes: the workers are asked to stop and post nothing more.
  void Stop();

  // What tests and the window's finishing look at.
  const GameSettings* Settings() const { return settings_.get(); }
  bool SetupStarted() const { return setupStarted_ != 0; }
  const std::u16string& SetupPath() const { return setupPath_; }

 private:
  int64_t OnLookUpRegion();
  int64_t OnRegionKnown(int source);
  // The region's log entry, then the configuration.
  void RegionKnown(int source);
  int64_t OnLoadSettings();
  int64_t OnSettingsTry(uint64_t outcome, int64_t attempt);
  int64_t OnSettingsTryFailed(int64_t attempt);
  int64_t OnDownloadProgress(uint64_t done, uint64_t total);
  int64_t OnDownloadRetry(int next, int64_t pauseMs);
  int64_t OnDownloadServer(int url, int64_t urls);
  int64_t OnSetupDownloaded();
  int64_t OnSetupDownloadFailed(uint64_t cause);
  void OnTimer(uint64_t id);
  void EnableInstall(bool enabled);
  void Show(const InstallStatus& status);
  void ShowFailure(InstallFailure failure);
  // The started process's exit code once the setup program has ended and
  // its file is gone, else nothing.
  std::optional<int> SetupEnded();
  // The finishing steps, once the setup has ended with success.
  void Finish();

  DialogHost& window_;
  InstallationPort& port_;
  const RegionTimings regionTimings_;
  const std::chrono::milliseconds settingsRetryPause_;
  long long settingsLogNumber_ = 0;  // the number of the next configuration log entry
  // Install is unusable until the configuration is in (without it there is
  // no setup to download, and the command would only end the program) and
  // again once a download was asked for.
  bool installable_ = false;
  bool regionKnown_ = false;
  bool folderWritable_ = true;  // the first log entry could be written

  std::unique_ptr<RegionWorker> regionWorker_;  // from message 2033 on
  std::unique_ptr<DownloadThread> thread_;
  WorkerThread leftoverRemoval_;  // an earlier run's setup file, at the start
  std::u16string folder_;
  std::u16string setupPath_;
  std::unique_ptr<GameSettings> settings_;          // set once a configuration try has succeeded
  std::unique_ptr<SettingsWorker> settingsWorker_;  // from message 2028 on
  uint32_t registered_ = 0;
  uint32_t setupStarted_ = 0;
  std::unique_ptr<SetupProgram> setupProgram_;  // from its start until it has ended
  std::shared_ptr<SetupHandoff> setupHandoff_;  // the checked file, from the worker
  int urls_ = 1;                                // the download's URLs, its mirrors included
  RegionCode region_;
  InstallStatus status_;  // what the port was last told
  TransferRate rate_;     // of the download under way
};
