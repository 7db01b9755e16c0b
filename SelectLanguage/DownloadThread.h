// The setup download runs on its own thread with its own message queue, so
// the window keeps painting. The window posts one request (message 2024);
// the thread downloads it, reports progress through the one DownloadProgress
// object and posts 2026 (downloaded) or 2027 (failed) back to the window.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class DialogHost;
class DownloadProgress;

// The request record, handed over whole with message 2024.
struct DownloadRequest {
  char16_t url[1024] = {};
  char16_t path[1024] = {};
  DownloadProgress* progress = nullptr;
};

// The program's one progress callback. The window writes its pointer before
// it posts a request; the worker only reads it.
class DownloadProgress {
 public:
  static DownloadProgress& Instance();

  void SetWindow(DialogHost* window) { window_.store(window, std::memory_order_release); }
  DialogHost* Window() const { return window_.load(std::memory_order_acquire); }

  // Posts 2025 (done, total) to the window when total is known and a window
  // is set. Always returns 0 (success).
  long OnProgress(uint64_t progress, uint64_t progressMax, uint32_t statusCode,
                  const char16_t* statusText);

 private:
  std::atomic<DialogHost*> window_{nullptr};
};

class DownloadThread {
 public:
  struct ThreadMessage {
    uint32_t id = 0;
    std::unique_ptr<DownloadRequest> request;  // wParam of 2024; may be null
  };

  DownloadThread() = default;
  // Stops the thread: a download under way is abandoned (its partial file
  // removed) and the thread is joined, so no work outlives the window.
  ~DownloadThread();
  DownloadThread(const DownloadThread&) = delete;
  DownloadThread& operator=(const DownloadThread&) = delete;

  bool Start();
  // Queues a thread message; false once the thread is stopping.
  bool PostToThread(uint32_t id, std::unique_ptr<DownloadRequest> request);

 private:
  void Run();
  // The request handler: true when the message was consumed.
  bool PreTranslateMessage(ThreadMessage& message);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<ThreadMessage> queue_;
  bool stopping_ = false;
  std::atomic<bool> cancel_{false};
  std::thread thread_;
};
