// What the tests see of this process's children, from /proc: which of them
// are zombies, and whether a process still runs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <thread>
#include <vector>

// Children of this process that have ended and were not reaped.
std::vector<pid_t> ZombieChildren();
// Whether the process exists and has not ended (a zombie has ended).
bool IsRunning(pid_t pid);

// Polls `done` until it holds or `limit` has passed; whether it held.
template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
