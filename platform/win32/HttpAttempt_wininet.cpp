// One HTTP GET attempt on WinINet, in its asynchronous mode (see
// AsyncInternet.h): one request per URL of the redirect chain, the head of
// the final answer read from the answer that carries the body, the body
// read as it arrives, and the silence limit and the cancel flag looked at
// between arrivals.
#include <cstdlib>
#include <string>

#include "net/Files.h"
#include "net/HttpAttempt.h"
#include "platform/win32/AsyncInternet.h"
#include "platform/win32/Win32Text.h"

namespace {

// Never from or to the cache, no cookies, no dialogs of WinINet's own. The
// no-cache headers go out as lines of their own, once each. WinINet's log-on
// stays on: it answers a proxy's 407 with the credentials the system keeps
// for the proxy (the request then goes to the proxy again, never twice to
// the server); a download host asks for none.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
constexpr int kProxyAuthenticationRequired = 407;

// How WinINet's errors (and the winsock errors that wine lets through)
// end an attempt:
//   12029 CANNOT_CONNECT, WSAECONNREFUSED           kRefused
//   12007 NAME_NOT_RESOLVED                          kNameLookup
//   12157 SECURITY_CHANNEL_ERROR (TLS to a port that
//         does not speak it, no common protocol),
//   12044 CLIENT_AUTH_CERT_NEEDED                    kTlsHandshake
//   12037 SEC_CERT_DATE_INVALID, 12038 SEC_CERT_CN_INVALID,
//   12045 INVALID_CA, 12055 SEC_CERT_ERRORS, 12056 SEC_CERT_NO_REV,
//   12057 SEC_CERT_REV_FAILED (wine's answer for an unknown issuer),
//   12169 SEC_INVALID_CERT, 12170 SEC_CERT_REVOKED  kCertificate
//   12030 CONNECTION_ABORTED, 12031 CONNECTION_RESET,
//   12152 INVALID_SERVER_RESPONSE (the peer closed before a whole head),
//   WSAECONNRESET, WSAECONNABORTED                   kReset
//   12002 TIMEOUT, WSAETIMEDOUT                      kStalled
//   anything else (12005 INVALID_URL, 12006 UNRECOGNIZED_SCHEME, ...)
//                                                    kUnusable
HttpAttemptEnd EndForError(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT:
    case WSAECONNREFUSED: return HttpAttemptEnd::kRefused;
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return HttpAttemptEnd::kNameLookup;
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED: return HttpAttemptEnd::kTlsHandshake;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED: return HttpAttemptEnd::kCertificate;
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
    case WSAECONNRESET:
    case WSAECONNABORTED: return HttpAttemptEnd::kReset;
    case ERROR_INTERNET_TIMEOUT:
    case WSAETIMEDOUT: return HttpAttemptEnd::kStalled;
    default: return HttpAttemptEnd::kUnusable;
  }
}

HttpAttemptEnd EndForStep(const StepOutcome& outcome) {
  switch (outcome.kind) {
    case StepOutcome::kTimedOut: return HttpAttemptEnd::kStalled;
    case StepOutcome::kCancelled: return HttpAttemptEnd::kCancelled;
    default: return EndForError(outcome.error);
  }
}

std::wstring RequestHeaders(const HttpAttemptRequest& request) {
  std::string lines = "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
  if (request.rangeStart > 0) {
    lines += "Range: bytes=" + std::to_string(request.rangeStart) + "-\r\n";
    if (!request.ifRange.empty()) lines += "If-Range: " + std::string(request.ifRange) + "\r\n";
  }
  return std::wstring(lines.begin(), lines.end());  // a validator is ASCII
}

std::optional<uint64_t> ParseLength(const std::optional<std::string>& value) {
  if (!value || value->empty() || value->find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::strtoull(value->c_str(), nullptr, 10);
}

HttpAnswerHead ReadHead(const AsyncRequest& answer) {
  HttpAnswerHead head;
  head.status = answer.Status();
  head.contentLength = ParseLength(answer.Header(HTTP_QUERY_CONTENT_LENGTH));
  head.contentRange = answer.Header(HTTP_QUERY_CONTENT_RANGE).value_or("");
  head.etag = answer.Header(HTTP_QUERY_ETAG).value_or("");
  head.lastModified = answer.Header(HTTP_QUERY_LAST_MODIFIED).value_or("");
  head.retryAfter = answer.Header(HTTP_QUERY_RETRY_AFTER).value_or("");
  return head;
}

HttpAttemptEnd ReceiveBody(AsyncRequest& answer, const HttpAnswerHead& head, HttpAnswerSink& sink,
                           TransferWatch& watch) {
  uint64_t received = 0;
  for (;;) {
    DWORD available = 0;
    const StepOutcome waited = answer.WaitForBody(available, watch);
    if (!waited.Done()) return EndForStep(waited);
    if (available == 0) break;
    watch.Arrived();
    while (available > 0) {
      std::string_view piece;
      const StepOutcome read = answer.Read(available, piece, watch);
      if (!read.Done()) return EndForStep(read);
      if (piece.empty()) break;
      if (!sink.OnBody(piece.data(), piece.size())) return HttpAttemptEnd::kWriteFailed;
      received += piece.size();
      available -= static_cast<DWORD>(std::min<std::size_t>(piece.size(), available));
    }
  }
  // WinINet ends a body that stops short of its announced length as if it
  // were whole.
  if (head.contentLength && received < *head.contentLength) return HttpAttemptEnd::kShortBody;
  return HttpAttemptEnd::kComplete;
}

}  // namespace

HttpAttemptEnd PerformHttpAttempt(const HttpAttemptRequest& request, HttpAnswerSink& sink) {
  if (request.url.empty()) return HttpAttemptEnd::kUnusable;
  TransferLimits limits;
  limits.silence = request.silenceLimit;
  limits.cancel = request.cancel;
  TransferWatch watch(limits);
  // The system's proxy settings apply.
  const AsyncSession session(ToWide(GetApplicationName()), INTERNET_OPEN_TYPE_PRECONFIG);
  if (!session) return HttpAttemptEnd::kUnusable;
  FinalAnswer final = SendFollowingRedirects(session, ToWide(request.url), kRequestFlags, RequestHeaders(request),
                                             watch, kMaxHttpRedirects, true);
  switch (final.kind) {
    case FinalAnswer::kAnswered: break;
    case FinalAnswer::kTimedOut: return HttpAttemptEnd::kStalled;
    case FinalAnswer::kCancelled: return HttpAttemptEnd::kCancelled;
    case FinalAnswer::kFailed: return EndForError(final.error);
    default: return HttpAttemptEnd::kUnusable;
  }
  const HttpAnswerHead head = ReadHead(*final.request);
  // A connection closed without a word is no answer.
  if (head.status == 0) return HttpAttemptEnd::kReset;
  if (head.status == kProxyAuthenticationRequired) return HttpAttemptEnd::kProxyCredentials;
  if (!sink.OnHead(head)) return HttpAttemptEnd::kDeclined;
  return ReceiveBody(*final.request, head, sink, watch);
}
