// WinINet for transfers that must end on time: the session runs in WinINet's
// asynchronous mode, so the calling thread never blocks inside WinINet, and
// every wait is the caller's own, in slices short enough to notice a cancel
// or a deadline within a tenth of a second.
//
// Why not the blocking calls with WinINet's own time limits: measured under
// wine64, INTERNET_OPTION_CONNECT_TIMEOUT is not honoured at all (a connect
// to a host that drops packets hangs for minutes), RECEIVE_TIMEOUT only on
// a request handle and only by killing the request, InternetReadFile waits
// until its buffer is full, and InternetCloseHandle from another thread does
// not release a blocked call. So nothing here blocks: a body is read by
// InternetQueryDataAvailable, then InternetReadFile of only what is there,
// and what is no longer wanted is closed by the thread that uses it.
//
// Redirects are followed here rather than by WinINet, so that each URL of a
// chain is asked exactly once, the chain stays on http and https, and https
// is never left for http (WinINet under wine follows such a redirect
// silently).
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/WebUrl.h"
#include "platform/win32/WinHandles.h"

using TransferClock = std::chrono::steady_clock;

// The time limits of one transfer (all its redirects included).
struct TransferLimits {
  // No byte for this long breaks the transfer: counted from its start, or,
  // with a connect limit, from the moment the connection stands.
  std::chrono::milliseconds silence{30000};
  // The connection must stand by then (TLS is part of the silence after it).
  std::optional<std::chrono::milliseconds> connect;
  // The whole transfer ends by then, whatever the server does.
  std::optional<std::chrono::milliseconds> total;
  const std::atomic<bool>* cancel = nullptr;
};

// The clock of one transfer against its limits.
class TransferWatch {
 public:
  explicit TransferWatch(const TransferLimits& limits);
  // Bytes of an answer have arrived.
  void Arrived() { lastArrival_ = TransferClock::now(); }
  void Connected();
  bool HasConnected() const { return connected_; }
  // The clock starts again: the time a player spent in a dialog is not the
  // server's.
  void Restart();
  bool Cancelled() const;
  // When the transfer is broken if nothing arrives meanwhile.
  TransferClock::time_point Deadline() const;

 private:
  TransferLimits limits_;
  TransferClock::time_point start_;
  TransferClock::time_point lastArrival_;
  bool connected_ = false;
};

// How one asynchronous step ended.
struct StepOutcome {
  enum Kind { kDone, kFailed, kTimedOut, kCancelled };
  Kind kind = kDone;
  DWORD error = 0;  // WinINet's (or winsock's) error code with kFailed

  bool Done() const { return kind == kDone; }
};

// A session of its own for each transfer, in asynchronous mode.
class AsyncSession {
 public:
  AsyncSession(const std::wstring& agent, DWORD accessType);
  explicit operator bool() const { return static_cast<bool>(session_); }
  HINTERNET get() const { return session_.get(); }

 private:
  InternetHandle session_;
};

// One GET request on its own connection.
class AsyncRequest {
 public:
  AsyncRequest();
  // Closes the request and its connection.
  ~AsyncRequest();
  AsyncRequest(const AsyncRequest&) = delete;
  AsyncRequest& operator=(const AsyncRequest&) = delete;

  // Makes the connection and request handles (nothing goes out yet): 0, or
  // WinINet's error. `flags` are HttpOpenRequest's; the scheme's TLS flag
  // and the redirect rule are added here.
  DWORD Open(const AsyncSession& session, const WebUrl& url, DWORD flags, std::chrono::milliseconds platformTimeout);
  // Sends the request with these extra header lines ("Name: value\r\n"...);
  // done when the head of the answer is in.
  StepOutcome Send(const std::wstring& headers, TransferWatch& watch);
  // Waits until part of the body can be read at once: `available` is its
  // size, 0 at the end of the body.
  StepOutcome WaitForBody(DWORD& available, TransferWatch& watch);
  // Reads up to `size` of the bytes that WaitForBody announced. `piece`
  // stays valid until the next call.
  StepOutcome Read(DWORD size, std::string_view& piece, TransferWatch& watch);
  // Reads the rest of the body and drops it.
  StepOutcome Drain(TransferWatch& watch);

  // The answer's status code, 0 when it has none.
  int Status() const;
  HINTERNET Handle() const { return request_; }
  // A header of the answer (HTTP_QUERY_...), as received without surrounding
  // blanks; nothing when absent.
  std::optional<std::string> Header(DWORD query) const;
  // Closes both handles on this thread and gives WinINet a moment to let
  // them go; an operation it cannot cut at once (under wine, a connect in
  // progress) finishes in the background, with a context that stays alive
  // until WinINet releases it.
  void Close();

 private:
  friend class AsyncSession;  // installs the Link's status callback
  struct Link;
  StepOutcome Await(TransferWatch& watch);
  StepOutcome Started(BOOL completedAtOnce, TransferWatch& watch);

  Link* link_ = nullptr;  // shared with WinINet's status callback
  HINTERNET connection_ = nullptr;
  HINTERNET request_ = nullptr;
};

// The answer at the end of a redirect chain, or why there is none.
struct FinalAnswer {
  enum Kind {
    kAnswered,
    kBadUrl,       // not an absolute http or https URL
    kBadRedirect,  // to another scheme, from https to http, or too many
    kFailed,       // StepOutcome kFailed, with its error
    kTimedOut,
    kCancelled,
  };
  Kind kind = kFailed;
  DWORD error = 0;
  std::unique_ptr<AsyncRequest> request;  // with kAnswered: its head is in
};

// Sends a GET to `url` and to each URL it is redirected to, once each, with
// the same extra headers, up to `maxRedirects` redirects. Redirect answers
// are closed unread. With askProxyCredentials, a proxy's 407 that WinINet
// could not answer itself brings up the credential dialog
// (ProxyCredentials.h), and the request goes to the proxy again with what
// the player gave, up to kProxyCredentialPrompts times; the 407 is the
// final answer otherwise.
inline constexpr int kProxyCredentialPrompts = 3;
FinalAnswer SendFollowingRedirects(const AsyncSession& session, const std::wstring& url, DWORD flags,
                                   const std::wstring& headers, TransferWatch& watch, long maxRedirects,
                                   bool askProxyCredentials = false);
