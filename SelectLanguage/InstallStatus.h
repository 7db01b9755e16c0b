// What the installation is doing, as the window shows it: a phase and the
// figures that go with it. Only what the program itself computed is in it.
#pragma once

#include <cstdint>

enum class InstallPhase : uint8_t {
  kConnecting,    // the region lookup and the configuration's first try
  kReady,         // the configuration is in: the player may install
  kDownloading,   // the setup program is on its way (done of total bytes)
  kChecking,      // the whole file is in and being checked
  kSetupRunning,  // the setup program runs
  kFinishing,     // restoring the game's file times and starting the game
  kFailed,        // the installation cannot go on
};

struct InstallStatus {
  InstallPhase phase = InstallPhase::kConnecting;
  uint64_t done = 0;   // bytes of the download so far
  uint64_t total = 0;  // the download's whole size; 0: not known
};
