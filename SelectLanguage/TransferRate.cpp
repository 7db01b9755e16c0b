#include "SelectLanguage/TransferRate.h"

void TransferRate::Add(Clock::time_point now, uint64_t done) {
  if (!samples_.empty() && (done < samples_.back().done || now < samples_.back().at)) samples_.clear();
  samples_.push_back({now, done});
  while (samples_.size() > 1 && now - samples_[1].at >= kWindow) samples_.pop_front();
}

uint64_t TransferRate::BytesPerSecond(Clock::time_point now) const {
  if (samples_.empty() || now < samples_.back().at) return 0;
  // The figures since the window's start: from the last sample before it.
  const Sample* base = &samples_.front();
  for (const Sample& sample : samples_) {
    if (now - sample.at < kWindow) break;
    base = &sample;
  }
  const auto span = std::chrono::duration_cast<std::chrono::milliseconds>(now - base->at).count();
  if (span < 1000) return 0;
  return (samples_.back().done - base->done) * 1000 / static_cast<uint64_t>(span);
}
