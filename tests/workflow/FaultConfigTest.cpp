// The fault matrix for what the installer fetches at start-up: the
// configuration (ten tries, then the box) and the two region lookups (each
// given up in time, start-up going on). Real services on loopback, real TLS.
#include <cstdlib>

#include "SelectLanguage/Messages.h"
#include "net/GameSettings.h"
#include "tests/workflow/WorkflowFixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Fault {
  const char* name;
  std::vector<std::string> sandboxOptions;
  const char* variable = nullptr;  // set after the sandbox's own values
  const char* value = nullptr;
  bool errorPage = false;  // an answer arrives, but it is no signed configuration
};

void PrintTo(const Fault& f, std::ostream* os) { *os << f.name; }

std::u16string TenFailures(bool errorPage = false) {
  std::u16string log;
  for (int i = 0; i < 10; ++i) {
    if (errorPage) log += u"\uFEFF" + std::u16string(SettingsRefusalEntry(SettingsOutcome::kNoSignature)) + u"\r\n";
    log += u"\uFEFF" +
           std::u16string(i % 2 == 0 ? u"Game settings file download failed(1)."
                                     : u"Game settings file download failed(0).") +
           u"\r\n";
  }
  return log;
}

class ConfigFaultTest : public WorkflowTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(ConfigFaultTest, TenTriesThenTheBox) {
  const Fault& f = GetParam();
  ASSERT_TRUE(StartSandbox(f.sandboxOptions));
  if (f.variable != nullptr) ::setenv(f.variable, f.value, 1);
  const auto start = std::chrono::steady_clock::now();
  OpenInstaller();
  ASSERT_TRUE(host_.RunUntilClosed(60s));  // the configuration's ten tries
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s) << "a fault must not hold the window for minutes";
  EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"Game settings file download failed."});
  EXPECT_EQ(Log(),
            Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN)."}) + TenFailures(f.errorPage));
  EXPECT_EQ(Engine().Settings() == nullptr ? u'\0' : Engine().Settings()->uPath[0][0], u'\0') << "nothing was taken in";
  EXPECT_FALSE(fs::exists(SetupFile()));
}

INSTANTIATE_TEST_SUITE_P(Faults, ConfigFaultTest,
                         ::testing::Values(Fault{"Refused", {"--fault", "config=refused"}},
                                           Fault{"UnresolvableHost", {}, "ZK_CONFIG_HOST", "config.zkgame.invalid"},
                                           Fault{"NotFound", {"--fault", "config=404"}, nullptr, nullptr, true},
                                           Fault{"ServerError", {"--fault", "config=500"}, nullptr, nullptr, true},
                                           Fault{"BodyOverOneMiB", {"--fault", "config=big"}},
                                           Fault{"ResetMidBody", {"--fault", "config=reset"}},
                                           Fault{"ShortBody", {"--fault", "config=short"}},
                                           Fault{"UntrustedChain", {}, "ZK_EXTRA_CA_BUNDLE", ""},
                                           Fault{"CertificateForAnotherName", {"--cert-name", "other.zkgame.invalid"}},
                                           Fault{"RedirectLoop", {"--fault", "config=redirect-loop"}},
                                           Fault{"RedirectToFtp", {"--fault", "config=redirect-ftp"}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each try gives up after 10 s of silence: ten stalled tries end in well
// under the five minutes that a 30 s limit would cost.
TEST_F(WorkflowTest, AStalledConfigurationServerEndsEachTryAndThenTheRun) {
  ASSERT_TRUE(StartSandbox({"--fault", "config=stalled"}));
  const auto start = std::chrono::steady_clock::now();
  OpenInstaller();
  ASSERT_TRUE(host_.RunUntilClosed(150s));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 90s) << "each try waits out the silence";
  EXPECT_LT(took, 150s);
  EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"Game settings file download failed."});
  EXPECT_EQ(Log(), Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN)."}) + TenFailures());
}

// A configuration server that drips two bytes a second holds one try for
// its 30 s limit, not for days; the loop then goes on to the next try.
TEST_F(WorkflowTest, ADrippingConfigurationServerCostsOneTryAndTheLoopGoesOn) {
  ASSERT_TRUE(StartSandbox({"--fault", "config=drip:rate=2:times=1"}));
  const auto start = std::chrono::steady_clock::now();
  OpenInstaller();
  ASSERT_TRUE(
      host_.RunUntil([&] { return Engine().Settings() != nullptr && Engine().Settings()->uPath[0][0] != 0; }, 60s));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 29s);
  EXPECT_LT(took, 40s);
  host_.RunUntil([&] { return Log().find(u"successfully") != std::u16string::npos; }, 5s);
  EXPECT_EQ(Log(), Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN).",
                            u"Game settings file download failed(1).",
                            u"Game settings file was successfully downloaded(0)."}));
  EXPECT_TRUE(host_.messageBoxes.empty());
}

// Region lookups: a failed region check falls to the client-IP service
// (country "KR": "0 - ORIGIN"); when that fails too the code is forced.
struct RegionFault {
  const char* name;
  std::vector<std::string> sandboxOptions;
  const char* variable;
  const char* value;
  const char16_t* logLine;
  bool configReachable = true;  // false where the fault also hits the configuration's TLS
};

void PrintTo(const RegionFault& f, std::ostream* os) { *os << f.name; }

class RegionFaultTest : public WorkflowTest, public ::testing::WithParamInterface<RegionFault> {};

TEST_P(RegionFaultTest, StartUpGoesOnWithTheRightLabel) {
  const RegionFault& f = GetParam();
  ASSERT_TRUE(StartSandbox(f.sandboxOptions));
  if (sandbox_.ClientIpPort() == 0) GTEST_SKIP() << "port 443 on a loopback address could not be bound";
  if (f.variable != nullptr) ::setenv(f.variable, f.value, 1);
  OpenInstaller();
  // Two lookups of at most 2000 ms each, pauses shortened to 0, behind the window.
  ASSERT_TRUE(host_.RunUntil([&] { return Log().find(u"Your CODE") != std::u16string::npos; }, 8s))
      << "a lookup was not given up in time";
  EXPECT_EQ(Log(), Entries({u"The program has been executed.\r\n", f.logLine}));
  if (!f.configReachable) return;
  // Later requests are not held up by an abandoned lookup.
  ASSERT_TRUE(ConfigurationLoaded());
  EXPECT_NE(Engine().Settings()->uPath[0][0], u'\0');
  EXPECT_TRUE(Log().ends_with(Entries({u"Game settings file was successfully downloaded(0)."})));
  EXPECT_TRUE(host_.messageBoxes.empty());
}

const char16_t* const kOrigin = u"Your CODE(0 - ORIGIN).";
const char16_t* const kForced = u"Your CODE(0 - FORCED).";

INSTANTIATE_TEST_SUITE_P(
    Faults, RegionFaultTest,
    ::testing::Values(
        RegionFault{"CheckRefused", {"--fault", "region=refused"}, nullptr, nullptr, kOrigin},
        RegionFault{"CheckUnresolvable", {}, "ZK_REGION_HOST", "region.zkgame.invalid", kOrigin},
        RegionFault{"CheckNotFound", {"--fault", "region=404"}, nullptr, nullptr, kOrigin},
        RegionFault{"CheckServerError", {"--fault", "region=500"}, nullptr, nullptr, kOrigin},
        RegionFault{"CheckBodyOverOneMiB", {"--fault", "region=big"}, nullptr, nullptr, kOrigin},
        RegionFault{"CheckResetMidBody", {"--fault", "region=reset"}, nullptr, nullptr, kOrigin},
        RegionFault{"CheckStalled", {"--fault", "region=stalled"}, nullptr, nullptr, kOrigin},
        RegionFault{"CheckRedirectLoop", {"--fault", "region=redirect-loop"}, nullptr, nullptr, kOrigin},
        RegionFault{"CheckRedirectToFtp", {"--fault", "region=redirect-ftp"}, nullptr, nullptr, kOrigin},
        RegionFault{
            "ClientIpRefused", {"--fault", "region=404", "--fault", "clientip=refused"}, nullptr, nullptr, kForced},
        RegionFault{
            "ClientIpUnresolvable", {"--fault", "region=404"}, "ZK_CLIENT_IP_HOST", "ip.zkgame.invalid", kForced},
        RegionFault{
            "ClientIpNotFound", {"--fault", "region=404", "--fault", "clientip=404"}, nullptr, nullptr, kForced},
        RegionFault{
            "ClientIpServerError", {"--fault", "region=404", "--fault", "clientip=500"}, nullptr, nullptr, kForced},
        RegionFault{
            "ClientIpBodyOverOneMiB", {"--fault", "region=404", "--fault", "clientip=big"}, nullptr, nullptr, kForced},
        RegionFault{
            "ClientIpResetMidBody", {"--fault", "region=404", "--fault", "clientip=reset"}, nullptr, nullptr, kForced},
        RegionFault{
            "BothStalled", {"--fault", "region=stalled", "--fault", "clientip=stalled"}, nullptr, nullptr, kForced},
        RegionFault{"ClientIpRedirectLoop",
                    {"--fault", "region=404", "--fault", "clientip=redirect-loop"},
                    nullptr,
                    nullptr,
                    kForced},
        RegionFault{"ClientIpRedirectToFtp",
                    {"--fault", "region=404", "--fault", "clientip=redirect-ftp"},
                    nullptr,
                    nullptr,
                    kForced},
        // The client-IP lookup checks the chain but not the name.
        RegionFault{"ClientIpUntrustedChain", {"--fault", "region=404"}, "ZK_EXTRA_CA_BUNDLE", "", kForced, false},
        RegionFault{"ClientIpCertificateForAnotherName",
                    {"--fault", "region=404", "--cert-name", "other.zkgame.invalid"},
                    nullptr,
                    nullptr,
                    kOrigin,
                    false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
