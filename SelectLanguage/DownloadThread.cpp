#include "SelectLanguage/DownloadThread.h"

#include "SelectLanguage/DialogHost.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/SetupDownload.h"
#include "net/Text.h"

DownloadProgress& DownloadProgress::Instance() {
  static DownloadProgress progress;
  return progress;
}

long DownloadProgress::OnProgress(uint64_t progress, uint64_t progressMax, uint32_t, const char16_t*) {
  DialogHost* window = Window();
  if (progressMax != 0 && window != nullptr) {
    window->Post(kMsgDownloadProgress, progress, static_cast<int64_t>(progressMax));
  }
  return 0;
}

DownloadThread::~DownloadThread() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  cancel_.store(true);
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool DownloadThread::Start() {
  if (thread_.joinable()) return false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

bool DownloadThread::PostToThread(uint32_t id, std::unique_ptr<DownloadRequest> request) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
    queue_.push_back({id, std::move(request)});
  }
  wake_.notify_one();
  return true;
}

void DownloadThread::Run() {
  for (;;) {
    ThreadMessage message;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      message = std::move(queue_.front());
      queue_.pop_front();
    }
    // Messages other than requests have no handler here and are dropped.
    PreTranslateMessage(message);
  }
}

bool DownloadThread::PreTranslateMessage(ThreadMessage& message) {
  if (message.id != kMsgDownloadRequest) return false;
  if (!message.request) return true;
  const DownloadRequest& request = *message.request;
  DownloadProgress* progress = request.progress != nullptr ? request.progress : &DownloadProgress::Instance();
  const std::u16string_view url(request.url, BoundedLength(request.url, std::size(request.url)));
  const std::u16string_view path(request.path, BoundedLength(request.path, std::size(request.path)));
  const bool ok = DownloadUrlToFile(url, path, *progress, cancel_);
  if (cancel_.load()) return true;  // the window is gone; nobody to tell
  if (DialogHost* window = progress->Window()) {
    window->Post(ok ? kMsgSetupDownloaded : kMsgSetupDownloadFailed, 0, 0);
  }
  message.request.reset();
  return true;
}
