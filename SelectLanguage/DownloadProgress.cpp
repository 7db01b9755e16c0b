#include "SelectLanguage/DownloadProgress.h"

#include "SelectLanguage/DialogHost.h"
#include "SelectLanguage/Messages.h"

DownloadProgress& DownloadProgress::Instance() {
  static auto* progress = new DownloadProgress;
  return *progress;
}

void DownloadProgress::SetWindow(DialogHost* window) {
  std::lock_guard lock(mutex_);
  window_ = window;
}

DialogHost* DownloadProgress::Window() const {
  std::lock_guard lock(mutex_);
  return window_;
}

long DownloadProgress::OnProgress(uint64_t progress, uint64_t progressMax, uint32_t, const char16_t*) {
  if (progressMax != 0) PostToWindow(kMsgDownloadProgress, progress, static_cast<int64_t>(progressMax));
  return 0;
}

void DownloadProgress::PostToWindow(uint32_t message, uint64_t wParam, int64_t lParam) {
  // Posted with the lock held: the window that clears the pointer waits for
  // a post under way instead of being destroyed under it.
  std::lock_guard lock(mutex_);
  if (window_ != nullptr) window_->Post(message, wParam, lParam);
}
