// The seam between the portable request logic and the platform's HTTP
// library (HttpTransport_curl.cpp, HttpTransport_wininet.cpp). Not for callers outside net/.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct HttpRequestArgs {
  std::optional<std::u16string_view> url;
  std::optional<std::u16string_view> formData;
  bool showErrors = false;
  std::array<char, 33>* digestOut = nullptr;
  int32_t rawBodyLength = 0;
  std::optional<std::u16string_view> extraHeaders;
};

struct HttpTransferControl {
  // The whole transfer ends with a failure after this long.
  std::chrono::milliseconds cap{60000};
  // Polled during the transfer; true ends it with a failure.
  const std::atomic<bool>* cancel = nullptr;
};

// What a request sends, the same on every platform: POST when the form's
// first unit is not zero, else GET; the body is the raw bytes when
// rawBodyLength > 0, else the form's UTF-8 up to its first zero unit.
// Assumes a raw length the form's storage holds.
struct HttpRequestBody {
  bool post = false;
  std::string bytes;
};
HttpRequestBody BuildHttpRequestBody(const HttpRequestArgs& args);

std::u16string PerformHttpRequest(const HttpRequestArgs& args, const HttpTransferControl& control);

// Makes the HTTP library ready for use from several threads. Idempotent.
void PrepareHttpTransport();

// The two once-per-process boxes; each is shown at most once.
enum class HttpErrorBox { kParse, kDownload };
void ReportHttpError(HttpErrorBox box, bool showErrors);
