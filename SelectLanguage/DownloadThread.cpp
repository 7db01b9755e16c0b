#include "SelectLanguage/DownloadThread.h"

#include "SelectLanguage/Messages.h"
#include "SelectLanguage/SetupDownload.h"
#include "net/Text.h"

bool DownloadThread::Start() { return worker_.Start(mailbox_, &DownloadThread::Run); }

bool DownloadThread::PostToThread(uint32_t id, std::unique_ptr<DownloadRequest> request) {
  {
    auto lock = mailbox_->Lock();
    if (mailbox_->StopRequested()) return false;
    mailbox_->queue.push_back({id, std::move(request)});
  }
  mailbox_->Wake();
  return true;
}

void DownloadThread::Run(Mailbox& mailbox) {
  for (;;) {
    ThreadMessage message;
    {
      auto lock = mailbox.Lock();
      if (!mailbox.WaitUntil(lock, [&] { return !mailbox.queue.empty(); })) return;
      message = std::move(mailbox.queue.front());
      mailbox.queue.pop_front();
    }
    // Messages other than requests have no handler here and are dropped.
    PreTranslateMessage(mailbox, message);
  }
}

bool DownloadThread::PreTranslateMessage(Mailbox& mailbox, ThreadMessage& message) {
  if (message.id != kMsgDownloadRequest) return false;
  if (!message.request) return true;
  const DownloadRequest& request = *message.request;
  DownloadProgress* progress = request.progress != nullptr ? request.progress : &mailbox.progress;
  static_assert(1 + kMirrorPaths <= kMaxDownloadUrls, "the download takes every mirror");
  std::u16string_view urls[1 + kMirrorPaths] = {FieldText(request.url)};
  std::size_t count = 1;
  for (const auto& mirror : request.mirrorUrl) {
    if (mirror[0] != u'\0') urls[count++] = FieldText(mirror);
  }
  const std::u16string_view path = FieldText(request.path);
  ExpectedSetup expected;
  HeldFile held;
  SetupDownloadEnd end = ExpectationFor(request.check, request.checksumRequired, expected);
  if (end == SetupDownloadEnd::kDownloaded) {
    end = DownloadSetup(std::span(urls, count), path, expected, *progress, mailbox.StopFlag(), DownloadRetryTimings{},
                        &held);
  }
  if (mailbox.StopRequested()) return true;  // the window is gone; nobody to tell
  if (end == SetupDownloadEnd::kDownloaded) {
    if (request.handoff) request.handoff->Put(std::move(held));
    mailbox.Post(kMsgSetupDownloaded, 0, 0);
  } else {
    mailbox.Post(kMsgSetupDownloadFailed, static_cast<uint64_t>(end), 0);
  }
  message.request.reset();
  return true;
}
