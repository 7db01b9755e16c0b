// The setup program's download: the portable policy of retries and resumes
// over the platform's single HTTP attempt (net/HttpAttempt.h) and partial
// file (net/PartialFile.h).
#pragma once

#include <atomic>
#include <span>
#include <string_view>

#include "SelectLanguage/DownloadRules.h"
#include "SelectLanguage/SetupCheck.h"

class DownloadProgress;
class HeldFile;

// Downloads `url` to the file `path`, reporting (received, total) through
// progress.OnProgress, where total is the whole file's size and received
// goes on from where a broken attempt stopped. Up to five attempts: a broken
// one (refused, name lookup, TLS handshake, reset, stall, short body, 5xx,
// 408, 429) is tried again after the timings' pauses, resuming with Range and
// If-Range where the answers carried a strong validator. Returns true only
// when the whole body of a successful answer is at `path`. An error status,
// too little free space for the announced length, an unwritable destination
// or the last broken attempt returns false and leaves no file at `path`.
// Setting `cancel` abandons the download promptly.
bool DownloadUrlToFile(std::u16string_view url, std::u16string_view path, DownloadProgress& progress,
                       const std::atomic<bool>& cancel);
bool DownloadUrlToFile(std::u16string_view url, std::u16string_view path, DownloadProgress& progress,
                       const std::atomic<bool>& cancel, const DownloadRetryTimings& timings);

// The same download, checked against what the configuration says of the
// file: an announced length or a body that passes the expected size ends it
// at once, and the whole body must have the expected size and SHA-256
// (hashed as it arrives) before it is put at `path`; either difference is a
// failed download without a further attempt. Without an announced length
// the expected size is the progress total. `held`, when given, takes hold of
// the file that was checked, before it is put in place.
SetupDownloadEnd DownloadSetup(std::u16string_view url, std::u16string_view path, const ExpectedSetup& expected,
                               DownloadProgress& progress, const std::atomic<bool>& cancel,
                               const DownloadRetryTimings& timings, HeldFile* held);

// The same download from the first of `urls` (the primary), then each
// mirror in order; with one URL exactly the download above. Each URL has
// AttemptsPerUrl attempts, resuming on the same URL when a connection broke.
// The download moves to the next URL when one has used its attempts,
// answered 404, 410 or 5xx, or its certificate did not verify: the next goes
// on from the partial file only with the same strong ETag, for which If-Range
// asks. A size or hash that differs starts the file over on the next URL.
// Each move is told through progress.OnServer. The end is the last URL's.
SetupDownloadEnd DownloadSetup(std::span<const std::u16string_view> urls, std::u16string_view path,
                               const ExpectedSetup& expected, DownloadProgress& progress,
                               const std::atomic<bool>& cancel, const DownloadRetryTimings& timings, HeldFile* held);
