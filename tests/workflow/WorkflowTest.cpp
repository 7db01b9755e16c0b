// The whole installation, and each way it can end, against real services and
// real child processes.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SelectLanguage/Messages.h"
#include "net/GameSettings.h"
#include "net/Text.h"
#include "tests/support/FileTimes.h"
#include "tests/support/TempDir.h"
#include "tests/workflow/WorkflowFixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

TEST_F(WorkflowTest, InstallsRussianStartsTheGameAndCloses) {
  StartInstaller();
  ASSERT_TRUE(ConfigurationLoaded());  // message 2028 started the worker
  EXPECT_EQ(std::u16string(Engine().Settings()->uPath[3]),
            Utf8ToUtf16("http://127.0.0.1:" + std::to_string(sandbox_.FilesPort()) + "/setup/"));

  window_->selection = 3;
  EXPECT_EQ(host_.Send(kWmCommand, kCmdInstall), 1);

  // The download ends and the setup program starts; while it runs, ticks only repaint.
  ASSERT_TRUE(host_.RunUntil([&] { return Engine().SetupStarted(); }, 20s));
  EXPECT_EQ(sandbox_.LastRequest("files").path, "/setup/ZKSetup_RU.exe");
  const auto figures = window_->Downloaded();
  EXPECT_FALSE(figures.empty());
  for (const auto& [done, total] : figures) EXPECT_EQ(total, fs::file_size(ZK_SAMPLE_SETUP));
  EXPECT_EQ(window_->statuses.back().phase, InstallPhase::kSetupRunning);
  EXPECT_EQ(Engine().SetupPath(), BytesToUtf16Escaped(SetupFile().string()));
  const int repaintsBefore = host_.invalidateCount;
  ASSERT_TRUE(host_.RunUntil([&] { return host_.invalidateCount >= repaintsBefore + 1; }, 3s));
  EXPECT_TRUE(fs::exists(SetupFile()));  // still running: the tick could not delete it

  ASSERT_TRUE(host_.RunUntilClosed(20s));
  const auto setupEnded =
      fs::last_write_time(Root() / "registry" / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "ZKGame" / "Game" / "localfolder");
  const auto closedAfter = fs::file_time_type::clock::now() - setupEnded;
  EXPECT_LT(closedAfter, 2500ms) << "the finishing steps come within one tick of the setup's end";

  EXPECT_EQ(Log(), Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN).",
                            u"Game settings file was successfully downloaded(1).", u"Attempt to install game(3).",
                            u"Install the game(3).", u"Load setup file.", u"The setup program ended (0).",
                            u"\r\nIt has been successfully installed.\r\nExit the program."}));
  EXPECT_FALSE(fs::exists(SetupFile()));
  EXPECT_FALSE(fs::exists(Root() / "InfoGlobal.txt"));
  // The game was started from the registry's folder.
  EXPECT_TRUE(GameStarted());
  // Recorded times are back where the list says they belong.
  EXPECT_EQ(ModifiedTime(GameFolder() / "ZKGame.exe"), kRecorded);
  EXPECT_EQ(ModifiedTime(GameFolder() / "data" / "카드.dat"), kRecorded);
  EXPECT_EQ(ModifiedTime(GameFolder() / "data" / "table.dat"), kRecorded + 30);
  EXPECT_EQ(ModifiedTime(GameFolder() / "readme.txt"), kRecorded);
}

// The whole installation again, by a copy of this program in a folder whose
// name is in code page 949 ("게임"), not UTF-8: the setup program goes next
// to it and is found there byte for byte.
TEST(ProgramFolderTest, ANameThatIsNotUtf8StillInstalls) {
  TempDir dir;
  const fs::path folder = dir.Path() / "\xB0\xD4\xC0\xD3";
  fs::create_directory(folder);
  fs::copy_file("/proc/self/exe", folder / "workflow_tests");
  const std::string program = (folder / "workflow_tests").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(program.c_str(), program.c_str(), "--gtest_filter=WorkflowTest.InstallsRussianStartsTheGameAndCloses",
            "--gtest_brief=1", nullptr);
    ::_exit(127);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run from the folder failed: " << status;
  EXPECT_FALSE(fs::exists(folder / "_Set_UpZK.exe"));
}

TEST_F(WorkflowTest, NoSelectionClosesAfterTheAttempt) {
  StartInstaller();
  ASSERT_TRUE(ConfigurationLoaded());
  window_->selection = -1;
  host_.Send(kWmCommand, kCmdInstall);
  ASSERT_TRUE(host_.RunUntilClosed(5s));
  const std::u16string log = Log();
  EXPECT_TRUE(log.ends_with(Entries({u"Attempt to install game(-1)."})));
  EXPECT_EQ(log.find(u"Install the game"), std::u16string::npos);
}

TEST_F(WorkflowTest, ALanguageWithoutEntriesCloses) {
  const fs::path config = Root() / "config.ini";
  WriteFileBytes(config,
                 "U_PATH_ZKEN=http://{{FILES_HOST}}/setup/\r\nU_PATH_ZKSC=x\r\nU_PATH_ZKTC=x\r\nU_PATH_ZKRU=\r\n"
                 "U_PATH_ZKJP=x\r\nF_NAME_ZKEN=ZKSetup_EN.exe\r\nF_NAME_ZKSC=x\r\nF_NAME_ZKTC=x\r\nF_NAME_ZKRU=\r\n"
                 "F_NAME_ZKJP=x\r\nF_NAME_Lst=ZKGame.lst\r\nF_NAME_Game=ZKGame.exe\r\nF_NAME_Update=ZKUpdate.exe\r\n"
                 "R_PATH_Root=SOFTWARE\\ZKGame\r\nR_PATH_Game=SOFTWARE\\ZKGame\\Game\r\n");
  StartInstaller({"--config", config.string()});
  ASSERT_TRUE(ConfigurationLoaded());
  window_->selection = 3;
  host_.Send(kWmCommand, kCmdInstall);
  ASSERT_TRUE(host_.RunUntilClosed(5s));
  EXPECT_TRUE(Log().ends_with(Entries({u"Attempt to install game(3).", u"Install the game(3)."})));
  EXPECT_FALSE(fs::exists(SetupFile()));
}

TEST_F(WorkflowTest, AFailedDownloadIsReportedAndLeavesNoFile) {
  StartInstaller();
  ASSERT_TRUE(ConfigurationLoaded());          // with the setup programs' checks
  fs::remove_all(Root() / "files" / "setup");  // every setup URL answers 404
  host_.Send(kWmCommand, kCmdInstall);
  ASSERT_TRUE(host_.RunUntilClosed(10s));
  EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"Failed to load setup file."});
  EXPECT_TRUE(Log().ends_with(Entries({u"Install the game(0).", u"Failed to load setup file."})));
  EXPECT_FALSE(fs::exists(SetupFile()));
}

TEST_F(WorkflowTest, ASetupThatCannotStartIsAFailureNotASuccess) {
  ServeSetup("this is not a program\n");
  StartInstaller();
  ASSERT_TRUE(ConfigurationLoaded());
  host_.Send(kWmCommand, kCmdInstall);
  ASSERT_TRUE(host_.RunUntilClosed(10s));
  EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"Failed to load setup file."});
  EXPECT_TRUE(Log().ends_with(Entries({u"Load setup file.", u"Failed to load setup file."})));
  EXPECT_EQ(Log().find(u"successfully installed"), std::u16string::npos);
  EXPECT_FALSE(fs::exists(SetupFile()));
}

TEST_F(WorkflowTest, MissingRegistryValuesEndWithoutAGame) {
  ::setenv("ZK_SETUP_MODE", "no-registry", 1);
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  StartInstaller();
  ASSERT_TRUE(ConfigurationLoaded());
  host_.Send(kWmCommand, kCmdInstall);
  ASSERT_TRUE(host_.RunUntilClosed(20s));
  EXPECT_TRUE(Log().ends_with(
      Entries({u"Load setup file.", u"The setup program ended (0).", u"\r\nGame setting registration failed."})));
  EXPECT_FALSE(fs::exists(GameFolder() / "started.txt"));
  EXPECT_FALSE(fs::exists(SetupFile()));
  EXPECT_EQ(ModifiedTime(GameFolder() / "ZKGame.exe"), kRecorded + 3600);  // no registry, no list
}

TEST_F(WorkflowTest, AGameThatCannotStartIsLogged) {
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  StartInstaller();
  ASSERT_TRUE(ConfigurationLoaded());
  host_.Send(kWmCommand, kCmdInstall);
  ASSERT_TRUE(host_.RunUntil([&] { return Engine().SetupStarted(); }, 10s));
  // The setup program is done before the next tick; take the game away first.
  for (int i = 0; i < 40 && !fs::exists(GameFolder() / "ZKGame.lst"); ++i) std::this_thread::sleep_for(50ms);
  std::this_thread::sleep_for(200ms);
  fs::remove(GameFolder() / "ZKUpdate.exe");
  ASSERT_TRUE(host_.RunUntilClosed(10s));
  const std::u16string log = Log();
  EXPECT_NE(log.find(u"\uFEFF\r\nIt has been successfully installed.\r\nExit the program.\r\n\uFEFFThe game could not "
                     u"be started ("),
            std::u16string::npos);
}

TEST_F(WorkflowTest, TenConfigurationFailuresTakeThirtySecondsThenClose) {
  const auto start = std::chrono::steady_clock::now();
  StartInstaller({"--fault", "config=404"}, 3000ms);
  ASSERT_TRUE(host_.RunUntilClosed(60s));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30s);
  EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"Game settings file download failed."});
  std::u16string expected = Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN)."});
  for (int i = 0; i < 10; ++i) {
    // An error page is no signed configuration: each try says so first.
    expected +=
        Entries({std::u16string(SettingsRefusalEntry(SettingsOutcome::kNoSignature)),
                 i % 2 == 0 ? u"Game settings file download failed(1)." : u"Game settings file download failed(0)."});
  }
  EXPECT_EQ(Log(), expected);
}

}  // namespace
