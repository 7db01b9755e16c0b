// The HTTP request client on WinINet. Proxies come from the system's
// settings (INTERNET_OPEN_TYPE_PRECONFIG). Certificates are checked against
// the system's store; there is no extra CA bundle on Windows.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "net/Files.h"
#include "net/HttpRequest.h"
#include "net/HttpTransport.h"
#include "net/Text.h"
#include "platform/win32/WebUrl.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinHandles.h"

#include <bcrypt.h>

namespace {

constexpr DWORD kReadChunk = 1024;

constexpr int kMaxRedirects = 8;

// TLS for every https URL, whatever its port; a certificate issued for
// another name is accepted only on 443 of the host first asked, never after
// a redirect elsewhere. Answers are never cached, and redirects are followed
// here, so that none leaves https for http and the relaxed check stays where
// it was meant.
DWORD RequestFlags(const WebUrl& url, bool lenient) {
  DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (url.https) flags |= INTERNET_FLAG_SECURE;
  if (url.https && url.port == INTERNET_DEFAULT_HTTPS_PORT)
    flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_KEEP_CONNECTION;
  if (lenient) flags |= INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
  return flags;
}

void SetTimeouts(HINTERNET handle, std::chrono::milliseconds cap) {
  DWORD ms = static_cast<DWORD>(std::clamp<int64_t>(cap.count(), 1, 0x7FFFFFFF));
  ::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, sizeof ms);
  ::InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &ms, sizeof ms);
  ::InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
}

// MD5 from the system's cryptography (CNG).
void WriteDigest(const std::string& body, std::array<char, 33>& out) {
  out.fill('\0');
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0) < 0) return;
  BCRYPT_HASH_HANDLE hash = nullptr;
  UCHAR digest[16] = {};
  bool ok = ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
  ok = ok && ::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(body.data())),
                              static_cast<ULONG>(body.size()), 0) >= 0;
  ok = ok && ::BCryptFinishHash(hash, digest, sizeof digest, 0) >= 0;
  if (hash != nullptr) ::BCryptDestroyHash(hash);
  ::BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!ok) return;
  constexpr char kHex[] = "0123456789abcdef";  // not snprintf, which would bring a whole formatter
  for (int i = 0; i < 16; ++i) out[2 * i] = kHex[digest[i] >> 4], out[2 * i + 1] = kHex[digest[i] & 15];
}

bool Cancelled(const HttpTransferControl& control) {
  return control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed);
}

// One request on its own connection, its answer's head in.
struct SentRequest {
  InternetHandle connection;
  InternetHandle request;
};

std::optional<SentRequest> Send(HINTERNET internet, const WebUrl& url, bool lenient, bool post,
                                const std::wstring& headers, const std::string& body) {
  SentRequest sent;
  sent.connection.reset(
      ::InternetConnectW(internet, url.host.c_str(), url.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1));
  if (!sent.connection) return std::nullopt;
  sent.request.reset(::HttpOpenRequestW(sent.connection.get(), post ? L"POST" : L"GET", url.object.c_str(), nullptr,
                                        nullptr, nullptr, RequestFlags(url, lenient), 0));
  if (!sent.request) return std::nullopt;
  if (!::HttpSendRequestW(sent.request.get(), headers.c_str(), static_cast<DWORD>(-1),
                          body.empty() ? nullptr : const_cast<char*>(body.data()), static_cast<DWORD>(body.size()))) {
    return std::nullopt;
  }
  return sent;
}

// The answer's Location; empty when it has none.
std::string Location(HINTERNET request) {
  DWORD size = 1024;
  for (int tries = 0; tries < 2; ++tries) {
    std::vector<char> value(size + 1);
    if (::HttpQueryInfoA(request, HTTP_QUERY_LOCATION, value.data(), &size, nullptr))
      return std::string(value.data(), size);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
  }
  return {};
}

}  // namespace

void PrepareHttpTransport() {}

std::u16string PerformHttpRequest(const HttpRequestArgs& args, const HttpTransferControl& control) {
  if (!args.url || args.url->empty() || !args.formData) return {};
  const std::u16string_view form = *args.formData;
  if (args.rawBodyLength > 0 && static_cast<std::size_t>(args.rawBodyLength) > form.size() * sizeof(char16_t)) {
    return {};  // a raw body longer than its storage is refused
  }
  const std::wstring urlText = ToWide(*args.url);
  const std::optional<WebUrl> first = ParseWebUrl(urlText);
  if (!first) {
    ReportHttpError(HttpErrorBox::kParse, args.showErrors);
    return {};
  }
  const std::wstring agent = ToWide(GetApplicationName());
  const InternetHandle internet(::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                                0));  // request flags mean nothing here
  if (!internet) return {};
  SetTimeouts(internet.get(), control.cap);
  HttpRequestBody body = BuildHttpRequestBody(args);
  std::wstring headers = args.rawBodyLength > 0 ? L"Content-Type: multipart/form-data"
                                                : L"Content-Type: application/x-www-form-urlencoded";
  if (args.extraHeaders && !args.extraHeaders->empty()) headers += L"\r\n" + ToWide(*args.extraHeaders);
  auto fail = [&]() {
    ReportHttpError(HttpErrorBox::kDownload, args.showErrors);
    return std::u16string();
  };
  const bool lenientFirst = first->https && first->port == INTERNET_DEFAULT_HTTPS_PORT;
  WebUrl url = *first;
  std::optional<SentRequest> sent;
  for (int redirects = 0;; ++redirects) {
    if (Cancelled(control)) return fail();
    sent = Send(internet.get(), url, lenientFirst && SameOrigin(url, *first), body.post, headers, body.bytes);
    if (!sent) return fail();
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!::HttpQueryInfoW(sent->request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                          nullptr)) {
      return fail();  // the code itself is not examined: an error page is an answer
    }
    if (!IsRedirect(static_cast<int>(status))) break;
    const std::string location = Location(sent->request.get());
    if (location.empty()) break;  // a redirect without a target is an answer like any other
    std::optional<WebUrl> hop = RedirectTarget(url, location);
    if (!hop || redirects + 1 > kMaxRedirects) return fail();
    // As browsers do: 307 and 308 repeat the request, the others ask with GET.
    if (status != 307 && status != 308) {
      body.post = false;
      body.bytes.clear();
    }
    url = std::move(*hop);
  }
  std::string answer;
  char chunk[kReadChunk];
  for (;;) {
    if (Cancelled(control)) return fail();
    DWORD got = 0;
    if (!::InternetReadFile(sent->request.get(), chunk, kReadChunk, &got)) return fail();
    if (got == 0) break;
    if (got > kMaxHttpAnswerBytes - answer.size()) return fail();
    answer.append(chunk, got);
  }
  if (answer.empty()) return fail();
  ::DeleteUrlCacheEntryW(urlText.c_str());
  if (args.digestOut != nullptr) WriteDigest(answer, *args.digestOut);
  const std::string_view text(answer.data(), std::min(answer.size(), answer.find('\0')));
  return Utf8ToUtf16(text);
}
