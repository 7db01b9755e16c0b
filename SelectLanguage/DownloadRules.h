// The setup download's rules for one answer: whether its body starts the
// file, continues it, or is no use, and how long to wait before trying again.
// Pure functions, the same on every platform.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/HttpAttempt.h"

// "bytes <first>-<last>/<total>"; total is absent for "*".
struct ContentRange {
  uint64_t first = 0;
  uint64_t last = 0;
  std::optional<uint64_t> total;
};
std::optional<ContentRange> ParseContentRange(std::string_view value);

// A strong ETag: quoted, not "W/".
bool IsStrongEtag(std::string_view etag);

// What If-Range may carry to resume from this answer: its strong ETag, else
// its Last-Modified date; empty when there is neither (a weak ETag names the
// meaning of a file, not its bytes).
std::string ResumeValidator(const HttpAnswerHead& head);

// What the partial file holds: `have` bytes of a file of `total` bytes (when
// known), taken from answers that carried `validator`.
struct ResumePoint {
  uint64_t have = 0;
  std::optional<uint64_t> total;
  std::string validator;
};

enum class HeadVerdict {
  kWholeBody,     // the body is the whole file: the partial file starts over with it
  kContinuation,  // the body continues the partial file exactly
  kStartOver,     // no use (416, a part that does not fit, another version): ask for the whole file next
  kTryAgain,      // the server is busy or broken for now (5xx, 408, 429): try again later
  kGiveUp,        // any other status: trying again will not help
};

// askedFrom: the Range start that the request sent (0: none).
HeadVerdict JudgeHead(const HttpAnswerHead& head, uint64_t askedFrom, const ResumePoint& point);

// Retry-After as delay seconds or an HTTP date (against `now`); nothing for
// anything else. A date in the past is no delay.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, std::chrono::system_clock::time_point now);

// The setup download makes up to five attempts; these are the pauses before
// the second to the fifth. A Retry-After is honoured up to retryAfterCap: the
// pause is the longer of the two. Only tests shorten them.
struct DownloadRetryTimings {
  std::array<std::chrono::milliseconds, 4> pauses{std::chrono::milliseconds(1000), std::chrono::milliseconds(2000),
                                                  std::chrono::milliseconds(4000), std::chrono::milliseconds(8000)};
  std::chrono::milliseconds retryAfterCap{8000};
  std::chrono::milliseconds silenceLimit{30000};
  // An attempt that brings less than minRate bytes a second, averaged over
  // each rateWindow from its start, is broken like a silent one and resumed:
  // a server that drips a byte now and then cannot hold the download for
  // ever. Judged at each arrival, so with the silence limit an attempt under
  // the rate lasts at most rateWindow + silenceLimit.
  uint64_t minRate = 4096;
  std::chrono::milliseconds rateWindow{30000};
};
inline constexpr int kDownloadAttempts = 5;
// With mirrors each URL has two attempts, and the download at most eight
// (the primary and three mirrors), each move to the next URL without a pause.
inline constexpr int kAttemptsPerMirroredUrl = 2;
inline constexpr int kMirroredAttemptsInAll = 8;
inline constexpr std::size_t kMaxDownloadUrls = 4;
// A URL's attempts when the download has `urls` of them.
constexpr int AttemptsPerUrl(std::size_t urls) { return urls > 1 ? kAttemptsPerMirroredUrl : kDownloadAttempts; }

// The pause before attempt `next` (1 to 4, counted from 0).
std::chrono::milliseconds PauseBeforeAttempt(int next, std::optional<std::chrono::seconds> retryAfter,
                                             const DownloadRetryTimings& timings);
