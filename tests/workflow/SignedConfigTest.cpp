// The signed configuration against the sandbox, real TLS: a file signed by a
// trusted key (either of the build's two) is taken and installs; a tampered,
// unsigned, foreign-signed or expired one fails every try, each try logging
// its cause, and the setup program is never asked for.
#include "SelectLanguage/Messages.h"
#include "net/GameSettings.h"
#include "tests/workflow/WorkflowFixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Tamper {
  const char* name;
  const char* mode;  // the sandbox's signature fault
  SettingsOutcome outcome;
};

void PrintTo(const Tamper& t, std::ostream* os) { *os << t.name; }

// Ten tries, each with its cause and then its own entry.
std::u16string TenRefusals(std::u16string_view cause) {
  std::u16string log;
  for (int i = 0; i < 10; ++i) {
    log += u"\uFEFF" + std::u16string(cause) + u"\r\n";
    log += u"\uFEFF" +
           std::u16string(i % 2 == 0 ? u"Game settings file download failed(1)."
                                     : u"Game settings file download failed(0).") +
           u"\r\n";
  }
  return log;
}

class SignedConfigTamperTest : public WorkflowTest, public ::testing::WithParamInterface<Tamper> {};

TEST_P(SignedConfigTamperTest, EveryTryFailsWithItsCauseAndNoSetupIsRequested) {
  const Tamper& t = GetParam();
  ASSERT_TRUE(StartSandbox({"--fault", std::string("config=") + t.mode}));
  OpenInstaller();
  ASSERT_TRUE(host_.RunUntilClosed(20s));  // the configuration's ten tries
  EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"Game settings file download failed."});
  EXPECT_EQ(Log(), Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN)."}) +
                       TenRefusals(SettingsRefusalEntry(t.outcome)));
  EXPECT_EQ(Engine().Settings() == nullptr ? u'\0' : Engine().Settings()->uPath[0][0], u'\0')
      << "nothing of a refused file was taken in";
  // Install is pressed all the same: there is no URL to ask for.
  window_->selection = 0;
  host_.Send(kWmCommand, kCmdInstall);
  EXPECT_FALSE(sandbox_.LastRequest("files").received);
  EXPECT_FALSE(fs::exists(SetupFile()));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SignedConfigTamperTest,
    ::testing::Values(Tamper{"AFlippedByteInTheBody", "sig-body", SettingsOutcome::kNotTrusted},
                      Tamper{"AFlippedByteInTheSignature", "sig-flip", SettingsOutcome::kNotTrusted},
                      Tamper{"NoSignatureLine", "unsigned", SettingsOutcome::kNoSignature},
                      Tamper{"SignedByAnUntrustedKey", "sig-untrusted", SettingsOutcome::kNotTrusted},
                      Tamper{"Expired", "expired", SettingsOutcome::kExpired}),
    [](const auto& info) { return std::string(info.param.name); });

// Key rotation: the build trusts two keys, and a file signed by the second
// installs as one signed by the first does.
TEST_F(WorkflowTest, AConfigurationSignedByTheSecondTrustedKeyInstalls) {
  StartInstaller({"--fault", "config=sig-key2"});
  ASSERT_TRUE(ConfigurationLoaded());
  EXPECT_EQ(std::u16string(Engine().Settings()->fName[0]), u"ZKSetup_EN.exe");
  window_->selection = 0;
  EXPECT_EQ(host_.Send(kWmCommand, kCmdInstall), 1);
  ASSERT_TRUE(host_.RunUntilClosed(40s));
  EXPECT_EQ(sandbox_.LastRequest("files").path, "/setup/ZKSetup_EN.exe");
  EXPECT_TRUE(Log().ends_with(Entries({u"\r\nIt has been successfully installed.\r\nExit the program."})));
}

// A refused try is one failed try like any other: the next signed answer
// is taken.
TEST_F(WorkflowTest, ATamperedAnswerCostsOneTryAndTheNextSignedOneIsTaken) {
  ASSERT_TRUE(StartSandbox({"--fault", "config=sig-body:times=1"}));
  OpenInstaller();
  ASSERT_TRUE(ConfigurationLoaded());
  EXPECT_EQ(Log(), Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN).",
                            std::u16string(SettingsRefusalEntry(SettingsOutcome::kNotTrusted)),
                            u"Game settings file download failed(1).",
                            u"Game settings file was successfully downloaded(0)."}));
  EXPECT_TRUE(host_.messageBoxes.empty());
}

}  // namespace
