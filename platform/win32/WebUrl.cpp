#include "platform/win32/WebUrl.h"

#include <vector>

std::optional<WebUrl> ParseWebUrl(const std::wstring& url) {
  std::vector<wchar_t> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (url.empty() || !::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return std::nullopt;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return std::nullopt;
  if (parts.dwHostNameLength == 0) return std::nullopt;
  WebUrl out;
  out.text = url;
  out.host.assign(host.data(), parts.dwHostNameLength);
  out.object.assign(path.data(), parts.dwUrlPathLength);
  out.object.append(extra.data(), parts.dwExtraInfoLength);
  if (out.object.empty()) out.object = L"/";
  out.port = parts.nPort;
  out.https = parts.nScheme == INTERNET_SCHEME_HTTPS;
  return out;
}

bool SameOrigin(const WebUrl& a, const WebUrl& b) {
  return a.https == b.https && a.port == b.port &&
         ::CompareStringOrdinal(a.host.c_str(), -1, b.host.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<WebUrl> RedirectTarget(const WebUrl& from, const std::string& location) {
  if (location.empty()) return std::nullopt;
  const std::wstring relative(location.begin(), location.end());  // a Location is ASCII
  DWORD size = static_cast<DWORD>(from.text.size() + relative.size() + 64);
  std::optional<std::wstring> resolved;
  for (int tries = 0; tries < 2 && !resolved; ++tries) {
    std::vector<wchar_t> out(size + 1);
    if (::InternetCombineUrlW(from.text.c_str(), relative.c_str(), out.data(), &size, 0)) {
      resolved.emplace(out.data(), size);
    } else if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      return std::nullopt;
    }
  }
  std::optional<WebUrl> hop = resolved ? ParseWebUrl(*resolved) : std::nullopt;
  if (!hop || (from.https && !hop->https)) return std::nullopt;
  return hop;
}
