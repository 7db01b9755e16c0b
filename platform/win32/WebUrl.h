// Web URLs as both WinINet clients take them apart and follow them: only
// absolute http and https URLs, and a redirect never leaves https for http.
#pragma once

#include <optional>
#include <string>

#include "platform/win32/WinHandles.h"

// An absolute http or https URL taken apart.
struct WebUrl {
  std::wstring text;
  std::wstring host;
  std::wstring object;  // path and query
  INTERNET_PORT port = 0;
  bool https = false;
};
std::optional<WebUrl> ParseWebUrl(const std::wstring& url);

// Whether two URLs name the same scheme, host and port.
bool SameOrigin(const WebUrl& a, const WebUrl& b);

bool IsRedirect(int status);

// Where a redirect from `from` with this Location leads: resolved against
// `from`, http or https, and never from https to http. Nothing when it may
// not be followed.
std::optional<WebUrl> RedirectTarget(const WebUrl& from, const std::string& location);
