// The fault matrix from the install command on: the setup download, the
// setup program itself, and the progress log's folder. Every failed download
// ends in message 2027 with nothing left where the setup program belongs.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "SelectLanguage/Messages.h"
#include "SelectLanguage/SetupCheck.h"
#include "net/Text.h"
#include "tests/support/FileTimes.h"
#include "tests/support/TempDir.h"
#include "tests/workflow/PrivateMount.h"
#include "tests/workflow/WorkflowFixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class SetupFaultTest : public WorkflowTest {
 protected:
  // Anything beside the setup program's place that a download left.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(SetupFile().parent_path())) {
      if (entry.path().filename().string().starts_with("_Set_UpZK.exe")) found.push_back(entry.path().string());
    }
    return found;
  }
  // Five attempts with the real pauses (1, 2, 4 and 8 s) fit well inside the wait.
  // `cause`: the entry that names why, when there is one.
  void ExpectFailedDownload(std::u16string_view cause = {}) {
    ASSERT_TRUE(host_.RunUntilClosed(45s));
    EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"Failed to load setup file."});
    const std::u16string ending =
        cause.empty() ? Entries({u"Install the game(0).", u"Failed to load setup file."})
                      : Entries({u"Install the game(0).", std::u16string(cause), u"Failed to load setup file."});
    EXPECT_TRUE(Log().ends_with(ending)) << Utf16(Log());
    EXPECT_FALSE(Engine().SetupStarted());
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  }
  static std::string Utf16(const std::u16string& text) { return std::string(text.begin(), text.end()); }
  // What the sandbox served of the English setup program.
  Sandbox::Served SetupServed() const { return sandbox_.Counts("files", "/setup/ZKSetup_EN.exe"); }
};

// A case of a parameterised test: its name, the mode it sets and, for a
// setup program's mode, the program's exit code.
struct NamedMode {
  const char* name;
  const char* mode;
  int exitCode = 0;
  SetupDownloadEnd cause = SetupDownloadEnd::kFailed;  // what the log names, if anything
};

void PrintTo(const NamedMode& m, std::ostream* os) { *os << m.name; }

class DownloadFaultTest : public SetupFaultTest, public ::testing::WithParamInterface<NamedMode> {};

TEST_P(DownloadFaultTest, GivesTheFailureAndNoFile) {
  Install({"--fault", std::string("files=") + GetParam().mode});
  ExpectFailedDownload(SetupFailureEntry(GetParam().cause));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DownloadFaultTest,
    ::testing::Values(NamedMode{"NotFound", "404"}, NamedMode{"ServerError", "500"}, NamedMode{"ResetMidBody", "reset"},
                      // The length announced is not the configuration's size.
                      NamedMode{"ContentLengthLongerThanBody", "short", 0, SetupDownloadEnd::kSizeDiffers}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupFaultTest, AStalledDownloadStillLetsTheWindowClose) {
  Install({"--fault", "files=stall-body"});
  // Half the body has come; then nothing more.
  ASSERT_TRUE(host_.RunUntil([&] { return !window_->Downloaded().empty(); }, 10s));
  host_.Send(kWmCommand, kCmdClose);
  ASSERT_TRUE(host_.RunUntilClosed(5s));
  const auto start = std::chrono::steady_clock::now();
  window_.reset();  // joins the worker, or lets it go after its bounded wait
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "closing waited on the stalled download";
  EXPECT_TRUE(host_.messageBoxes.empty());
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  EXPECT_EQ(SetupServed().requests, 1) << "closing is no reason to try again";
}

// The announced length does not fit: a failed download at once, with its
// own entry, no retry and nothing written.
TEST_F(SetupFaultTest, AFullDiskGivesTheFailureAndNoFile) {
  PrivateMount mount(SetupFile().parent_path().string(), "size=1m", false);
  if (!mount.Mounted()) GTEST_SKIP() << "no tmpfs for the full disk: " << mount.Error();
  ServeSetup(std::string(3 << 20, 'z'));  // three times what the disk holds
  const auto start = std::chrono::steady_clock::now();
  Install();
  ExpectFailedDownload(SetupFailureEntry(SetupDownloadEnd::kNoRoom));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "no pauses: it was not tried again";
  EXPECT_EQ(SetupServed().requests, 1);
  EXPECT_TRUE(fs::is_empty(SetupFile().parent_path()));
  EXPECT_EQ(window_->statuses.back().failure, InstallFailure::kNoRoom);
}

// The disk fills up while the file comes: the same, with an entry of its own.
TEST_F(SetupFaultTest, ADiskThatFillsOnTheWayGivesTheFailureAndNoFile) {
  const fs::path folder = SetupFile().parent_path();
  PrivateMount mount(folder.string(), "size=8m", false);
  if (!mount.Mounted()) GTEST_SKIP() << "no tmpfs for the full disk: " << mount.Error();
  ServeSetup(std::string(3 << 20, 'z'));
  Install({"--fault", "files=drip:rate=1000000:times=1"});
  ASSERT_TRUE(host_.RunUntil([&] { return SetupServed().bodyBytes > 300000; }, 20s));
  {
    std::ofstream filler(folder / "filler", std::ios::binary);  // whatever else takes the rest of the disk
    const std::string piece(64 << 10, '\0');
    while (filler.write(piece.data(), static_cast<std::streamsize>(piece.size())) && filler.flush()) {
    }
  }
  ExpectFailedDownload(SetupFailureEntry(SetupDownloadEnd::kDiskFull));
  EXPECT_EQ(SetupServed().requests, 1) << "a full disk is not tried again";
  EXPECT_EQ(window_->statuses.back().failure, InstallFailure::kNoRoom);
}

TEST_F(SetupFaultTest, AConnectionDroppedAtHalfAndAtNinetyPercentStillInstalls) {
  const long long size = static_cast<long long>(fs::file_size(Root() / "files" / "setup" / "ZKSetup_EN.exe"));
  const long long half = size / 2;
  const long long ninety = size * 9 / 10;
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  Install({"--fault", "files=drop:after=" + std::to_string(half) + "," + std::to_string(ninety - half) + ":times=2"});
  ASSERT_TRUE(host_.RunUntilClosed(30s));
  EXPECT_TRUE(host_.messageBoxes.empty());
  EXPECT_NE(Log().find(u"Load setup file."), std::u16string::npos);
  EXPECT_TRUE(Log().ends_with(Entries({u"\r\nIt has been successfully installed.\r\nExit the program."})));
  EXPECT_EQ(SetupServed().requests, 3) << "one request per attempt";
  EXPECT_EQ(SetupServed().bodyBytes, size) << "the parts were appended, nothing fetched twice";
  const auto figures = window_->Downloaded();
  EXPECT_TRUE(std::is_sorted(figures.begin(), figures.end())) << "the bar never moves back";
  for (const auto& [done, total] : figures) EXPECT_EQ(total, static_cast<uint64_t>(size));
}

// Thirty seconds without a byte break an attempt off; the next one resumes.
TEST_F(SetupFaultTest, AStallIsBrokenOffAfterThirtySecondsAndResumed) {
  const long long size = static_cast<long long>(fs::file_size(Root() / "files" / "setup" / "ZKSetup_EN.exe"));
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  const auto start = std::chrono::steady_clock::now();
  Install({"--fault", "files=stall-body:times=1"});
  ASSERT_TRUE(host_.RunUntilClosed(60s));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 30s);
  EXPECT_LT(took, 45s);
  EXPECT_TRUE(host_.messageBoxes.empty());
  EXPECT_NE(Log().find(u"Load setup file."), std::u16string::npos);
  EXPECT_EQ(SetupServed().requests, 2);
  EXPECT_EQ(SetupServed().bodyBytes, size);
}

TEST_F(SetupFaultTest, FiveBrokenAttemptsGiveTheBoxOnlyAfterTheLast) {
  const auto start = std::chrono::steady_clock::now();
  Install({"--fault", "files=drop:after=1000"});
  ExpectFailedDownload();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 15s) << "the four pauses came first";
  EXPECT_EQ(SetupServed().requests, 5);
  EXPECT_EQ(SetupServed().bodyBytes, 5000) << "each attempt resumed";
}

// A download link that works once (common on download hosts) is enough:
// nothing asks for it a second time.
TEST_F(SetupFaultTest, ALinkThatWorksOnceInstalls) {
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  Install({"--fault", "files=once:status=410"});
  ASSERT_TRUE(host_.RunUntilClosed(20s));
  EXPECT_TRUE(host_.messageBoxes.empty());
  EXPECT_TRUE(Log().ends_with(Entries({u"\r\nIt has been successfully installed.\r\nExit the program."})));
  EXPECT_EQ(SetupServed().requests, 1);
}

// A primary that fails is one log entry naming the mirror by its number (a
// mirror too long for its field is none); the box comes only when every
// URL has failed.
TEST_F(SetupFaultTest, AMirrorTakesOverFromAPrimaryThatFails) {
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  ASSERT_TRUE(StartSandbox({"--fault", "files=404"}));
  ASSERT_TRUE(
      ServeConfigValue("M_PATH1_ZKEN", std::string(256, 'h') + "\r\nM_PATH3_ZKEN=http://{{MIRROR_HOST}}/setup/"));
  OpenInstaller();
  PressInstall();
  ASSERT_TRUE(host_.RunUntilClosed(20s));
  EXPECT_TRUE(host_.messageBoxes.empty());
  EXPECT_NE(Log().find(Entries({u"Install the game(0).", u"Trying another server (2 of 2).", u"Load setup file."})),
            std::u16string::npos)
      << Utf16(Log());
  EXPECT_EQ(Log().find(u"127.0.0.1"), std::u16string::npos) << "the URL's number, not its text";
  EXPECT_EQ(SetupServed().requests, 1) << "a 404 moves on at once";
  EXPECT_EQ(sandbox_.Counts("mirror", "/setup/ZKSetup_EN.exe").bodyBytes,
            static_cast<long long>(fs::file_size(Root() / "files" / "setup" / "ZKSetup_EN.exe")));
  EXPECT_TRUE(std::any_of(window_->statuses.begin(), window_->statuses.end(), [](const InstallStatus& s) {
    return s.phase == InstallPhase::kAnotherServer && s.attempt == 2 && s.attempts == 2;
  }));
}

TEST_F(SetupFaultTest, AnUnwritableFolderGivesTheFailureAndNoFile) {
  PrivateMount mount(SetupFile().parent_path().string(), "size=1m", true);
  if (!mount.Mounted()) GTEST_SKIP() << "no read-only tmpfs: " << mount.Error();
  Install();
  ExpectFailedDownload();
}

// The setup program ends without leaving usable registry values.
class SetupProgramFaultTest : public SetupFaultTest, public ::testing::WithParamInterface<NamedMode> {};

TEST_P(SetupProgramFaultTest, EndsWithoutAGame) {
  ::setenv("ZK_SETUP_MODE", GetParam().mode, 1);
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  Install();
  ASSERT_TRUE(host_.RunUntilClosed(20s));
  EXPECT_TRUE(Engine().SetupStarted());
  const std::u16string ended = FormatText(u"The setup program ended (%d).", {GetParam().exitCode});
  EXPECT_TRUE(Log().ends_with(Entries({u"Load setup file.", ended, u"\r\nGame setting registration failed."})))
      << Utf16(Log());
  EXPECT_TRUE(host_.messageBoxes.empty());
  EXPECT_FALSE(fs::exists(GameFolder() / "started.txt"));
  EXPECT_FALSE(fs::exists(SetupFile()));
}

INSTANTIATE_TEST_SUITE_P(Modes, SetupProgramFaultTest,
                         ::testing::Values(NamedMode{"ExitsAtOnce", "exit"},
                                           NamedMode{"ValuesOver1024Bytes", "long-values"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupFaultTest, AHostileListTouchesNothingOutsideTheGame) {
  ::setenv("ZK_SETUP_MODE", "hostile-list", 1);
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  Install();
  ASSERT_TRUE(host_.RunUntilClosed(20s));
  EXPECT_TRUE(Log().ends_with(Entries({u"Load setup file.", u"The setup program ended (0).",
                                       u"\r\nIt has been successfully installed.\r\nExit the program."})));
  // The good lines still apply; nothing past the zero byte does.
  EXPECT_EQ(ModifiedTime(GameFolder() / "ZKGame.exe"), kRecorded);
  EXPECT_EQ(ModifiedTime(GameFolder() / "readme.txt"), kRecorded);
  EXPECT_EQ(ModifiedTime(GameFolder() / "data" / "table.dat"), kRecorded + 30);
  // Neither "..", an absolute name, a file link nor a folder link reached it.
  EXPECT_EQ(ModifiedTime(GameFolder().parent_path() / "outside.txt"), kRecorded + 3600);
  EXPECT_TRUE(fs::is_symlink(GameFolder() / "escape.dat"));
  EXPECT_TRUE(GameStarted());
}

// A list file that cannot be read as one (a 64 GiB sparse file, a FIFO) is
// treated as missing: the times stay, the game still starts, the log closes.
class UnreadableListTest : public SetupFaultTest, public ::testing::WithParamInterface<NamedMode> {};

TEST_P(UnreadableListTest, TheGameStillStarts) {
  ::setenv("ZK_SETUP_MODE", GetParam().mode, 1);
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  Install();
  ASSERT_TRUE(host_.RunUntilClosed(20s));
  EXPECT_TRUE(Log().ends_with(Entries({u"\r\nIt has been successfully installed.\r\nExit the program."})));
  EXPECT_EQ(ModifiedTime(GameFolder() / "ZKGame.exe"), kRecorded + 3600);
  EXPECT_TRUE(GameStarted());
}

INSTANTIATE_TEST_SUITE_P(Modes, UnreadableListTest,
                         ::testing::Values(NamedMode{"Giant", "giant-list"}, NamedMode{"Fifo", "fifo-list"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Links planted in the current folder at the log's and the configuration's
// working file's names are replaced, never written through.
TEST_F(SetupFaultTest, LinksPlantedAtTheInstallersFileNamesAreReplacedNotFollowed) {
  WriteFileBytes(Root() / "victim", "precious");
  fs::create_symlink(Root() / "victim", Root() / "ZK_Progress_Installer.log");
  fs::create_symlink(Root() / "created-through-link", Root() / "InfoGlobal.txt");
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  Install();
  ASSERT_TRUE(host_.RunUntilClosed(20s));
  EXPECT_EQ(ReadFileBytes(Root() / "victim"), "precious");
  EXPECT_FALSE(fs::exists(Root() / "created-through-link"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Root() / "InfoGlobal.txt")));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Root() / "ZK_Progress_Installer.log")));
  EXPECT_TRUE(Log().ends_with(Entries({u"\r\nIt has been successfully installed.\r\nExit the program."})));
}

// The current directory turns read-only once the configuration is in: later
// entries are dropped, the install completes.
TEST_F(SetupFaultTest, AReadOnlyCurrentDirectoryDropsTheLogNotTheInstall) {
  const fs::path dir = Root() / "cwd";
  fs::create_directories(dir);
  PrivateMount mount(dir.string(), "size=1m", false);
  if (!mount.Mounted()) GTEST_SKIP() << "no tmpfs for the current directory: " << mount.Error();
  ASSERT_EQ(::chdir(dir.c_str()), 0);
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  Install();
  ASSERT_TRUE(mount.RemountReadOnly());
  ASSERT_TRUE(host_.RunUntilClosed(20s));
  EXPECT_TRUE(GameStarted());
  EXPECT_EQ(ModifiedTime(GameFolder() / "ZKGame.exe"), kRecorded);
  const std::string log = ReadFileBytes(dir / "ZK_Progress_Installer.log");
  const std::u16string text(reinterpret_cast<const char16_t*>(log.data()), log.size() / 2);
  EXPECT_EQ(text, Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN).",
                           u"Game settings file was successfully downloaded(1).", u"Attempt to install game(0).",
                           u"Install the game(0)."}));
  EXPECT_TRUE(host_.messageBoxes.empty());
}

// Read-only from the start: neither the log nor the configuration's working
// file can be made. A box says so at once, naming the folder, and no
// service is asked anything.
TEST_F(SetupFaultTest, AReadOnlyCurrentDirectoryFromTheStartSaysSoAtOnce) {
  const fs::path dir = Root() / "cwd";
  fs::create_directories(dir);
  PrivateMount mount(dir.string(), "size=1m", true);
  if (!mount.Mounted()) GTEST_SKIP() << "no read-only tmpfs for the current directory: " << mount.Error();
  ASSERT_EQ(::chdir(dir.c_str()), 0);
  const auto start = std::chrono::steady_clock::now();
  StartInstaller();
  ASSERT_TRUE(host_.RunUntilClosed(30s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{
                                    FormatText(kFolderNotWritable, {std::u16string_view(Utf8ToUtf16(dir.string()))})});
  EXPECT_EQ(sandbox_.Counts("config", "/Desktop/ZKZKINI/GameConfig-V1.ini").requests, 0);
  EXPECT_EQ(sandbox_.Counts("region", "/CheckData/UserCheck_Get_CN.asp").requests, 0);
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(SetupFaultTest, ASecondRunReplacesTheFirstRunsLog) {
  StartInstaller({"--fault", "config=404"});
  ASSERT_TRUE(host_.RunUntilClosed(30s));
  ASSERT_NE(Log().find(u"Game settings file download failed(0)."), std::u16string::npos);
  window_.reset();

  ASSERT_TRUE(sandbox_.SetFault("config", "ok"));
  HeadlessHost second;
  TestWindow again(second, InstallationTimings{{0ms, 2000ms}, 0ms});
  second.Open(again);
  ASSERT_TRUE(second.RunUntil([&] { return again.installation.Settings() != nullptr; }, 20s));
  second.Send(kWmCommand, kCmdClose);
  ASSERT_TRUE(second.RunUntilClosed(5s));
  EXPECT_EQ(Log(), Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN).",
                            u"Game settings file was successfully downloaded(1)."}));
}

}  // namespace
