// The platform's URL download service for the setup program (libcurl on
// POSIX, urlmon on Windows).
#pragma once

#include <atomic>
#include <string_view>

class DownloadProgress;

// Downloads `url` to the file `path`, reporting (received, total) through
// progress.OnProgress. Returns true only when the whole body of a successful
// answer is at `path`. An error status, a broken transfer or an unwritable
// destination returns false and leaves no file at `path`. Setting `cancel`
// abandons the transfer promptly.
bool DownloadUrlToFile(std::u16string_view url, std::u16string_view path, DownloadProgress& progress,
                       const std::atomic<bool>& cancel);
