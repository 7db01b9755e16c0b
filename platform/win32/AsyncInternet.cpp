#include "platform/win32/AsyncInternet.h"

#include <algorithm>
#include <vector>

#include "platform/win32/ProxyCredentials.h"

namespace {

// How often a wait looks at the cancel flag and the deadline.
constexpr auto kSlice = std::chrono::milliseconds(100);
// How long Close waits for WinINet to confirm that it let both handles go.
// A transfer it can cut confirms at once; one it cannot is not waited for.
constexpr DWORD kReleaseWaitMs = 300;
constexpr DWORD kReadBuffer = 64 * 1024;
constexpr int kProxyAuthenticationRequired = 407;

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

FinalAnswer Ended(FinalAnswer::Kind kind, DWORD error = 0) {
  FinalAnswer answer;
  answer.kind = kind;
  answer.error = error;
  return answer;
}

}  // namespace

// What WinINet's callback thread shares with the request's owner. It holds
// one reference for the owner and one for each open handle, which WinINet
// gives back with the handle's closing notice, so a late notice never meets
// freed memory. The results of a completion are written before its event is
// set and read after the wait has seen it.
struct AsyncRequest::Link {
  std::atomic<int> references{1};
  std::atomic<int> openHandles{0};
  std::atomic<bool> connected{false};
  KernelHandle completed{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  KernelHandle released{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  DWORD_PTR result = 0;
  DWORD error = 0;
  DWORD available = 0;
  DWORD got = 0;
  char buffer[kReadBuffer];

  void Acquire() { references.fetch_add(1, std::memory_order_relaxed); }
  void Release() {
    if (references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  void HandleOpened() {
    Acquire();
    openHandles.fetch_add(1, std::memory_order_relaxed);
  }

  static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    auto* link = reinterpret_cast<Link*>(context);
    if (link == nullptr) return;  // the session's own notices
    switch (status) {
      case INTERNET_STATUS_CONNECTED_TO_SERVER: link->connected.store(true, std::memory_order_release); break;
      case INTERNET_STATUS_REQUEST_COMPLETE: {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        link->result = result->dwResult;
        link->error = result->dwError;
        ::SetEvent(link->completed.get());
        break;
      }
      case INTERNET_STATUS_HANDLE_CLOSING:
        if (link->openHandles.fetch_sub(1, std::memory_order_acq_rel) == 1) ::SetEvent(link->released.get());
        link->Release();
        break;
      default: break;
    }
  }
};

TransferWatch::TransferWatch(const TransferLimits& limits)
    : limits_(limits), start_(TransferClock::now()), lastArrival_(start_) {}

void TransferWatch::Connected() {
  if (connected_) return;
  connected_ = true;
  if (limits_.connect) lastArrival_ = TransferClock::now();  // the silence counts from here
}

void TransferWatch::Restart() {
  start_ = TransferClock::now();
  lastArrival_ = start_;
  connected_ = false;
}

bool TransferWatch::Cancelled() const {
  return limits_.cancel != nullptr && limits_.cancel->load(std::memory_order_relaxed);
}

TransferClock::time_point TransferWatch::Deadline() const {
  TransferClock::time_point deadline = lastArrival_ + limits_.silence;
  if (limits_.connect && !connected_) deadline = start_ + *limits_.connect;
  if (limits_.total) deadline = std::min(deadline, start_ + *limits_.total);
  return deadline;
}

AsyncSession::AsyncSession(const std::wstring& agent, DWORD accessType)
    : session_(::InternetOpenW(agent.c_str(), accessType, nullptr, nullptr, INTERNET_FLAG_ASYNC)) {
  if (session_ &&
      ::InternetSetStatusCallbackW(session_.get(), &AsyncRequest::Link::OnStatus) == INTERNET_INVALID_STATUS_CALLBACK) {
    session_.reset();
  }
}

AsyncRequest::AsyncRequest() : link_(new Link) {}

AsyncRequest::~AsyncRequest() {
  Close();
  link_->Release();
}

DWORD AsyncRequest::Open(const AsyncSession& session, const WebUrl& url, DWORD flags,
                         std::chrono::milliseconds platformTimeout) {
  const auto context = reinterpret_cast<DWORD_PTR>(link_);
  connection_ = ::InternetConnectW(session.get(), url.host.c_str(), url.port, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                                   0, context);
  if (connection_ == nullptr) return ::GetLastError();
  link_->HandleOpened();
  flags |= INTERNET_FLAG_NO_AUTO_REDIRECT | (url.https ? INTERNET_FLAG_SECURE : 0);
  request_ = ::HttpOpenRequestW(connection_, L"GET", url.object.c_str(), nullptr, nullptr, nullptr, flags, context);
  if (request_ == nullptr) return ::GetLastError();
  link_->HandleOpened();
  // WinINet's own limits only end, some time after the caller has given
  // up, a transfer that it could not cut when its handles were closed.
  DWORD ms = static_cast<DWORD>(std::clamp<int64_t>(platformTimeout.count(), 1, 0x7FFFFFFF));
  for (const DWORD option :
       {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    ::InternetSetOptionW(request_, option, &ms, sizeof ms);
  }
  return 0;
}

StepOutcome AsyncRequest::Await(TransferWatch& watch) {
  for (;;) {
    if (link_->connected.load(std::memory_order_acquire)) watch.Connected();
    if (watch.Cancelled()) return {StepOutcome::kCancelled};
    const auto now = TransferClock::now();
    const auto deadline = watch.Deadline();
    if (now >= deadline) return {StepOutcome::kTimedOut};
    const auto slice = std::min<TransferClock::duration>(kSlice, deadline - now);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(slice).count();
    if (::WaitForSingleObject(link_->completed.get(), static_cast<DWORD>(ms)) == WAIT_OBJECT_0) {
      if (link_->connected.load(std::memory_order_acquire)) watch.Connected();
      if (link_->result == 0) return {StepOutcome::kFailed, link_->error};
      return {StepOutcome::kDone};
    }
  }
}

StepOutcome AsyncRequest::Started(BOOL completedAtOnce, TransferWatch& watch) {
  if (completedAtOnce) {
    if (link_->connected.load(std::memory_order_acquire)) watch.Connected();
    return {StepOutcome::kDone};
  }
  const DWORD error = ::GetLastError();
  if (error != ERROR_IO_PENDING) return {StepOutcome::kFailed, error};
  return Await(watch);
}

StepOutcome AsyncRequest::Send(const std::wstring& headers, TransferWatch& watch) {
  if (request_ == nullptr) return {StepOutcome::kFailed, ERROR_INVALID_HANDLE};
  ::ResetEvent(link_->completed.get());
  const BOOL sent = ::HttpSendRequestW(request_, headers.empty() ? nullptr : headers.c_str(),
                                       static_cast<DWORD>(headers.size()), nullptr, 0);
  return Started(sent, watch);
}

StepOutcome AsyncRequest::WaitForBody(DWORD& available, TransferWatch& watch) {
  // A completion only says that something arrived: the count is asked
  // again, and this time it is there at once.
  for (;;) {
    ::ResetEvent(link_->completed.get());
    link_->available = 0;
    if (::InternetQueryDataAvailable(request_, &link_->available, 0, 0)) {
      available = link_->available;
      return {StepOutcome::kDone};
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) return {StepOutcome::kFailed, error};
    const StepOutcome waited = Await(watch);
    if (!waited.Done()) return waited;
  }
}

StepOutcome AsyncRequest::Read(DWORD size, std::string_view& piece, TransferWatch& watch) {
  ::ResetEvent(link_->completed.get());
  link_->got = 0;
  const DWORD wanted = std::min(size, kReadBuffer);
  const StepOutcome outcome = Started(::InternetReadFile(request_, link_->buffer, wanted, &link_->got), watch);
  piece = outcome.Done() ? std::string_view(link_->buffer, link_->got) : std::string_view();
  return outcome;
}

StepOutcome AsyncRequest::Drain(TransferWatch& watch) {
  for (;;) {
    DWORD available = 0;
    const StepOutcome waited = WaitForBody(available, watch);
    if (!waited.Done() || available == 0) return waited;
    std::string_view piece;
    const StepOutcome read = Read(available, piece, watch);
    if (!read.Done() || piece.empty()) return read;
    watch.Arrived();
  }
}

int AsyncRequest::Status() const {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (request_ == nullptr ||
      !::HttpQueryInfoW(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
    return 0;
  }
  return static_cast<int>(status);
}

std::optional<std::string> AsyncRequest::Header(DWORD query) const {
  if (request_ == nullptr) return std::nullopt;
  std::vector<char> value(256);
  for (int tries = 0; tries < 2; ++tries) {
    DWORD size = static_cast<DWORD>(value.size());
    DWORD index = 0;
    if (::HttpQueryInfoA(request_, query, value.data(), &size, &index)) {
      return std::string(Trimmed(std::string_view(value.data(), std::min<std::size_t>(size, value.size()))));
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    value.resize(size + 1);
  }
  return std::nullopt;
}

void AsyncRequest::Close() {
  if (request_ != nullptr) ::InternetCloseHandle(request_);
  if (connection_ != nullptr) ::InternetCloseHandle(connection_);
  const bool opened = request_ != nullptr || connection_ != nullptr;
  request_ = nullptr;
  connection_ = nullptr;
  if (opened) ::WaitForSingleObject(link_->released.get(), kReleaseWaitMs);
}

FinalAnswer SendFollowingRedirects(const AsyncSession& session, const std::wstring& url, DWORD flags,
                                   const std::wstring& headers, TransferWatch& watch, long maxRedirects,
                                   bool askProxyCredentials) {
  std::optional<WebUrl> target = ParseWebUrl(url);
  if (!target) return Ended(FinalAnswer::kBadUrl);
  // A little more than the caller's own limit, so that its limit always
  // decides first.
  const auto platformTimeout =
      std::chrono::duration_cast<std::chrono::milliseconds>(watch.Deadline() - TransferClock::now()) +
      std::chrono::seconds(5);
  for (long redirects = 0;; ++redirects) {
    auto request = std::make_unique<AsyncRequest>();
    if (const DWORD error = request->Open(session, *target, flags, platformTimeout); error != 0) {
      return Ended(FinalAnswer::kFailed, error);
    }
    if (askProxyCredentials) ApplyGivenProxyCredentials(request->Handle());
    StepOutcome sent = request->Send(headers, watch);
    for (int prompts = 0; askProxyCredentials && sent.Done() && prompts < kProxyCredentialPrompts &&
                          request->Status() == kProxyAuthenticationRequired;
         ++prompts) {
      // The proxy's page goes first, so that its connection can carry the
      // request again; the player's time in the dialog is not the server's.
      if (!request->Drain(watch).Done() || !AskForProxyCredentials(request->Handle())) break;
      watch.Restart();
      sent = request->Send(headers, watch);
    }
    switch (sent.kind) {
      case StepOutcome::kDone: break;
      case StepOutcome::kFailed: return Ended(FinalAnswer::kFailed, sent.error);
      case StepOutcome::kTimedOut: return Ended(FinalAnswer::kTimedOut);
      case StepOutcome::kCancelled: return Ended(FinalAnswer::kCancelled);
    }
    watch.Arrived();
    const std::optional<std::string> location = request->Header(HTTP_QUERY_LOCATION);
    if (!IsRedirect(request->Status()) || !location || location->empty()) {
      FinalAnswer answer = Ended(FinalAnswer::kAnswered);
      answer.request = std::move(request);
      return answer;
    }
    request->Close();  // a redirect's body is never read
    std::optional<WebUrl> hop = RedirectTarget(*target, *location);
    if (!hop || redirects + 1 > maxRedirects) return Ended(FinalAnswer::kBadRedirect);
    target = std::move(hop);
  }
}
