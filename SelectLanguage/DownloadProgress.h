// The setup download's progress, reported from the download worker to the
// window as message 2025.
#pragma once

#include <cstdint>
#include <mutex>

class DialogHost;

// The program's one progress callback. The window writes its pointer before
// it posts a request; the worker only reads it.
class DownloadProgress {
 public:
  // Never destroyed: a worker that was let go may still report to it while
  // the program ends.
  static DownloadProgress& Instance();

  // Returns once a post under way has reached the window's queue: after
  // SetWindow(nullptr) nothing reaches the old window any more.
  void SetWindow(DialogHost* window);
  DialogHost* Window() const;

  // Posts 2025 (done, total) to the window when total is known and a window
  // is set. Always returns 0 (success).
  long OnProgress(uint64_t progress, uint64_t progressMax, uint32_t statusCode, const char16_t* statusText);
  // Posts a message to the window when one is set.
  void PostToWindow(uint32_t message, uint64_t wParam, int64_t lParam);

 private:
  mutable std::mutex mutex_;
  DialogHost* window_ = nullptr;
};
