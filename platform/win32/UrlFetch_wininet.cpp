// URL fetch on WinINet: a direct connection or the system's proxy settings,
// agent "MyTest agent", no cache, raw body in reads of at most 1023 bytes,
// and a try that ends on time whatever the server does. The session runs in WinINet's asynchronous mode
// (AsyncInternet.h): the limits are looked at between arrivals, never left
// to WinINet's own time-outs, which wine does not honour for the connect.
#include <cstdlib>
#include <string>

#include "net/Files.h"
#include "net/UrlFetch.h"
#include "platform/win32/AsyncInternet.h"
#include "platform/win32/Win32Text.h"

namespace {

constexpr DWORD kReadChunk = 1023;
constexpr long kMaxRedirects = 8;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI;
// Through a proxy WinINet answers its 407 itself, with the credentials the
// system keeps for it.
constexpr DWORD kProxyRequestFlags = kRequestFlags & ~static_cast<DWORD>(INTERNET_FLAG_NO_AUTH);
constexpr int kProxyAuthenticationRequired = 407;

// The configuration is a few hundred bytes and is tried ten times in a row:
// a host that drops packets costs 15 s, a silent server 10 s, and a try
// ends within 30 s even when the server drips a byte or two a second.
TransferLimits FetchLimits() {
  TransferLimits limits;
  limits.connect = std::chrono::seconds(15);
  limits.silence = std::chrono::seconds(10);
  limits.total = std::chrono::seconds(30);
  return limits;
}

std::optional<uint64_t> AnnouncedLength(const AsyncRequest& answer) {
  const std::optional<std::string> value = answer.Header(HTTP_QUERY_CONTENT_LENGTH);
  if (!value || value->empty() || value->find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::strtoull(value->c_str(), nullptr, 10);
}

FetchResult ReceiveBody(AsyncRequest& answer, FileHandle& file, uint64_t maxBodyBytes, TransferWatch& watch) {
  const std::optional<uint64_t> announced = AnnouncedLength(answer);
  uint64_t received = 0;
  for (;;) {
    DWORD available = 0;
    if (!answer.WaitForBody(available, watch).Done()) return FetchResult::kBodyReadFailed;
    if (available == 0) break;
    watch.Arrived();
    while (available > 0) {
      std::string_view piece;
      if (!answer.Read(std::min(available, kReadChunk), piece, watch).Done()) return FetchResult::kBodyReadFailed;
      if (piece.empty()) break;
      if (piece.size() > maxBodyBytes - received) return FetchResult::kBodyTooLarge;
      if (!file.WriteExact(piece.data(), piece.size())) return FetchResult::kBodyReadFailed;
      received += piece.size();
      available -= static_cast<DWORD>(piece.size());
    }
  }
  // A body that stopped short of its announced length broke off.
  if (announced && received < *announced) return FetchResult::kBodyReadFailed;
  return FetchResult::kComplete;
}

// Whether the system's settings name a proxy: a fixed one or a
// configuration script. Automatic detection alone does not count: it is on
// by default and mostly finds none, and the proxy route would then only try
// the direct way a second time.
bool SystemNamesAProxy() {
  INTERNET_PER_CONN_OPTIONW option{};
  option.dwOption = INTERNET_PER_CONN_FLAGS;
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof list;
  list.pszConnection = nullptr;  // the LAN's settings
  list.dwOptionCount = 1;
  list.pOptions = &option;
  DWORD size = sizeof list;
  if (!::InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) return false;
  return (option.Value.dwValue & (PROXY_TYPE_PROXY | PROXY_TYPE_AUTO_PROXY_URL)) != 0;
}

// The way never connected: refused, no route, the name did not resolve, or
// the connect limit passed.
bool NeverConnected(const FinalAnswer& final, const TransferWatch& watch) {
  if (final.kind == FinalAnswer::kTimedOut) return !watch.HasConnected();
  if (final.kind != FinalAnswer::kFailed) return false;
  switch (final.error) {
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case WSAECONNREFUSED:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAETIMEDOUT: return true;
    default: return false;
  }
}

}  // namespace

FetchResult FetchUrlToFile(std::u16string_view url, std::u16string_view path, uint64_t maxBodyBytes, FetchRoute route) {
  FileHandle file;
  if (path.empty() || file.OpenForWrite(path) == 0) return FetchResult::kFileNotCreated;
  const bool viaProxy = route == FetchRoute::kSystemProxy;
  if (viaProxy && !SystemNamesAProxy()) return FetchResult::kNotConnected;  // there is no other way to try
  const AsyncSession session(L"MyTest agent", viaProxy ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_DIRECT);
  if (!session) return FetchResult::kUrlNotOpened;

  const std::wstring target = ToWide(url);
  TransferWatch watch(FetchLimits());
  FinalAnswer final = SendFollowingRedirects(session, target, viaProxy ? kProxyRequestFlags : kRequestFlags,
                                             L"Accept: */*\r\n", watch, kMaxRedirects, viaProxy);
  if (NeverConnected(final, watch)) return FetchResult::kNotConnected;
  // A connection closed without a word is no answer either.
  if (final.kind != FinalAnswer::kAnswered || final.request->Status() == 0) return FetchResult::kUrlNotOpened;
  // A 407 that is still the answer is the proxy's last word, not the body.
  const FetchResult result = viaProxy && final.request->Status() == kProxyAuthenticationRequired
                                 ? FetchResult::kProxyCredentials
                                 : ReceiveBody(*final.request, file, maxBodyBytes, watch);
  final.request->Close();
  // The configuration load's own step, whatever the try gave: nothing an
  // earlier program left in the cache under this URL stays.
  ::DeleteUrlCacheEntryW(target.c_str());
  return result;
}
