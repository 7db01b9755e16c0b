// URL fetch on libcurl: a direct connection or the environment's proxy,
// agent "MyTest agent", raw body, and a try that ends within 30 s whatever
// the server does.
#include <optional>
#include <string>

#include "net/Files.h"
#include "net/Text.h"
#include "net/UrlFetch.h"
#include "platform/posix/CurlCommon.h"
#include "platform/posix/ProxyEnvironment.h"

namespace {

constexpr long kConnectTimeoutSeconds = 15;
// A peer that sends nothing for this long has broken off the transfer. The
// configuration is a few hundred bytes and is tried ten times in a row, so a
// silent server must cost seconds, not minutes (ten tries of 30 s would hold
// the window for five); 10 s still rides out a congested link's pauses.
constexpr long kStallSeconds = 10;
// A try ends by then whatever the server does: one that drips a byte or two
// a second is never silent for 10 s, and would otherwise hold a try for as
// long as it cares to drip.
constexpr long kTryLimitSeconds = 30;
constexpr long kMaxRedirects = 8;

constexpr long kProxyAuthenticationRequired = 407;

struct FetchState {
  FileHandle* file;
  uint64_t limit;
  CURL* curl = nullptr;
  bool viaProxy = false;
  uint64_t received = 0;
  bool answered = false;  // body bytes have arrived
  bool writeFailed = false;
  bool tooLarge = false;
  bool proxyCredentials = false;  // the proxy's own answer: it wants credentials
};

long Status(CURL* curl, CURLINFO what) {
  long status = 0;
  curl_easy_getinfo(curl, what, &status);
  return status;
}

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto* s = static_cast<FetchState*>(context);
  const size_t n = size * count;
  // libcurl hands over no body of a 407 it answers itself: this one is the
  // last word of a proxy that the credentials, if any, did not satisfy.
  if (s->viaProxy && Status(s->curl, CURLINFO_RESPONSE_CODE) == kProxyAuthenticationRequired) {
    s->proxyCredentials = true;
    return 0;
  }
  s->answered = true;
  if (n > s->limit - s->received) {
    s->tooLarge = true;
    return 0;  // aborts the transfer
  }
  if (n > 0 && !s->file->WriteExact(data, n)) {
    s->writeFailed = true;
    return 0;
  }
  s->received += n;
  return n;
}

// No connection was ever made: refused, no route, the name did not
// resolve, or the connect itself timed out.
bool NeverConnected(CURL* curl, CURLcode code) {
  if (code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY) {
    return true;
  }
  curl_off_t connectTime = 0;
  return code == CURLE_OPERATION_TIMEDOUT &&
         curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK && connectTime == 0;
}

// The proxy the environment names for the URL's scheme and host.
std::optional<std::string> ProxyForUrl(const std::string& url) {
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return std::nullopt;
  std::optional<std::string> proxy;
  char* scheme = nullptr;
  char* host = nullptr;
  if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
    proxy = EnvironmentProxyFor(scheme, host);
  }
  curl_free(scheme);
  curl_free(host);
  curl_url_cleanup(parsed);
  return proxy;
}

}  // namespace

FetchResult FetchUrlToFile(std::u16string_view url, std::u16string_view path, uint64_t maxBodyBytes, FetchRoute route) {
  FileHandle file;
  if (path.empty() || file.OpenForWrite(path) == 0) return FetchResult::kFileNotCreated;

  const std::string urlText = Utf16ToUtf8(url);
  std::optional<std::string> proxy;
  if (route == FetchRoute::kSystemProxy) {
    proxy = ProxyForUrl(urlText);
    if (!proxy) return FetchResult::kNotConnected;  // no proxy: there is no other way to try
  }
  CurlEasy curl = NewCurlEasy();
  if (!curl) return FetchResult::kUrlNotOpened;
  FetchState state{&file, maxBodyBytes, curl.get(), proxy.has_value()};
  CurlHeaders headers;
  AppendHeader(headers, "Accept: */*");
  AppendHeader(headers, "Cache-Control: no-cache");
  AppendHeader(headers, "Pragma: no-cache");

  CURL* c = curl.get();
  // Direct means no proxy, not even the environment's; the proxy route
  // names its proxy, the environment's no_proxy already looked at.
  ApplyCommonOptions(c, urlText.c_str(),
                     {.agent = "MyTest agent",
                      .direct = !proxy,
                      .proxy = proxy ? proxy->c_str() : nullptr,
                      .maxRedirects = kMaxRedirects});
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, kTryLimitSeconds);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &state);

  const CURLcode rc = curl_easy_perform(c);
  if (state.tooLarge) return FetchResult::kBodyTooLarge;
  const long status = Status(c, CURLINFO_RESPONSE_CODE);
  if (state.proxyCredentials || (proxy && status == kProxyAuthenticationRequired) ||
      Status(c, CURLINFO_HTTP_CONNECTCODE) == kProxyAuthenticationRequired) {
    return FetchResult::kProxyCredentials;
  }
  if (rc == CURLE_OK && !state.writeFailed) return FetchResult::kComplete;
  if (state.writeFailed || state.answered) return FetchResult::kBodyReadFailed;
  if (NeverConnected(c, rc)) return FetchResult::kNotConnected;
  // An answer with a status but a broken body (headers only, then a reset
  // or a short body) also counts as opened.
  const bool opened =
      status >= 200 && !(status >= 300 && status < 400) &&
      (rc == CURLE_PARTIAL_FILE || rc == CURLE_RECV_ERROR || rc == CURLE_OPERATION_TIMEDOUT || rc == CURLE_GOT_NOTHING);
  return opened ? FetchResult::kBodyReadFailed : FetchResult::kUrlNotOpened;
}
