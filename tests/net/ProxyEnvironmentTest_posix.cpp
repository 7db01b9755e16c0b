// Which hosts the environment's no_proxy list keeps off the proxy.
#include <gtest/gtest.h>

#include "platform/posix/ProxyEnvironment.h"

namespace {

TEST(NoProxyList, NamesHostsAndTheDomainsTheyAreIn) {
  const struct {
    const char* list;
    const char* host;
    bool named;
  } cases[] = {
      {"*", "cdn.example.net", true},
      {".example.net", "cdn.example.net", true},
      {"other.org, EXAMPLE.net", "cdn.example.net.", true},
      {"example.net", "badexample.net", false},
      {"example.net", "example.net.evil.org", false},
      {"127.0.0.1", "127.0.0.10", false},
      {" , ,", "example.net", false},
      {"*.example.net", "cdn.example.net", false},  // no wildcard but a lone "*"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.list) + " / " + c.host);
    EXPECT_EQ(NoProxyNames(c.list, c.host), c.named);
  }
}

}  // namespace
