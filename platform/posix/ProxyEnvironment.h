// The proxy that the environment names for a URL, read as libcurl reads it:
// for https "https_proxy" or "HTTPS_PROXY", for http only "http_proxy" (an
// upper-case HTTP_PROXY may come from a web request's "Proxy:" header), then
// "all_proxy" or "ALL_PROXY"; and none for a host that "no_proxy" (or
// "NO_PROXY") names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The proxy's URL (as given, credentials included); nothing when the
// environment names none for this scheme and host.
std::optional<std::string> EnvironmentProxyFor(std::string_view scheme, std::string_view host);

// Whether a no_proxy list names the host: "*" names every host; otherwise
// each comma-separated entry names itself and, as a domain, every host
// under it (a leading "." changes nothing), without regard to case. An
// entry with a port or a CIDR suffix names nothing here.
bool NoProxyNames(std::string_view list, std::string_view host);
