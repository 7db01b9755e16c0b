#include "SelectLanguage/RegionWorker.h"

#include "SelectLanguage/Messages.h"

RegionWorker::RegionWorker(DialogHost& window, RegionTimings timings)
    : lookup_(std::make_shared<Lookup>(window, timings)) {}

bool RegionWorker::Start() { return worker_.Start(lookup_, &RegionWorker::Run); }

RegionCode RegionWorker::Take() {
  auto lock = lookup_->Lock();
  return lookup_->region;
}

void RegionWorker::Run(Lookup& lookup) {
  RegionCode region(lookup.timings);
  const int source = region.Determine([&lookup](std::chrono::milliseconds pause) { return lookup.Pause(pause); });
  if (source == 0) return;  // stopped in a pause: nobody to tell
  {
    auto lock = lookup.Lock();
    lookup.region = region;
  }
  lookup.Post(kMsgRegionKnown, static_cast<uint64_t>(source), 0);
}
