// The HTTP request client on WinINet. Proxies come from the system's
// settings (INTERNET_OPEN_TYPE_PRECONFIG). Certificates are checked against
// the system's store; there is no extra CA bundle on Windows.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "net/Files.h"
#include "net/HttpRequest.h"
#include "net/HttpTransport.h"
#include "net/Text.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinHandles.h"

#include <bcrypt.h>

namespace {

constexpr DWORD kReadChunk = 1024;

struct ParsedUrl {
  std::wstring host;
  std::wstring object;  // path and query
  INTERNET_PORT port = 0;
  bool https = false;
};

// Accepts absolute http and https URLs only.
bool ParseUrl(const std::wstring& url, ParsedUrl& out) {
  std::vector<wchar_t> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  if (parts.dwHostNameLength == 0) return false;
  out.host.assign(host.data(), parts.dwHostNameLength);
  out.object.assign(path.data(), parts.dwUrlPathLength);
  out.object.append(extra.data(), parts.dwExtraInfoLength);
  if (out.object.empty()) out.object = L"/";
  out.port = parts.nPort;
  out.https = parts.nScheme == INTERNET_SCHEME_HTTPS;
  return true;
}

// TLS for every https URL, whatever its port; a certificate issued for
// another name is accepted only on 443. Answers are never cached.
DWORD RequestFlags(const ParsedUrl& url) {
  DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE;
  if (url.https) flags |= INTERNET_FLAG_SECURE;
  if (url.https && url.port == INTERNET_DEFAULT_HTTPS_PORT) {
    flags |= INTERNET_FLAG_RELOAD | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
  }
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
  for (int i = 0; i < 16; ++i) std::snprintf(&out[2 * i], 3, "%02x", digest[i]);
}

bool Cancelled(const HttpTransferControl& control) {
  return control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed);
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
  ParsedUrl url;
  if (!ParseUrl(urlText, url)) {
    ReportHttpError(HttpErrorBox::kParse, args.showErrors);
    return {};
  }
  const DWORD flags = RequestFlags(url);
  const std::wstring agent = ToWide(GetApplicationName());
  const InternetHandle internet(
      ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));  // request flags mean nothing here
  if (!internet) return {};
  SetTimeouts(internet.get(), control.cap);
  const InternetHandle connection(::InternetConnectW(internet.get(), url.host.c_str(), url.port, nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, 1));
  if (!connection) return {};
  const HttpRequestBody body = BuildHttpRequestBody(args);
  const InternetHandle request(::HttpOpenRequestW(connection.get(), body.post ? L"POST" : L"GET", url.object.c_str(),
                                                  nullptr, nullptr, nullptr, flags, 0));
  if (!request) return {};

  std::wstring headers = args.rawBodyLength > 0 ? L"Content-Type: multipart/form-data"
                                                 : L"Content-Type: application/x-www-form-urlencoded";
  if (args.extraHeaders && !args.extraHeaders->empty()) headers += L"\r\n" + ToWide(*args.extraHeaders);
  auto fail = [&]() {
    ReportHttpError(HttpErrorBox::kDownload, args.showErrors);
    return std::u16string();
  };
  if (!::HttpSendRequestW(request.get(), headers.c_str(), static_cast<DWORD>(-1),
                          body.bytes.empty() ? nullptr : const_cast<char*>(body.bytes.data()),
                          static_cast<DWORD>(body.bytes.size()))) {
    return fail();
  }
  DWORD status = 0;
  DWORD statusSize = sizeof status;
  if (!::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                        nullptr)) {
    return fail();  // the code itself is not examined: an error page is an answer
  }
  std::string answer;
  char chunk[kReadChunk];
  for (;;) {
    if (Cancelled(control)) return fail();
    DWORD got = 0;
    if (!::InternetReadFile(request.get(), chunk, kReadChunk, &got)) return fail();
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
