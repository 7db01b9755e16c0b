#include <chrono>
#include <filesystem>

#include "net/GameSettings.h"
#include "tests/net/SignedFixtures.h"
#include "tests/net/NetTestUtil.h"
#include "tests/support/DroppingHost.h"

namespace {

using LoadGameSettingsTest = SandboxTest;

bool ConfigFileLeft() { return std::filesystem::exists("InfoGlobal.txt"); }

TEST_F(LoadGameSettingsTest, ReadsTheServedConfigurationAndDeletesTheFile) {
  GameSettings s{};
  ASSERT_EQ(LoadGameSettings(s), SettingsOutcome::kLoaded);
  EXPECT_FALSE(ConfigFileLeft());
  const std::u16string prefix = U16("http://127.0.0.1:" + std::to_string(sandbox.FilesPort()) + "/setup/");
  for (int slot = 0; slot < kLanguageSlots; ++slot) EXPECT_EQ(std::u16string(s.uPath[slot]), prefix);
  EXPECT_EQ(std::u16string(s.fName[4]), u"ZKSetup_JP.exe");
  EXPECT_EQ(std::u16string(s.fNameUpdate), u"ZKUpdate.exe");
  EXPECT_EQ(std::u16string(s.rPathGame), u"SOFTWARE\\ZKGame\\Game");
  Sandbox::Request r = sandbox.LastRequest("config");
  EXPECT_EQ(r.path, "/Desktop/ZKZKINI/GameConfig-V1.ini");
}

TEST_F(LoadGameSettingsTest, SuppliedTemplateIsParsedAsCodePage949) {
  std::string text;
  for (const char* key : {"U_PATH_ZKEN=", "U_PATH_ZKSC=", "U_PATH_ZKTC=", "U_PATH_ZKRU=", "U_PATH_ZKJP=",
                          "F_NAME_ZKEN=", "F_NAME_ZKSC=", "F_NAME_ZKTC=", "F_NAME_ZKRU=", "F_NAME_ZKJP=", "F_NAME_Lst=",
                          "F_NAME_Game=", "F_NAME_Update=", "R_PATH_Root="}) {
    text += std::string(key) + "v\r\n";
  }
  text += "R_PATH_Game=\xC7\xD1";  // no final line end
  ASSERT_TRUE(sandbox.SetAnswer("config", text));
  GameSettings s{};
  ASSERT_EQ(LoadGameSettings(s), SettingsOutcome::kLoaded);
  EXPECT_EQ(std::u16string(s.rPathGame), u"\uD55C");
}

TEST_F(LoadGameSettingsTest, FailedAnswersFailTheAttempt) {
  struct Case {
    const char* mode;
    bool fileLeft;  // an empty file stays when the URL could not be opened
  };
  for (const Case& c :
       {Case{"404", false}, Case{"500", false}, Case{"wrong", false}, Case{"empty", true}, Case{"reset", true},
        Case{"big", true}, Case{"refused", true}, Case{"redirect-ftp", true}, Case{"redirect-loop", true}}) {
    SCOPED_TRACE(c.mode);
    std::filesystem::remove("InfoGlobal.txt");
    ASSERT_TRUE(sandbox.SetFault("config", c.mode));
    GameSettings s{};
    EXPECT_NE(LoadGameSettings(s), SettingsOutcome::kLoaded);
    EXPECT_EQ(ConfigFileLeft(), c.fileLeft);
  }
  // The same sandbox recovers: the next attempt succeeds.
  ASSERT_TRUE(sandbox.SetFault("config", "ok"));
  GameSettings s{};
  EXPECT_EQ(LoadGameSettings(s), SettingsOutcome::kLoaded);
}

// The sandbox signs with the build's first test key; each signature fault
// is refused with its own outcome, and nothing of the file reaches the record.
TEST_F(LoadGameSettingsTest, OnlyAFileSignedByATrustedKeyIsTaken) {
  for (const auto& [mode, outcome] : SignedFixtures::kServedSignatureCases) {
    SCOPED_TRACE(mode);
    ASSERT_TRUE(sandbox.SetFault("config", mode));
    GameSettings s{};
    s.uPath[0][0] = u'?';
    EXPECT_EQ(LoadGameSettings(s), outcome);
    EXPECT_EQ(s.uPath[0][0] == u'?', outcome != SettingsOutcome::kLoaded);
    EXPECT_FALSE(ConfigFileLeft());
  }
}

TEST_F(LoadGameSettingsTest, WrongConfigurationKeepsTheFirstFourteenFields) {
  ASSERT_TRUE(sandbox.SetFault("config", "wrong"));  // R_PATH_Game left out
  GameSettings s{};
  s.rPathGame[0] = u'?';
  s.rPathGame[1] = 0;
  EXPECT_NE(LoadGameSettings(s), SettingsOutcome::kLoaded);
  EXPECT_EQ(std::u16string(s.rPathRoot), u"SOFTWARE\\ZKGame");
  EXPECT_EQ(std::u16string(s.rPathGame), u"?");
}

// The configuration goes through the environment's proxy only when the
// direct way cannot connect, and only in a build that checks signatures.
TEST_F(LoadGameSettingsTest, TheProxyIsTriedOnlyWhenTheDirectWayCannotConnect) {
  struct Case {
    const char* name;
    const char* configFault;
    const char* proxyFault;
    const char* credentials;  // in https_proxy
    const char* noProxy;
    bool keys;
    SettingsOutcome outcome;
    int tunnels;  // asked of the proxy
  };
  using enum SettingsOutcome;
  const Case cases[] = {
      {"direct works", "ok", "ok", "", "", true, kLoaded, 0},
      {"direct refused", "direct-refused", "ok", "", "", true, kLoaded, 1},
      {"an error page is an answer", "404", "ok", "", "", true, kNoSignature, 0},
      {"without keys only direct", "direct-refused", "ok", "", "", false, kNotFetched, 0},
      {"no_proxy names the host", "direct-refused", "ok", "", "example.net, 127.0.0.1", true, kNotFetched, 0},
      {"the proxy is down", "direct-refused", "refused", "", "", true, kNotFetched, 0},
      {"credentials in the proxy's URL", "direct-refused", "auth", "zk:secret@", "", true, kLoaded, 2},
      {"no credentials", "direct-refused", "auth", "", "", true, kProxyCredentials, 1},
      {"wrong credentials", "direct-refused", "auth", "zk:wrong@", "", true, kProxyCredentials, 2},
  };
  const std::string tunnel = "127.0.0.1:" + std::to_string(sandbox.ConfigPort());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(sandbox.Reset());
    ASSERT_TRUE(sandbox.SetFault("config", c.configFault));
    ASSERT_TRUE(sandbox.SetFault("proxy", c.proxyFault));
    ::setenv("https_proxy", sandbox.ProxyUrl(c.credentials).c_str(), 1);
    ::setenv("no_proxy", c.noProxy, 1);
    GameSettings s{};
    EXPECT_EQ(c.keys ? LoadGameSettings(s) : LoadGameSettings(s, {}), c.outcome);
    EXPECT_EQ(sandbox.Counts("proxy", tunnel).requests, c.tunnels);
  }
  ::unsetenv("https_proxy");
  ::unsetenv("no_proxy");
}

TEST_F(LoadGameSettingsTest, UnreachableHostFails) {
  ::setenv("ZK_CONFIG_HOST", "127.0.0.1:1", 1);
  GameSettings s{};
  EXPECT_NE(LoadGameSettings(s), SettingsOutcome::kLoaded);
  EXPECT_EQ(ReadBytes("InfoGlobal.txt"), "");
}

// A host that drops packets answers nothing at all: one try costs the 15 s
// connect limit, so ten tries with their 3 s pauses cost about 180 s.
TEST_F(LoadGameSettingsTest, AHostThatDropsPacketsCostsOneTryTheConnectLimit) {
  const DroppingHost host;
  ASSERT_NE(host.Port(), 0);
  ::setenv("ZK_CONFIG_HOST", ("127.0.0.1:" + std::to_string(host.Port())).c_str(), 1);
  const auto start = std::chrono::steady_clock::now();
  GameSettings s{};
  EXPECT_NE(LoadGameSettings(s), SettingsOutcome::kLoaded);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::seconds(14));
  EXPECT_LT(took, std::chrono::seconds(20));
}

// A server that announces its body and drips two bytes a second is never
// silent for 10 s: only the try's own 30 s limit ends it.
TEST_F(LoadGameSettingsTest, ADrippingServerCostsOneTryThirtySeconds) {
  ASSERT_TRUE(sandbox.SetFault("config", "drip", {{"rate", "2"}}));
  const auto start = std::chrono::steady_clock::now();
  GameSettings s{};
  EXPECT_NE(LoadGameSettings(s), SettingsOutcome::kLoaded);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::seconds(29));
  EXPECT_LT(took, std::chrono::seconds(33));
  EXPECT_GE(sandbox.Counts("config", "/Desktop/ZKZKINI/GameConfig-V1.ini").bodyBytes, 50) << "it was dripping";
}

}  // namespace
