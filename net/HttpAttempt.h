// One HTTP GET attempt: the platform's whole share of the setup download.
// Everything else (what to ask for, whether to keep what came, when to try
// again, where the bytes go) is the portable download policy's. Implemented
// per platform (HttpAttempt_curl.cpp on libcurl, HttpAttempt_wininet.cpp on
// WinINet).
//
// The contract, which both halves keep:
//  - Exactly one GET per URL of the redirect chain. No request is sent again
//    or ahead (no HEAD, no second GET to learn a status): the head handed to
//    the sink is the head of the answer whose body follows.
//  - http and https only, also after a redirect; at most kMaxHttpRedirects.
//    The peer's certificate chain and host name are verified (plus the extra
//    CA bundle of the staging environment where the platform reads one).
//  - A proxy's 407 is no answer for the sink: the platform answers it with
//    the credentials the system holds (its requests to the proxy are the
//    proxy's, not the server's), and one it cannot answer ends the attempt
//    kProxyCredentials.
//  - No cache is read or written; "Cache-Control: no-cache" and "Pragma:
//    no-cache" go out. No content coding is asked for or undone: the body is
//    the bytes as sent. The agent is the application's name; the system's
//    proxy settings apply.
//  - With rangeStart > 0: "Range: bytes=<rangeStart>-", and with a validator
//    "If-Range: <validator>", on every request of the chain.
//  - The sink is called on the calling thread: OnHead once, for the final
//    answer, before any of its body; then OnBody for each piece in order.
//    Redirect answers and their bodies never reach it.
//  - The attempt is broken (kStalled) when no byte arrives for silenceLimit,
//    counted from the attempt's start, so name lookup, connect and the TLS
//    handshake are inside it, and then between any two arrivals. The limit
//    is checked between reads of what has arrived, never by closing handles
//    from another thread.
//  - Setting *cancel ends the attempt within about a second (kCancelled),
//    whatever the transfer is doing.
//  - It returns only after every handle and socket of the attempt is closed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr long kMaxHttpRedirects = 8;

struct HttpAttemptRequest {
  std::u16string_view url;  // absolute http or https URL
  uint64_t rangeStart = 0;  // > 0: ask for the bytes from here on
  // With rangeStart > 0 and not empty: sent as If-Range, exactly as the
  // server gave it (a strong ETag with its quotes, or a Last-Modified date).
  std::string_view ifRange;
  std::chrono::milliseconds silenceLimit{30000};
  const std::atomic<bool>* cancel = nullptr;
};

// What the final answer says about itself. Header values are as received,
// without surrounding blanks; empty when the header is absent.
struct HttpAnswerHead {
  int status = 0;
  std::optional<uint64_t> contentLength;  // absent when not announced as a number
  std::string contentRange;
  std::string etag;
  std::string lastModified;
  std::string retryAfter;
};

class HttpAnswerSink {
 public:
  virtual ~HttpAnswerSink() = default;
  // False refuses the answer: its body is not read and the attempt ends
  // kDeclined.
  virtual bool OnHead(const HttpAnswerHead& head) = 0;
  // False: the piece could not be kept; the attempt ends kWriteFailed.
  virtual bool OnBody(const char* data, std::size_t size) = 0;
};

enum class HttpAttemptEnd {
  kComplete,  // the whole body arrived: all that Content-Length announced, or up to a clean end
  // Broken on the way; another attempt may succeed.
  kRefused,       // the connection was refused
  kNameLookup,    // the host name did not resolve
  kTlsHandshake,  // the TLS handshake failed for another reason than the certificate
  kReset,         // the connection was reset or closed before the answer was whole
  kStalled,       // no byte for silenceLimit
  kShortBody,     // the connection ended cleanly before the announced length
  // Ended for good.
  kCertificate,       // the server's certificate does not verify
  kProxyCredentials,  // a proxy answered 407: it wants credentials that could not be given
  kUnusable,          // the URL, a redirect (another scheme, a loop, too many) or the answer cannot be used
  kDeclined,          // the sink refused the head
  kWriteFailed,       // the sink could not keep a piece of the body
  kCancelled,
};

// Whether another attempt may end differently.
constexpr bool IsBrokenOnTheWay(HttpAttemptEnd end) {
  return end == HttpAttemptEnd::kRefused || end == HttpAttemptEnd::kNameLookup ||
         end == HttpAttemptEnd::kTlsHandshake || end == HttpAttemptEnd::kReset || end == HttpAttemptEnd::kStalled ||
         end == HttpAttemptEnd::kShortBody;
}

// Sends the request and hands the final answer to the sink; blocks until the
// attempt has ended.
HttpAttemptEnd PerformHttpAttempt(const HttpAttemptRequest& request, HttpAnswerSink& sink);
