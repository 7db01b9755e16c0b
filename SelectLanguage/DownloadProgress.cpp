#include "SelectLanguage/DownloadProgress.h"

#include "SelectLanguage/Messages.h"
#include "SelectLanguage/WorkerThread.h"

long DownloadProgress::OnProgress(uint64_t progress, uint64_t progressMax, uint32_t, const char16_t*) {
  if (progressMax != 0) {
    PostToWindow(kMsgDownloadProgress, progress, static_cast<int64_t>(progressMax));
  } else {
    PostToWindow(kMsgDownloadBytes, progress, 0);
  }
  return 0;
}

void DownloadProgress::OnRetry(int next, std::chrono::milliseconds pause) {
  PostToWindow(kMsgDownloadRetry, static_cast<uint64_t>(next), static_cast<int64_t>(pause.count()));
}

void DownloadProgress::OnServer(int url, int urls) {
  PostToWindow(kMsgDownloadServer, static_cast<uint64_t>(url), urls);
}

void DownloadProgress::PostToWindow(uint32_t message, uint64_t wParam, int64_t lParam) {
  if (link_ != nullptr) link_->Post(message, wParam, lParam);
}
