// What the installation is doing, as the window shows it: a phase and the
// figures that go with it. Only what the program itself computed is in it,
// never a text from a server.
#pragma once

#include <chrono>
#include <cstdint>

enum class InstallPhase : uint8_t {
  kConnecting,      // the region lookup and the configuration's first try
  kSettingsRetry,   // a configuration try failed (attempt of attempts); the next starts at `next`
  kReady,           // the configuration is in: the player may install
  kDownloading,     // the setup program is on its way: done of total bytes (total 0: not known)
  kDownloadRetry,   // an attempt broke; attempt `attempt` of `attempts` starts at `next`
  kAnotherServer,   // the download moved on to URL `attempt` of `attempts`
  kChecking,        // the whole file is in and being checked
  kSetupRunning,    // the setup program runs
  kSetupHeld,       // the setup has ended, but something it left running still holds its file
  kRestoringTimes,  // the game's file times are put back
  kStartingGame,
  kFailed,  // the installation cannot go on, for `failure`
};

enum class InstallFailure : uint8_t {
  kNone,
  kSettings,      // no configuration after the last try
  kDownload,      // the setup program could not be downloaded
  kSetupChanged,  // the setup program is not the file the configuration names
  kRegistration,  // the setup left no game folder behind
  kSetupFailed,   // the setup program ended with a code that is no success, or by a signal
  kNoRoom,        // the disk cannot take the setup program
};

struct InstallStatus {
  InstallPhase phase = InstallPhase::kConnecting;
  uint64_t done = 0;            // bytes of the download so far
  uint64_t total = 0;           // the download's whole size; 0: not known
  uint64_t bytesPerSecond = 0;  // the download's recent rate; 0: not known yet
  int attempt = 0;
  int attempts = 0;
  std::chrono::steady_clock::time_point next{};
  InstallFailure failure = InstallFailure::kNone;
};
