// The setup program's download: the portable policy of retries and resumes
// over the platform's single HTTP attempt (net/HttpAttempt.h) and partial
// file (net/PartialFile.h).
#pragma once

#include <atomic>
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
