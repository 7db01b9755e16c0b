// The region lookup, off the window's thread: both services in turn, with
// their time limits and pauses, behind the shown window. The worker posts
// message kMsgRegionKnown when it has the code; the window then takes it.
#pragma once

#include <chrono>
#include <memory>

#include "SelectLanguage/WorkerThread.h"
#include "net/RegionCode.h"

class DialogHost;

class RegionWorker {
 public:
  RegionWorker(DialogHost& window, RegionTimings timings);

  // Starts the lookup; false when the thread cannot start.
  bool Start();
  void RequestStop() { worker_.RequestStop(); }
  // The region found; valid once kMsgRegionKnown has arrived.
  RegionCode Take();

 private:
  struct Lookup : WorkerLink {
    Lookup(DialogHost& window, RegionTimings t) : WorkerLink(&window), timings(t) {}
    const RegionTimings timings;
    RegionCode region;  // the code found, set before the message is posted
  };
  static void Run(Lookup& lookup);

  // A lookup cannot be cut from outside (its request has its own limit);
  // a pause ends at once.
  static constexpr std::chrono::milliseconds kStopWait{200};

  std::shared_ptr<Lookup> lookup_;
  WorkerThread worker_{kStopWait};  // last: stopped before the block reference goes
};
