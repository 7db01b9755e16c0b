// Values from outside that name files: the configuration's program and list
// names, and the registry's folder. None of them may lead outside the
// game's folder, run something relative to the current folder, or write a
// line of its own into the log.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>

#include "SelectLanguage/Messages.h"
#include "tests/support/FileTimes.h"
#include "tests/support/TempDir.h"
#include "tests/workflow/WorkflowFixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class OutsideNamesTest : public WorkflowTest {
 protected:
  void SetUp() override {
    WorkflowTest::SetUp();
    ::setenv("ZK_SETUP_SECONDS", "0", 1);
  }
  // The configuration, with `key` set to `value`, is in; the install runs
  // to its end.
  void InstallWith(const std::string& key = {}, const std::string& value = {}) {
    ASSERT_TRUE(StartSandbox());
    if (!key.empty()) {
      ASSERT_TRUE(ServeConfigValue(key, value));
    }
    OpenInstaller();
    PressInstall();
    ASSERT_TRUE(host_.RunUntilClosed(20s));
  }
  // A program outside the game that leaves a mark when it runs.
  fs::path PlantOutsideProgram() {
    const fs::path program = Root() / "outside" / "marker.sh";
    fs::create_directories(program.parent_path());
    WriteFileBytes(program, "#!/bin/sh\ntouch \"" + (Root() / "ran").string() + "\"\n");
    fs::permissions(program, fs::perms::owner_all);
    return program;
  }
  bool GameStarted() const {
    for (int i = 0; i < 30 && !fs::exists(GameFolder() / "started.txt"); ++i) std::this_thread::sleep_for(100ms);
    return fs::exists(GameFolder() / "started.txt");
  }
};

class ProgramNameTest : public OutsideNamesTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ProgramNameTest, AProgramOutsideTheGameIsNeverRun) {
  PlantOutsideProgram();
  fs::create_directories(GameFolder());
  fs::create_directory_symlink(Root(), GameFolder() / "up");  // a link that leads out
  std::string value = GetParam();
  if (value.starts_with("ROOT")) value = Root().string() + value.substr(4);
  InstallWith("F_NAME_Update", value);
  const std::u16string log = Log();
  EXPECT_NE(log.find(u"\uFEFF\r\nIt has been successfully installed.\r\nExit the program.\r\n\uFEFFThe game could not "
                     u"be started ("),
            std::u16string::npos);
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(fs::exists(Root() / "ran"));
}

INSTANTIATE_TEST_SUITE_P(Names, ProgramNameTest,
                         ::testing::Values("../../outside/marker.sh", "ROOT/outside/marker.sh",
                                           "..\\..\\outside\\marker.sh", "data/../../../outside/marker.sh",
                                           "up/outside/marker.sh"));

TEST_F(OutsideNamesTest, AProgramInASubfolderOfTheGameRuns) {
  fs::create_directories(GameFolder() / "bin");
  const fs::path program = GameFolder() / "bin" / "start.sh";
  WriteFileBytes(program, "#!/bin/sh\ntouch \"" + (GameFolder() / "started.txt").string() + "\"\n");
  fs::permissions(program, fs::perms::owner_all);
  InstallWith("F_NAME_Update", "bin\\start.sh");
  EXPECT_TRUE(Log().ends_with(Entries({u"\r\nIt has been successfully installed.\r\nExit the program."})));
  EXPECT_TRUE(GameStarted());
}

TEST_F(OutsideNamesTest, AListOutsideTheGameIsTreatedAsMissing) {
  // Beside the game's folder: a list and the file it would reset.
  fs::create_directories(GameFolder().parent_path());
  WriteFileBytes(GameFolder().parent_path() / "outside.lst", "1700000000 1 \\outside.txt\r\n");
  WriteFileBytes(GameFolder().parent_path() / "outside.txt", "not the game's");
  ASSERT_TRUE(SetModifiedTime(GameFolder().parent_path() / "outside.txt", kRecorded + 3600));
  InstallWith("F_NAME_Lst", "../outside.lst");
  EXPECT_EQ(ModifiedTime(GameFolder().parent_path() / "outside.txt"), kRecorded + 3600);
  EXPECT_EQ(ModifiedTime(GameFolder() / "ZKGame.exe"), kRecorded + 3600);  // the game's own list was not named
  EXPECT_TRUE(Log().ends_with(Entries({u"\r\nIt has been successfully installed.\r\nExit the program."})));
  EXPECT_TRUE(GameStarted());
}

// "Path" relative ("games"): from the test's current folder it would name the
// installed game, but a folder relative to wherever the installer runs is
// no registration.
TEST_F(OutsideNamesTest, ARelativePathValueIsNoRegistration) {
  ::setenv("ZK_SETUP_MODE", "relative-path", 1);
  ASSERT_TRUE(fs::equivalent(fs::current_path(), Root()));
  InstallWith();
  EXPECT_TRUE(Log().ends_with(
      Entries({u"Load setup file.", u"The setup program ended (0).", u"\r\nGame setting registration failed."})));
  EXPECT_FALSE(GameStarted());
}

TEST_F(OutsideNamesTest, ALineBreakInARegistryValueCannotForgeALogLine) {
  ::setenv("ZK_SETUP_MODE", "newline-value", 1);
  InstallWith();
  const std::u16string log = Log();
  const auto entry = log.find(u"\uFEFFThe game could not be started (");
  ASSERT_NE(entry, std::u16string::npos) << "the folder with a line break in its name does not exist";
  const std::u16string line = log.substr(entry, log.find(u"\r\n", entry) - entry);
  EXPECT_NE(line.find(u"ZKGame\uFFFD\uFFFDIt has been successfully installed./ZKUpdate.exe)."), std::u16string::npos);
  // Exactly one success entry, the real one.
  EXPECT_EQ(log.find(u"It has been successfully installed.\r\n"),
            log.rfind(u"It has been successfully installed.\r\n"));
}

}  // namespace
