// The HTTP request client on libcurl. Proxies come from the environment
// (http_proxy, https_proxy, no_proxy), as the system's settings would.
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "net/Files.h"
#include "net/HttpRequest.h"
#include "net/HttpTransport.h"
#include "net/Text.h"
#include "platform/posix/CurlCommon.h"

namespace {

constexpr long kMaxRedirects = 8;
constexpr std::chrono::milliseconds kConnectTimeout{15000};

struct CurlUrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

struct CurlTextDeleter {
  void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

struct ParsedUrl {
  std::string text;
  bool secure443 = false;  // https on port 443: the host name check is relaxed
  std::string origin;      // host and port, lower case
};

// "host:port" of an absolute URL, the port filled in from the scheme.
std::string OriginOf(const char* url) {
  CurlUrl handle(curl_url());
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url, 0) != CURLUE_OK) return {};
  char* raw = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_HOST, &raw, 0) != CURLUE_OK) return {};
  const CurlText host(raw);
  raw = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_PORT, &raw, CURLU_DEFAULT_PORT) != CURLUE_OK) return {};
  const CurlText port(raw);
  std::string origin = std::string(host.get()) + ":" + port.get();
  std::transform(origin.begin(), origin.end(), origin.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return origin;
}

// Accepts absolute http and https URLs only.
bool ParseUrl(std::u16string_view url, ParsedUrl& out) {
  CurlUrl handle(curl_url());
  if (!handle) return false;
  out.text = Utf16ToUtf8(url);
  if (curl_url_set(handle.get(), CURLUPART_URL, out.text.c_str(), 0) != CURLUE_OK) return false;
  char* raw = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &raw, 0) != CURLUE_OK) return false;
  const CurlText scheme(raw);
  const std::string_view schemeText(scheme.get());
  if (schemeText != "http" && schemeText != "https") return false;
  raw = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_PORT, &raw, CURLU_DEFAULT_PORT) != CURLUE_OK) return false;
  const CurlText port(raw);
  out.secure443 = schemeText == "https" && std::string_view(port.get()) == "443";
  out.origin = OriginOf(out.text.c_str());
  return !out.origin.empty();
}

struct Answer {
  std::string body;
  bool tooLarge = false;
  const std::atomic<bool>* cancel = nullptr;
  CURL* curl = nullptr;
  const std::string* lenientOrigin = nullptr;  // where a certificate for another name is accepted
};

// Called on every connection, before its request goes out. The relaxed name
// check holds only for the host and port first asked: a redirect elsewhere
// would otherwise let any certificate from a trusted authority answer.
int OnBeforeRequest(void* context, char*, char*, int, int) {
  const auto* a = static_cast<Answer*>(context);
  if (a->lenientOrigin == nullptr) return CURL_PREREQFUNC_OK;
  char* current = nullptr;
  if (curl_easy_getinfo(a->curl, CURLINFO_EFFECTIVE_URL, &current) != CURLE_OK || current == nullptr) {
    return CURL_PREREQFUNC_ABORT;
  }
  return OriginOf(current) == *a->lenientOrigin ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
}

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto* a = static_cast<Answer*>(context);
  const size_t n = size * count;
  if (n > kMaxHttpAnswerBytes - a->body.size()) {
    a->tooLarge = true;
    return 0;  // aborts the transfer
  }
  a->body.append(data, n);
  return n;
}

int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* a = static_cast<Answer*>(context);
  return a->cancel != nullptr && a->cancel->load(std::memory_order_relaxed) ? 1 : 0;
}

// Header lines separated by CR LF (or a lone LF); empty pieces are skipped.
void AppendHeaderLines(CurlHeaders& headers, std::u16string_view lines) {
  const std::string text = Utf16ToUtf8(lines);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) AppendHeader(headers, line);
    start = end + 1;
  }
}

void WriteDigest(const std::string& body, std::array<char, 33>& out) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  out.fill('\0');
  if (EVP_Digest(body.data(), body.size(), digest, &length, EVP_md5(), nullptr) != 1 || length != 16) return;
  for (unsigned int i = 0; i < length; ++i) std::snprintf(&out[2 * i], 3, "%02x", digest[i]);
}

}  // namespace

void PrepareHttpTransport() { NewCurlEasy(); }

std::u16string PerformHttpRequest(const HttpRequestArgs& args, const HttpTransferControl& control) {
  if (!args.url || args.url->empty() || !args.formData) return {};
  const std::u16string_view form = *args.formData;
  // A raw body longer than the storage it is said to be in is refused.
  if (args.rawBodyLength > 0 && static_cast<std::size_t>(args.rawBodyLength) > form.size() * sizeof(char16_t)) {
    return {};
  }
  ParsedUrl url;
  if (!ParseUrl(*args.url, url)) {
    ReportHttpError(HttpErrorBox::kParse, args.showErrors);
    return {};
  }
  CurlEasy curl = NewCurlEasy();
  if (!curl) return {};

  CurlHeaders headers;
  AppendHeader(headers, args.rawBodyLength > 0 ? "Content-Type: multipart/form-data"
                                               : "Content-Type: application/x-www-form-urlencoded");
  if (args.extraHeaders && !args.extraHeaders->empty()) AppendHeaderLines(headers, *args.extraHeaders);
  AppendHeader(headers, "Cache-Control: no-cache");
  AppendHeader(headers, "Expect:");  // the body goes out at once

  const HttpRequestBody body = BuildHttpRequestBody(args);
  const std::string agent = Utf16ToUtf8(GetApplicationName());
  CURL* c = curl.get();
  Answer answer;
  answer.cancel = control.cancel;
  answer.curl = c;
  if (url.secure443) answer.lenientOrigin = &url.origin;

  // The system's proxies (the environment's); TLS on every https URL, and
  // only on port 443 is a certificate for another name accepted. The chain
  // is checked everywhere.
  ApplyCommonOptions(c, url.text.c_str(),
                     {.agent = agent.c_str(), .checkHostName = !url.secure443, .maxRedirects = kMaxRedirects});
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  if (!body.bytes.empty()) {
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.bytes.size()));
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.bytes.data());
    // A raw body whose first unit is zero still goes out, under GET.
    if (!body.post) curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "GET");
  } else {
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  }
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(control.cap.count()));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::min(control.cap, kConnectTimeout).count()));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &answer);
  curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, OnBeforeRequest);
  curl_easy_setopt(c, CURLOPT_PREREQDATA, &answer);

  const CURLcode rc = curl_easy_perform(c);
  long status = 0;
  const bool gotStatus = curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status != 0;
  if (rc != CURLE_OK || !gotStatus || answer.body.empty()) {
    ReportHttpError(HttpErrorBox::kDownload, args.showErrors);
    return {};
  }
  if (args.digestOut != nullptr) WriteDigest(answer.body, *args.digestOut);
  const std::string_view text(answer.body.data(), std::min(answer.body.size(), answer.body.find('\0')));
  return Utf8ToUtf16(text);
}
