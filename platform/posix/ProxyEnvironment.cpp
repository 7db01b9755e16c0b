#include "platform/posix/ProxyEnvironment.h"

#include <strings.h>

#include <cstdlib>
#include <initializer_list>

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The first of these variables that is set and not empty.
const char* FirstSet(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return nullptr;
}

}  // namespace

bool NoProxyNames(std::string_view list, std::string_view host) {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string_view entry = Trimmed(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (entry == "*") return true;
    if (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
    if (entry.empty() || entry.size() > host.size()) continue;
    const std::string_view tail = host.substr(host.size() - entry.size());
    const bool atBoundary = entry.size() == host.size() || host[host.size() - entry.size() - 1] == '.';
    if (atBoundary && SameText(tail, entry)) return true;
  }
  return false;
}

std::optional<std::string> EnvironmentProxyFor(std::string_view scheme, std::string_view host) {
  if (const char* bypass = FirstSet({"no_proxy", "NO_PROXY"}); bypass != nullptr && NoProxyNames(bypass, host)) {
    return std::nullopt;
  }
  const char* proxy = SameText(scheme, "https") ? FirstSet({"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
                                                : FirstSet({"http_proxy", "all_proxy", "ALL_PROXY"});
  if (proxy == nullptr) return std::nullopt;
  return std::string(proxy);
}
