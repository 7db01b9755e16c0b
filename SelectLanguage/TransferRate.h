// A download's rate, averaged over the last few seconds so that the shown
// figures do not jitter with each burst the network delivers, and falling to
// nothing when the bytes stop.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

class TransferRate {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kWindow{3};

  // The bytes done so far at `now`. Fewer than before (the file started
  // over) begins the average anew.
  void Add(Clock::time_point now, uint64_t done);
  // Bytes a second over the window that ends at `now`; 0 until a second of
  // figures is in.
  uint64_t BytesPerSecond(Clock::time_point now) const;

 private:
  struct Sample {
    Clock::time_point at;
    uint64_t done;
  };
  std::deque<Sample> samples_;  // oldest first; at most one before the window
};
