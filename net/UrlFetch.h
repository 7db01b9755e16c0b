// Downloads the body of one URL into one local file, byte for byte, over a
// direct connection or through the system's proxy, without any cache.
// Implemented per platform (UrlFetch_curl.cpp, UrlFetch_wininet.cpp).
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

enum class FetchResult {
  kComplete,          // the whole body is in the file (an error page too)
  kFileNotCreated,    // the local file could not be created; it is untouched
  kNotConnected,      // no connection could be made: refused, the name did not
                      // resolve, the connect timed out, no route; through the
                      // proxy route also: the system names no proxy for the URL.
                      // The local file exists and is empty.
  kUrlNotOpened,      // no answer for another reason (TLS, bad URL or redirect,
                      // a connection closed without a word); the file is empty
  kProxyCredentials,  // through the proxy route: the proxy asked for
                      // credentials (407) and none that it accepts could be
                      // given; the file is empty
  kBodyReadFailed,    // the answer broke off while its body was read; the file
                      // holds the bytes received so far
  kBodyTooLarge,      // the body passed maxBodyBytes; the file holds a prefix
};

// The way to the server.
enum class FetchRoute {
  kDirect,       // straight to the server, whatever the system says of proxies
  kSystemProxy,  // through the proxy that the system's settings name for the
                 // URL, answering its requests for credentials as the system
                 // does (Linux: the credentials in the proxy's URL; Windows:
                 // WinINet's stored ones, then its credential dialog)
};

inline constexpr uint64_t kNoBodyLimit = std::numeric_limits<uint64_t>::max();

// The local file is created (or truncated) before the URL is opened.
// Synchronous; the server's HTTP status is not examined (a proxy's 407 is).
FetchResult FetchUrlToFile(std::u16string_view url, std::u16string_view path, uint64_t maxBodyBytes = kNoBodyLimit,
                           FetchRoute route = FetchRoute::kDirect);
