// The setup program checked against the signed configuration, against the
// sandbox with real child processes: the checked program installs; one whose
// bytes or size differ, or a language the configuration gives no hash, is
// never run and leaves no file; a file put at the setup's name between the
// check and the start is not what runs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "SelectLanguage/Messages.h"
#include "SelectLanguage/SetupCheck.h"
#include "SelectLanguage/SetupProgram.h"
#include "net/Files.h"
#include "net/Text.h"
#include "tests/workflow/ChildProcesses.h"
#include "tests/workflow/WorkflowFixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Utf16Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

class VerifiedSetupTest : public WorkflowTest {
 protected:
  void SetUp() override {
    WorkflowTest::SetUp();
    sample_ = ReadFileBytes(ZK_SAMPLE_SETUP);
  }
  // The configuration is in (its checks taken from the served setup
  // programs as they are now) and the install command given.
  void InstallAfter(const std::function<void()>& meanwhile = {}) {
    ASSERT_TRUE(ConfigurationLoaded());
    if (meanwhile) meanwhile();
    host_.Send(kWmCommand, kCmdInstall);
  }
  // Never run, no file, the box, and the cause named before the failure's own entry.
  void ExpectRefused(SetupDownloadEnd why) {
    ASSERT_TRUE(host_.RunUntilClosed(30s));
    EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"Failed to load setup file."});
    EXPECT_TRUE(Log().ends_with(
        Entries({u"Install the game(0).", std::u16string(SetupFailureEntry(why)), u"Failed to load setup file."})))
        << Utf16Narrow(Log());
    EXPECT_FALSE(Engine().SetupStarted());
    EXPECT_TRUE(SetupEnds().empty()) << "the setup program never ran";
    EXPECT_FALSE(fs::exists(GameFolder()));
    for (const auto& entry : fs::directory_iterator(SetupFile().parent_path())) {
      EXPECT_FALSE(entry.path().filename().string().starts_with("_Set_UpZK.exe")) << entry.path();
    }
  }
  int SetupRequests() const { return sandbox_.Counts("files", "/setup/ZKSetup_EN.exe").requests; }
  void ExpectInstalled() {
    ASSERT_TRUE(host_.RunUntilClosed(40s));
    EXPECT_TRUE(host_.messageBoxes.empty());
    EXPECT_TRUE(Log().ends_with(Entries({u"\r\nIt has been successfully installed.\r\nExit the program."})));
    EXPECT_TRUE(WaitUntil([&] { return GameStarts().size() == 1; }, 5s)) << "the game started";
    EXPECT_FALSE(fs::exists(SetupFile()));
  }

  std::string sample_;
};

TEST_F(VerifiedSetupTest, TheCheckedSetupInstallsAndTheGameStarts) {
  StartInstaller();
  InstallAfter();
  ExpectInstalled();
  EXPECT_EQ(Log().find(u"setup file's"), std::u16string::npos) << "no cause logged";
}

// What the server holds changes after the configuration was signed: each
// difference is found, whatever the server announces.
struct Change {
  const char* name;
  std::string (*apply)(std::string);
  SetupDownloadEnd why;
};
void PrintTo(const Change& c, std::ostream* os) { *os << c.name; }

class ChangedSetupTest : public VerifiedSetupTest, public ::testing::WithParamInterface<Change> {};

TEST_P(ChangedSetupTest, IsNeverRunAndLeavesNoFile) {
  StartInstaller();
  InstallAfter([&] { ServeSetup(GetParam().apply(sample_)); });
  ExpectRefused(GetParam().why);
  EXPECT_EQ(SetupRequests(), 1) << "no further attempt";
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangedSetupTest,
    ::testing::Values(Change{"OneFlippedByte",
                             [](std::string b) {
                               b[b.size() / 2] ^= 0x01;
                               return b;
                             },
                             SetupDownloadEnd::kChecksumDiffers},
                      Change{"OneByteLarger", [](std::string b) { return b + "x"; }, SetupDownloadEnd::kSizeDiffers},
                      Change{"OneByteSmaller", [](std::string b) { return b.substr(0, b.size() - 1); },
                             SetupDownloadEnd::kSizeDiffers},
                      Change{"FarLarger", [](std::string b) { return b + std::string(8 << 20, 'x'); },
                             SetupDownloadEnd::kSizeDiffers}),
    [](const auto& info) { return std::string(info.param.name); });

// A build with keys: a language that the configuration names no hash for,
// or names one it cannot read, is not even asked for.
struct Unchecked {
  const char* name;
  const char* hash;  // the value of "H_SHA2_ZKEN="
  SetupDownloadEnd why;
};
void PrintTo(const Unchecked& u, std::ostream* os) { *os << u.name; }

class UncheckedSetupTest : public VerifiedSetupTest, public ::testing::WithParamInterface<Unchecked> {};

TEST_P(UncheckedSetupTest, IsNeverRequested) {
  ASSERT_TRUE(StartSandbox());
  ASSERT_TRUE(ServeConfigValue("H_SHA2_ZKEN", GetParam().hash));
  OpenInstaller();
  InstallAfter();
  ExpectRefused(GetParam().why);
  EXPECT_EQ(SetupRequests(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, UncheckedSetupTest,
                         ::testing::Values(Unchecked{"NoHash", "", SetupDownloadEnd::kNoChecksum},
                                           Unchecked{"MalformedHash", "12ab", SetupDownloadEnd::kMalformedCheck}),
                         [](const auto& info) { return std::string(info.param.name); });

// Right after the check, before the window starts it, another program is put
// at the setup's name: the checked program runs, the other one never does.
TEST_F(VerifiedSetupTest, AProgramSwappedInAfterTheCheckIsNotRun) {
  const fs::path ran = Root() / "swapped-ran";
  const fs::path swapped = SetupFile().string() + ".swap";
  WriteFileBytes(swapped, "#!/bin/sh\ntouch \"" + ran.string() + "\"\n");
  ::chmod(swapped.c_str(), 0755);
  std::atomic<bool> done{false};
  host_.onPost = [&](uint32_t message) {
    if (message == kMsgSetupDownloaded && !done.exchange(true)) fs::rename(swapped, SetupFile());
  };
  StartInstaller();
  InstallAfter();
  ExpectInstalled();
  EXPECT_TRUE(done);
  EXPECT_EQ(SetupEnds().size(), 1u) << "the checked setup ran";
  EXPECT_FALSE(fs::exists(ran)) << "the swapped program ran";
}

}  // namespace
