// The configuration's tries, off the window's thread: up to ten tries of
// LoadGameSettings with a pause after each failure. The worker posts each
// try's outcome to the window (message kMsgSettingsTry) and the window
// writes the log, so the log keeps its one writer and the window paints and
// can be closed while a try waits on the network.
#pragma once

#include <chrono>
#include <memory>

#include "SelectLanguage/WorkerThread.h"
#include "net/GameSettings.h"

class DialogHost;

inline constexpr int kSettingsTries = 10;

class SettingsWorker {
 public:
  SettingsWorker(DialogHost& window, std::chrono::milliseconds retryPause);
  // Abandons a try under way and ends a pause at once; the worker is waited
  // for only briefly (WorkerThread).
  ~SettingsWorker() = default;
  SettingsWorker(const SettingsWorker&) = delete;
  SettingsWorker& operator=(const SettingsWorker&) = delete;

  // Starts the tries; false when the thread cannot start.
  bool Start();
  void RequestStop() { worker_.RequestStop(); }
  // The record that the successful try filled; null before its message.
  std::unique_ptr<GameSettings> TakeSettings();

 private:
  struct Tries : WorkerLink {
    Tries(DialogHost& window, std::chrono::milliseconds pause) : WorkerLink(&window), retryPause(pause) {}
    const std::chrono::milliseconds retryPause;
    // Filled by each try in turn (a failed try may leave some fields set);
    // handed over once a try has succeeded.
    std::unique_ptr<GameSettings> record = std::make_unique<GameSettings>();
    bool loaded = false;
  };
  static void Run(Tries& tries);

  // A try cannot be cut from outside, so waiting for one is no use; a
  // pause ends at once. The short wait only lets a worker that is between
  // tries end before its owner does.
  static constexpr std::chrono::milliseconds kStopWait{200};

  std::shared_ptr<Tries> tries_;
  WorkerThread worker_{kStopWait};  // last: stopped before the block reference goes
};
