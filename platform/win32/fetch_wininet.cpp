// URL fetch on WinINet: direct connection, agent "MyTest agent", no cache,
// raw body in reads of at most 1023 bytes.
#include <string>

#include "net/Files.h"
#include "net/UrlFetch.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinHandles.h"

namespace {
constexpr DWORD kReadChunk = 1023;
constexpr DWORD_PTR kContext = 1;
}  // namespace

FetchResult FetchUrlToFile(std::u16string_view url, std::u16string_view path, uint64_t maxBodyBytes) {
  const InternetHandle internet(::InternetOpenW(L"MyTest agent", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  FileHandle file;
  if (path.empty() || file.OpenForWrite(path) == 0) return FetchResult::kFileNotCreated;
  if (!internet) return FetchResult::kUrlNotOpened;

  const std::wstring target = ToWide(url);
  const InternetHandle request(::InternetOpenUrlW(internet.get(), target.c_str(), L"Accept: */*\r\n\r\n",
                                                  static_cast<DWORD>(-1),
                                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_TRANSFER_BINARY, kContext));
  if (!request) return FetchResult::kUrlNotOpened;

  char buffer[kReadChunk];
  uint64_t received = 0;
  for (;;) {
    DWORD got = 0;
    if (!::InternetReadFile(request.get(), buffer, kReadChunk, &got)) return FetchResult::kBodyReadFailed;
    if (got == 0) break;
    if (got > maxBodyBytes - received) return FetchResult::kBodyTooLarge;
    if (!file.WriteExact(buffer, got)) return FetchResult::kBodyReadFailed;
    received += got;
  }
  return FetchResult::kComplete;  // handles close in reverse order: URL, then internet
}
