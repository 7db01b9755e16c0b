// URL fetch on libcurl: direct connection, agent "MyTest agent", raw body,
// and a try that ends within 30 s whatever the server does.
#include <string>

#include "net/Files.h"
#include "net/Text.h"
#include "net/UrlFetch.h"
#include "platform/posix/CurlCommon.h"

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

struct FetchState {
  FileHandle* file;
  uint64_t limit;
  uint64_t received = 0;
  bool answered = false;  // body bytes have arrived
  bool writeFailed = false;
  bool tooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto* s = static_cast<FetchState*>(context);
  const size_t n = size * count;
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

}  // namespace

FetchResult FetchUrlToFile(std::u16string_view url, std::u16string_view path, uint64_t maxBodyBytes) {
  FileHandle file;
  if (path.empty() || file.OpenForWrite(path) == 0) return FetchResult::kFileNotCreated;

  CurlEasy curl = NewCurlEasy();
  if (!curl) return FetchResult::kUrlNotOpened;
  const std::string urlText = Utf16ToUtf8(url);
  FetchState state{&file, maxBodyBytes};
  CurlHeaders headers;
  AppendHeader(headers, "Accept: */*");
  AppendHeader(headers, "Cache-Control: no-cache");
  AppendHeader(headers, "Pragma: no-cache");

  CURL* c = curl.get();
  // Direct: no proxy, not even one from the environment.
  ApplyCommonOptions(c, urlText.c_str(), {.agent = "MyTest agent", .direct = true, .maxRedirects = kMaxRedirects});
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, kTryLimitSeconds);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &state);

  const CURLcode rc = curl_easy_perform(c);
  if (state.tooLarge) return FetchResult::kBodyTooLarge;
  if (rc == CURLE_OK && !state.writeFailed) return FetchResult::kComplete;
  if (state.writeFailed || state.answered) return FetchResult::kBodyReadFailed;
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  // An answer with a status but a broken body (headers only, then a reset
  // or a short body) also counts as opened.
  const bool opened =
      status >= 200 && !(status >= 300 && status < 400) &&
      (rc == CURLE_PARTIAL_FILE || rc == CURLE_RECV_ERROR || rc == CURLE_OPERATION_TIMEDOUT || rc == CURLE_GOT_NOTHING);
  return opened ? FetchResult::kBodyReadFailed : FetchResult::kUrlNotOpened;
}
