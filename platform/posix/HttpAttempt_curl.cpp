// One HTTP GET attempt on libcurl. libcurl follows the redirects itself, one
// request per URL, and never hands a followed redirect's body to the write
// callback; the head of the final answer goes to the sink with its first
// body byte, or at the end when it has no body.
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <string>

#include "net/Files.h"
#include "net/HttpAttempt.h"
#include "net/Text.h"
#include "platform/posix/CurlCommon.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr long kReceiveBuffer = 256 * 1024;
constexpr int kProxyAuthenticationRequired = 407;

struct Attempt {
  const HttpAttemptRequest* request = nullptr;
  HttpAnswerSink* sink = nullptr;
  HttpAnswerHead head;  // of the answer being received
  bool headDelivered = false;
  bool declined = false;
  bool writeFailed = false;
  bool stalled = false;
  bool cancelled = false;
  bool proxyCredentials = false;
  Clock::time_point lastArrival = Clock::now();

  bool DeliverHead() {
    headDelivered = true;
    declined = !sink->OnHead(head);
    return !declined;
  }
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

bool NameIs(std::string_view name, std::string_view wanted) {
  if (name.size() != wanted.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(name[i])) != wanted[i]) return false;
  }
  return true;
}

// Each answer of the chain begins with its status line: what came before
// belonged to a redirect (or an interim answer) and is forgotten. Only the
// status line counts as an arrival: a head that drips a line at a time must
// still be whole within the silence limit.
size_t OnHeader(char* data, size_t size, size_t count, void* context) {
  auto* a = static_cast<Attempt*>(context);
  const size_t n = size * count;
  const std::string_view line = Trim(std::string_view(data, n));
  if (line.starts_with("HTTP/")) {
    a->lastArrival = Clock::now();
    a->head = HttpAnswerHead{};
    const auto space = line.find(' ');
    if (space != std::string_view::npos) a->head.status = std::atoi(std::string(line.substr(space + 1, 3)).c_str());
    return n;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return n;
  const std::string_view name = line.substr(0, colon);
  const std::string value(Trim(line.substr(colon + 1)));
  if (NameIs(name, "content-length")) {
    char* end = nullptr;
    const unsigned long long length = std::strtoull(value.c_str(), &end, 10);
    if (!value.empty() && *end == '\0' && value.front() != '-') a->head.contentLength = length;
  } else if (NameIs(name, "content-range")) {
    a->head.contentRange = value;
  } else if (NameIs(name, "etag")) {
    a->head.etag = value;
  } else if (NameIs(name, "last-modified")) {
    a->head.lastModified = value;
  } else if (NameIs(name, "retry-after")) {
    a->head.retryAfter = value;
  }
  return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto* a = static_cast<Attempt*>(context);
  const size_t n = size * count;
  a->lastArrival = Clock::now();
  // libcurl hands over no body of a 407 that it answers itself: this is the
  // last word of a proxy that the credentials, if any, did not satisfy.
  if (a->head.status == kProxyAuthenticationRequired) {
    a->proxyCredentials = true;
    return 0;
  }
  if (!a->headDelivered && !a->DeliverHead()) return 0;  // ends the transfer
  if (!a->sink->OnBody(data, n)) {
    a->writeFailed = true;
    return 0;
  }
  return n;
}

// libcurl calls this at least about once a second in every phase, name
// lookup and connect included: the silence limit and cancelling live here.
int OnTick(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* a = static_cast<Attempt*>(context);
  if (a->request->cancel != nullptr && a->request->cancel->load(std::memory_order_relaxed)) {
    a->cancelled = true;
    return 1;
  }
  if (Clock::now() - a->lastArrival >= a->request->silenceLimit) {
    a->stalled = true;
    return 1;
  }
  return 0;
}

HttpAttemptEnd Classify(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_CONNECT: return HttpAttemptEnd::kRefused;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return HttpAttemptEnd::kNameLookup;
    case CURLE_SSL_CONNECT_ERROR: return HttpAttemptEnd::kTlsHandshake;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH: return HttpAttemptEnd::kCertificate;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return HttpAttemptEnd::kReset;
    case CURLE_PARTIAL_FILE: return HttpAttemptEnd::kShortBody;
    case CURLE_OPERATION_TIMEDOUT: return HttpAttemptEnd::kStalled;
    default: return HttpAttemptEnd::kUnusable;
  }
}

}  // namespace

HttpAttemptEnd PerformHttpAttempt(const HttpAttemptRequest& request, HttpAnswerSink& sink) {
  if (request.url.empty()) return HttpAttemptEnd::kUnusable;
  CurlEasy curl = NewCurlEasy();
  if (!curl) return HttpAttemptEnd::kUnusable;
  const std::string url = Utf16ToUtf8(request.url);
  const std::string agent = Utf16ToUtf8(GetApplicationName());
  CurlHeaders headers;
  AppendHeader(headers, "Cache-Control: no-cache");
  AppendHeader(headers, "Pragma: no-cache");
  if (request.rangeStart > 0) {
    AppendHeader(headers, "Range: bytes=" + std::to_string(request.rangeStart) + "-");
    if (!request.ifRange.empty()) AppendHeader(headers, "If-Range: " + std::string(request.ifRange));
  }
  Attempt attempt;
  attempt.request = &request;
  attempt.sink = &sink;

  CURL* c = curl.get();
  ApplyCommonOptions(c, url.c_str(), {.agent = agent.c_str(), .maxRedirects = kMaxHttpRedirects});
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.silenceLimit.count()));
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &attempt);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &attempt);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnTick);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &attempt);

  const CURLcode code = curl_easy_perform(c);
  long tunnelStatus = 0;
  curl_easy_getinfo(c, CURLINFO_HTTP_CONNECTCODE, &tunnelStatus);
  curl.reset();  // every socket of the attempt is closed before it ends
  if (attempt.cancelled) return HttpAttemptEnd::kCancelled;
  if (attempt.proxyCredentials || tunnelStatus == kProxyAuthenticationRequired ||
      (code == CURLE_OK && attempt.head.status == kProxyAuthenticationRequired)) {
    return HttpAttemptEnd::kProxyCredentials;
  }
  if (attempt.declined) return HttpAttemptEnd::kDeclined;
  if (attempt.writeFailed) return HttpAttemptEnd::kWriteFailed;
  if (attempt.stalled) return HttpAttemptEnd::kStalled;
  if (code != CURLE_OK) return Classify(code);
  // An answer without a body still has its head judged.
  if (!attempt.headDelivered && !attempt.DeliverHead()) return HttpAttemptEnd::kDeclined;
  return HttpAttemptEnd::kComplete;
}
