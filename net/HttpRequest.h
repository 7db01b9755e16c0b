// A small synchronous HTTP(S) client whose answer is the body as UTF-16
// text (empty on any failure), and a runner that gives one request a time
// limit on a worker thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// An answer body longer than this gives empty text.
inline constexpr std::size_t kMaxHttpAnswerBytes = 1024 * 1024;

// Sends one request and returns the answer body (an error page too).
// - url: absolute http or https URL; absent or empty gives empty text.
// - formData: absent gives empty text; empty sends a GET without body;
//   otherwise a POST of its UTF-8 form, or, when rawBodyLength > 0, of the
//   first rawBodyLength bytes of its storage as multipart content.
// - showErrors: allows the two once-per-process error boxes.
// - digestOut: receives the MD5 digest of the body as 32 lowercase hex
//   digits and a terminating zero.
// - extraHeaders: further header lines ("\r\n" between them).
std::u16string SendHttpRequest(std::optional<std::u16string_view> url, std::optional<std::u16string_view> formData,
                               bool showErrors = false, std::array<char, 33>* digestOut = nullptr,
                               int32_t rawBodyLength = 0,
                               std::optional<std::u16string_view> extraHeaders = std::nullopt);

inline constexpr std::chrono::milliseconds kTimedRequestLimit{2000};

// Runs SendHttpRequest(url, formData) on a worker thread and waits at most
// `limit`. True when a non-empty answer arrived in time (then in `answer`);
// false otherwise, with `answer` untouched. A late worker is abandoned: it
// keeps its own copy of the job, stops its transfer soon and never touches
// the caller's memory.
bool SendHttpRequestTimed(std::u16string_view url, std::u16string_view formData, std::u16string& answer,
                          std::chrono::milliseconds limit = kTimedRequestLimit);

// Who shows the client's two error boxes ("URL Parsing Error!!",
// "URL_String Download Fail!!"). Without a handler they are only marked
// as shown. The dialog sets one that opens a message box.
void SetHttpMessageBoxHandler(std::function<void(const std::u16string&)> handler);
