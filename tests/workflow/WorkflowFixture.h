// One installer run through the headless host against the sandbox services,
// with the sample setup program served for every language and its registry
// store and game folder in a fresh temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SelectLanguage/Installation.h"
#include "platform/headless/HeadlessHost.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TempDir.h"

// The time the sample setup's list file records for the files it installs.
inline constexpr int64_t kRecorded = 1700000000;

// The installation in a window of its own, without artwork or buttons: the
// headless host runs its messages and timer, and the port records what the
// installation shows.
class TestWindow : public DialogWindow, public InstallationPort {
 public:
  TestWindow(HeadlessHost& host, InstallationTimings timings) : host_(host), installation(host, *this, timings) {}

  int OnInitDialog() override;
  bool PreTranslateMessage(const DialogMessage&) override { return false; }
  int64_t Dispatch(const DialogMessage& message) override;
  ControlColors OnCtlColor(int) override { return {}; }

  void EnableInstall(bool enabled) override { installEnabled = enabled; }
  void ShowStatus(const InstallStatus& status) override { statuses.push_back(status); }
  void ShowMessage(const std::u16string& text) override { host_.ShowMessageBox(text, u"SelectLanguage"); }
  void Close() override { host_.Post(kWmClose, 0, 0); }

  // The download's figures as shown, (done, total) in order.
  std::vector<std::pair<uint64_t, uint64_t>> Downloaded() const;

  int selection = 0;  // the language slot that the install command takes
  bool installEnabled = false;
  bool closed = false;
  std::vector<InstallStatus> statuses;

 private:
  HeadlessHost& host_;

 public:
  Installation installation;  // last: its workers stop before the rest goes
};

class WorkflowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the sandbox (with further options) and opens the window.
  void StartInstaller(const std::vector<std::string>& sandboxOptions = {},
                      std::chrono::milliseconds settingsRetryPause = std::chrono::milliseconds(0));
  // The two halves of StartInstaller, for tests that change the environment
  // in between. StartSandbox exports the sandbox's hosts.
  bool StartSandbox(const std::vector<std::string>& sandboxOptions = {});
  void OpenInstaller(std::chrono::milliseconds settingsRetryPause = std::chrono::milliseconds(0));
  // Runs the window until the configuration's worker has loaded it (false
  // when the window closed or `timeout` passed first).
  bool ConfigurationLoaded(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // The configuration is in and the install command given (the test fails
  // at once when the configuration never came).
  void PressInstall();
  // StartInstaller with these options, then PressInstall.
  void Install(const std::vector<std::string>& sandboxOptions = {});
  // Whether the sample game wrote its "started.txt" within `timeout`.
  bool GameStarted(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // Serves `bytes` as every language's setup program.
  void ServeSetup(const std::string& bytes);
  // Serves the sandbox's configuration with one key's value replaced, or
  // the key added (the sandbox must run).
  bool ServeConfigValue(const std::string& key, const std::string& value);
  // The log as UTF-16 text (entry marks included).
  std::u16string Log() const;
  // The log that these entries make.
  static std::u16string Entries(std::initializer_list<std::u16string> texts);

  std::filesystem::path Root() const { return cwd_.Path(); }
  std::filesystem::path GameFolder() const { return Root() / "games" / "ZKGame"; }
  std::filesystem::path SetupFile() const;

  // One start of the sample game, from its "started.txt".
  struct GameStart {
    pid_t pid = 0;
    long long realtimeNs = 0;
    bool bySetup = false;  // the setup started it, not the installer
  };
  std::vector<GameStart> GameStarts() const;
  // One ended process of the sample setup, from its "setup-ended.txt".
  struct SetupEnd {
    long long realtimeNs = 0;
    pid_t pid = 0;
  };
  std::vector<SetupEnd> SetupEnds() const;

  const Installation& Engine() const { return window_->installation; }

  TempDir cwd_{true};
  Sandbox sandbox_;
  HeadlessHost host_;
  std::unique_ptr<TestWindow> window_;
};
