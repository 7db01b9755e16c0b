// Downloads the body of one URL into one local file, byte for byte, over a
// direct connection (no proxy), without any cache. Implemented per platform
// (UrlFetch_curl.cpp, UrlFetch_wininet.cpp).
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

enum class FetchResult {
  kComplete,        // the whole body is in the file (an error page too)
  kFileNotCreated,  // the local file could not be created; it is untouched
  kUrlNotOpened,    // no answer (name, connection, TLS, bad URL or redirect);
                    // the local file exists and is empty
  kBodyReadFailed,  // the answer broke off while its body was read; the file
                    // holds the bytes received so far
  kBodyTooLarge,    // the body passed maxBodyBytes; the file holds a prefix
};

inline constexpr uint64_t kNoBodyLimit = std::numeric_limits<uint64_t>::max();

// The local file is created (or truncated) before the URL is opened.
// Synchronous; the HTTP status is not examined.
FetchResult FetchUrlToFile(std::u16string_view url, std::u16string_view path, uint64_t maxBodyBytes = kNoBodyLimit);
