// The setup download's progress, reported from the download worker to the
// window as message 2025.
#pragma once

#include <chrono>
#include <cstdint>

class WorkerLink;

// The progress callback of one download. Its posts go through the worker's
// link, the one gate between a worker and the window: after the link's stop
// nothing reaches the window, and an object without a link posts nothing.
class DownloadProgress {
 public:
  explicit DownloadProgress(WorkerLink* link = nullptr) : link_(link) {}

  // Posts 2025 (done, total) when total is known, 2037 (done) when it is
  // not. Always returns 0 (success).
  long OnProgress(uint64_t progress, uint64_t progressMax, uint32_t statusCode, const char16_t* statusText);
  // An attempt broke: attempt `next` (from 1) follows after `pause`.
  void OnRetry(int next, std::chrono::milliseconds pause);
  // The download moved on to URL `url` (from 1) of `urls`: posts 2039.
  void OnServer(int url, int urls);
  // Posts any message of the download to the window.
  void PostToWindow(uint32_t message, uint64_t wParam, int64_t lParam);

 private:
  WorkerLink* link_;
};
