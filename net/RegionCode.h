// The distribution region, asked of two web services in turn at start-up.
// It only ever appears in log lines.
#pragma once

#include <chrono>
#include <functional>
#include <string>

// Where Determine's code came from.
enum RegionSource : int {
  kRegionMain = 1,    // the region-check service ("MAIN")
  kRegionOrigin = 2,  // the client-IP service ("ORIGIN")
  kRegionForced = 3,  // neither answered: "EN" ("FORCED")
};

struct RegionTimings {
  std::chrono::milliseconds pause{3000};         // after each failed lookup
  std::chrono::milliseconds requestLimit{2000};  // per lookup
};

class RegionCode {
 public:
  RegionCode() = default;
  // Shorter timings are for tests only.
  explicit RegionCode(RegionTimings timings) : timings_(timings) {}

  // Waits between the lookups; false when the wait was cut short.
  using PauseFunction = std::function<bool(std::chrono::milliseconds)>;

  // Region check, then client IP, then "EN"; blocks up to about 10 s.
  // Returns the source (1, 2 or 3), or 0 when `pause` (by default a plain
  // sleep) was cut short.
  int Determine(const PauseFunction& pause = {});
  // True when the code is exactly "CN".
  bool IsCN() const { return code_ == u"CN"; }
  const std::u16string& Code() const { return code_; }

  // True and the code set on success; false and the code unchanged.
  bool LookupRegionCheck();
  bool LookupClientIp();

 private:
  RegionTimings timings_;
  std::u16string code_;
};

// The log label of a source: "MAIN", "ORIGIN", or "FORCED" for any other.
std::u16string_view RegionSourceLabel(int source);
