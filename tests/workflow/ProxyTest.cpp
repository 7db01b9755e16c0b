// Whole installations behind the sandbox's forward proxy: the
// configuration's direct way refused and the proxy open, with and without
// Basic credentials to give; the setup download and the region check
// through a proxy that wants credentials nobody gives.
#include <cstdlib>

#include "SelectLanguage/SetupCheck.h"
#include "tests/workflow/WorkflowFixture.h"

using namespace std::chrono_literals;

namespace {

struct ProxyCase {
  const char* name;
  std::vector<std::string> faults;
  const char* variable;     // the proxy variable that is set
  const char* credentials;  // in the proxy's URL
  int proxied;              // the proxy's requests for the configuration or the setup program
};

void PrintTo(const ProxyCase& c, std::ostream* os) { *os << c.name; }

class BehindAProxyTest : public WorkflowTest, public ::testing::WithParamInterface<ProxyCase> {
 protected:
  void TearDown() override {
    for (const char* name : {"http_proxy", "https_proxy"}) ::unsetenv(name);
    WorkflowTest::TearDown();
  }
};

TEST_P(BehindAProxyTest, InstallsOrSaysWhy) {
  const ProxyCase& c = GetParam();
  ASSERT_TRUE(StartSandbox(c.faults));
  ::unsetenv("no_proxy");
  ::unsetenv("NO_PROXY");
  ::setenv(c.variable, sandbox_.ProxyUrl(c.credentials).c_str(), 1);
  const bool config = std::string(c.variable) == "https_proxy";
  const std::string target =
      config ? "127.0.0.1:" + std::to_string(sandbox_.ConfigPort()) : sandbox_.FilesBase() + "/setup/ZKSetup_EN.exe";
  OpenInstaller();
  PressInstall();
  ASSERT_TRUE(host_.RunUntilClosed(30s));
  EXPECT_EQ(sandbox_.Counts("proxy", target).requests, c.proxied);
  if (!config) {
    // The region check's answer was the proxy's 407 page, so the client-IP
    // lookup (https, direct) answered; the download ends at once.
    const std::u16string region = sandbox_.ClientIpPort() != 0 ? u"Your CODE(0 - ORIGIN)." : u"Your CODE(0 - FORCED).";
    EXPECT_EQ(Log(),
              Entries({u"The program has been executed.\r\n", region,
                       u"Game settings file was successfully downloaded(0).", u"Attempt to install game(0).",
                       u"Install the game(0).", std::u16string(SetupFailureEntry(SetupDownloadEnd::kProxyCredentials)),
                       u"Failed to load setup file."}));
    EXPECT_EQ(sandbox_.Counts("files", "/setup/ZKSetup_EN.exe").requests, 0);
    return;
  }
  // One successful try, one request at each server: the log of a direct run.
  EXPECT_EQ(Log(), Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN).",
                            u"Game settings file was successfully downloaded(1).", u"Attempt to install game(0).",
                            u"Install the game(0).", u"Load setup file.", u"The setup program ended (0).",
                            u"\r\nIt has been successfully installed.\r\nExit the program."}));
  EXPECT_TRUE(GameStarted());
  EXPECT_EQ(sandbox_.Counts("config", "/Desktop/ZKZKINI/GameConfig-V1.ini").requests, 1);
  EXPECT_EQ(sandbox_.LastRequest("proxy").headers["proxy-authorization"],
            *c.credentials ? "Basic ems6c2VjcmV0" : "");  // zk:secret
}

INSTANTIATE_TEST_SUITE_P(
    Proxies, BehindAProxyTest,
    ::testing::Values(
        ProxyCase{"ConfigurationThroughTheProxy", {"--fault", "config=direct-refused"}, "https_proxy", "", 1},
        // A first request without credentials learns the proxy's scheme.
        ProxyCase{"BasicCredentialsInHttpsProxy",
                  {"--fault", "config=direct-refused", "--fault", "proxy=auth"},
                  "https_proxy",
                  "zk:secret@",
                  2},
        ProxyCase{"SetupAndRegionProxyWithoutCredentials",
                  {"--fault", "files=direct-refused", "--fault", "proxy=auth"},
                  "http_proxy",
                  "",
                  1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
