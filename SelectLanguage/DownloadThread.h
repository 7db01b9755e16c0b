// The setup download runs on its own thread with its own message queue, so
// the window keeps painting. The window posts one request (message 2024);
// the thread downloads it and posts progress (2025), then 2026 (downloaded)
// or 2027 (failed), all through the worker's link to the window.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "SelectLanguage/DownloadProgress.h"
#include "SelectLanguage/SetupCheck.h"
#include "SelectLanguage/WorkerThread.h"
#include "net/HeldFile.h"

// Where the worker leaves the checked file for the window, which takes it
// when message 2026 arrives.
class SetupHandoff {
 public:
  void Put(HeldFile file) {
    std::lock_guard lock(mutex_);
    file_ = std::move(file);
  }
  HeldFile Take() {
    std::lock_guard lock(mutex_);
    return std::move(file_);
  }

 private:
  std::mutex mutex_;
  HeldFile file_;
};

// The request record, handed over whole with message 2024.
struct DownloadRequest {
  char16_t url[1024] = {};
  char16_t path[1024] = {};
  // Where the progress goes; null: to the worker's window.
  DownloadProgress* progress = nullptr;
  // Beyond those three: what the file must be, whether a SHA-256 must be
  // given for it (a build with keys), and where the checked file goes back.
  SetupCheck check{};
  bool checksumRequired = false;
  std::shared_ptr<SetupHandoff> handoff;
  // The same file on other servers, tried in order after `url`; empty: none.
  char16_t mirrorUrl[kMirrorPaths][1024] = {};
};

class DownloadThread {
 public:
  struct ThreadMessage {
    uint32_t id = 0;
    std::unique_ptr<DownloadRequest> request;  // wParam of 2024; may be null
  };

  // `window` receives the worker's messages until it is stopped.
  explicit DownloadThread(DialogHost& window) : mailbox_(std::make_shared<Mailbox>(window)) {}
  // Stops the thread: a download under way is abandoned (its partial file
  // removed) and, unless it ends within the worker's short stop wait, left
  // to end on its own. Nothing more reaches the window either way.
  ~DownloadThread() = default;
  DownloadThread(const DownloadThread&) = delete;
  DownloadThread& operator=(const DownloadThread&) = delete;

  bool Start();
  // Queues a thread message; false once the thread is stopping.
  bool PostToThread(uint32_t id, std::unique_ptr<DownloadRequest> request);
  // Abandons the work at once; the destructor's wait counts from here.
  void RequestStop() { worker_.RequestStop(); }

 private:
  // What the thread shares with its owner: the message queue, and the
  // progress callback that posts through the same link.
  struct Mailbox : WorkerLink {
    explicit Mailbox(DialogHost& window) : WorkerLink(&window) {}
    std::deque<ThreadMessage> queue;
    DownloadProgress progress{this};
  };
  static void Run(Mailbox& mailbox);
  // The request handler: true when the message was consumed.
  static bool PreTranslateMessage(Mailbox& mailbox, ThreadMessage& message);

  std::shared_ptr<Mailbox> mailbox_;
  WorkerThread worker_;  // last: stopped before the mailbox reference goes
};
