// Retry timings for tests: the download's real rules with pauses short
// enough that five attempts cost a fraction of a second.
#pragma once

#include <chrono>

#include "SelectLanguage/DownloadRules.h"

inline DownloadRetryTimings QuickRetries() {
  using namespace std::chrono_literals;
  DownloadRetryTimings timings;
  timings.pauses = {20ms, 20ms, 20ms, 20ms};
  timings.retryAfterCap = 3000ms;
  timings.silenceLimit = 1500ms;
  return timings;
}
