// Whole installations behind the sandbox's forward proxy: the
// configuration's direct way refused and the proxy open, with or without
// Basic credentials; the setup download and the region lookups through a
// proxy that wants credentials.
#include <cstdlib>

#include "SelectLanguage/SettingsWorker.h"
#include "SelectLanguage/SetupCheck.h"
#include "net/GameSettings.h"
#include "tests/workflow/WorkflowFixture.h"

using namespace std::chrono_literals;

namespace {

enum class Ends { kInstalled, kNoConfiguration, kNoSetup };

struct ProxyCase {
  const char* name;
  std::vector<std::string> faults;
  const char* variable;     // the proxy variable that is set
  const char* credentials;  // in the proxy's URL
  Ends ends;
  int proxied;  // requests the proxy had for the configuration (https_proxy) or the setup (http_proxy)
};

void PrintTo(const ProxyCase& c, std::ostream* os) { *os << c.name; }

class BehindAProxyTest : public WorkflowTest, public ::testing::WithParamInterface<ProxyCase> {
 protected:
  void TearDown() override {
    for (const char* name : {"http_proxy", "https_proxy", "no_proxy", "NO_PROXY"}) ::unsetenv(name);
    WorkflowTest::TearDown();
  }
  std::u16string Installed(const std::u16string& region, const std::u16string& loaded) {
    return Entries({u"The program has been executed.\r\n", region, loaded, u"Attempt to install game(0).",
                    u"Install the game(0).", u"Load setup file.", u"The setup program ended (0).",
                    u"\r\nIt has been successfully installed.\r\nExit the program."});
  }
};

TEST_P(BehindAProxyTest, InstallsOrSaysWhy) {
  const ProxyCase& c = GetParam();
  ASSERT_TRUE(StartSandbox(c.faults));
  ::unsetenv("no_proxy");
  ::unsetenv("NO_PROXY");
  ::setenv(c.variable, sandbox_.ProxyUrl(c.credentials).c_str(), 1);
  const bool configThroughProxy = std::string(c.variable) == "https_proxy";
  const std::string proxiedTarget = configThroughProxy ? "127.0.0.1:" + std::to_string(sandbox_.ConfigPort())
                                                       : sandbox_.FilesBase() + "/setup/ZKSetup_EN.exe";
  OpenInstaller();
  if (c.ends == Ends::kNoConfiguration) {
    ASSERT_TRUE(host_.RunUntilClosed(60s));
    std::u16string tries;
    for (int i = 0; i < kSettingsTries; ++i) {
      tries +=
          Entries({std::u16string(SettingsRefusalEntry(SettingsOutcome::kProxyCredentials)),
                   i % 2 == 0 ? u"Game settings file download failed(1)." : u"Game settings file download failed(0)."});
    }
    EXPECT_EQ(Log(), Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN)."}) + tries);
    EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"Game settings file download failed."});
    EXPECT_EQ(sandbox_.Counts("proxy", proxiedTarget).requests, c.proxied);
    return;
  }
  PressInstall();
  ASSERT_TRUE(host_.RunUntilClosed(30s));
  EXPECT_EQ(sandbox_.Counts("proxy", proxiedTarget).requests, c.proxied);
  if (c.ends == Ends::kNoSetup) {
    // The region check's answer was the proxy's 407 page: the client-IP
    // lookup (https, direct) answered instead.
    const std::u16string region = sandbox_.ClientIpPort() != 0 ? u"Your CODE(0 - ORIGIN)." : u"Your CODE(0 - FORCED).";
    EXPECT_EQ(Log(),
              Entries({u"The program has been executed.\r\n", region,
                       u"Game settings file was successfully downloaded(0).", u"Attempt to install game(0).",
                       u"Install the game(0).", std::u16string(SetupFailureEntry(SetupDownloadEnd::kProxyCredentials)),
                       u"Failed to load setup file."}));
    EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"Failed to load setup file."});
    EXPECT_EQ(sandbox_.Counts("files", "/setup/ZKSetup_EN.exe").requests, 0);
    EXPECT_FALSE(std::filesystem::exists(SetupFile()));
    return;
  }
  // One successful try, one request at each server: the log of a direct run.
  EXPECT_EQ(Log(), Installed(u"Your CODE(1 - MAIN).", u"Game settings file was successfully downloaded(1)."));
  EXPECT_TRUE(GameStarted());
  EXPECT_EQ(sandbox_.Counts("config", "/Desktop/ZKZKINI/GameConfig-V1.ini").requests, 1);
  EXPECT_EQ(sandbox_.Counts("files", "/setup/ZKSetup_EN.exe").requests, 1);
  if (std::string(c.credentials).empty()) return;
  EXPECT_EQ(sandbox_.LastRequest("proxy").headers["proxy-authorization"], "Basic ems6c2VjcmV0");  // zk:secret
}

INSTANTIATE_TEST_SUITE_P(
    Proxies, BehindAProxyTest,
    ::testing::Values(ProxyCase{"DirectFirstWhenItConnects", {}, "https_proxy", "", Ends::kInstalled, 0},
                      ProxyCase{"ConfigurationThroughTheProxy",
                                {"--fault", "config=direct-refused"},
                                "https_proxy",
                                "",
                                Ends::kInstalled,
                                1},
                      // A first request without credentials learns the proxy's scheme.
                      ProxyCase{"BasicCredentialsInHttpsProxy",
                                {"--fault", "config=direct-refused", "--fault", "proxy=auth"},
                                "https_proxy",
                                "zk:secret@",
                                Ends::kInstalled,
                                2},
                      ProxyCase{"ConfigurationProxyWithoutCredentials",
                                {"--fault", "config=direct-refused", "--fault", "proxy=auth"},
                                "https_proxy",
                                "",
                                Ends::kNoConfiguration,
                                kSettingsTries},
                      ProxyCase{"SetupThroughAProxyWithCredentials",
                                {"--fault", "files=direct-refused", "--fault", "proxy=auth"},
                                "http_proxy",
                                "zk:secret@",
                                Ends::kInstalled,
                                2},
                      ProxyCase{"SetupAndRegionProxyWithoutCredentials",
                                {"--fault", "files=direct-refused", "--fault", "proxy=auth"},
                                "http_proxy",
                                "",
                                Ends::kNoSetup,
                                1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
