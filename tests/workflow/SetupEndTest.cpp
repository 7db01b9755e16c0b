// When the setup program has ended: setups whose started process ends before
// the installation does (a copy of itself, a moved copy, a replaced or
// removed file, a game that they start), setups that fail, the installer
// closed while a setup runs, and the file such a run leaves. Each run is a
// re-install: the registry already names the game's folder and an older game
// lies there, so an installer that finished early, or took a failure for a
// success, would report success and start the old game.
#include <algorithm>
#include <csignal>
#include <thread>

#include "SelectLanguage/Messages.h"
#include "net/Text.h"
#include "tests/support/FileTimes.h"
#include "tests/support/TempDir.h"
#include "tests/workflow/ChildProcesses.h"
#include "tests/workflow/WorkflowFixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

class SetupEndTest : public WorkflowTest {
 protected:
  void SetUp() override {
    WorkflowTest::SetUp();
    const fs::path keys = Root() / "registry" / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "ZKGame";
    fs::create_directories(keys / "Game");
    WriteFileBytes(keys / "Path", (Root() / "games").string());
    WriteFileBytes(keys / "Game" / "localfolder", "ZKGame");
    fs::create_directories(GameFolder());
    fs::copy_file(ZK_SAMPLE_GAME, GameFolder() / "ZKUpdate.exe");
  }
  // Once these processes have ended, none of them, nor any other child of
  // this process, may stay a zombie.
  static void ExpectReaped(const std::vector<pid_t>& pids) {
    EXPECT_TRUE(WaitUntil([&] { return std::none_of(pids.begin(), pids.end(), IsRunning); }, 20s));
    EXPECT_TRUE(WaitUntil([] { return ZombieChildren().empty(); }, 5s))
        << ZombieChildren().size() << " zombie(s) left, the first " << ZombieChildren().front();
  }
};

struct EndCase {
  const char* name;
  const char* mode;
  std::size_t processes;    // the setup's processes, each leaving an end stamp
  bool setupStartsTheGame;  // which still runs when the setup has ended
  bool leavesACopy;         // which holds the installer back once the first process has ended
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class SetupEndModeTest : public SetupEndTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(SetupEndModeTest, FinishesOnlyAfterTheSetupsLastProcess) {
  ::setenv("ZK_SETUP_MODE", GetParam().mode, 1);
  ::setenv("ZK_SETUP_SECONDS", "3", 1);
  ::setenv("ZK_GAME_SECONDS", "2", 1);
  Install();
  ASSERT_TRUE(host_.RunUntilClosed(40s));

  // When the installer finished, every process of the setup had done its work.
  const std::vector<SetupEnd> ends = SetupEnds();
  EXPECT_EQ(ends.size(), GetParam().processes);
  EXPECT_TRUE(fs::exists(GameFolder() / "ZKGame.lst"));
  EXPECT_TRUE(Log().ends_with(Entries({u"Load setup file.", u"The setup program ended (0).",
                                       u"\r\nIt has been successfully installed.\r\nExit the program."})))
      << Narrow(Log());
  EXPECT_FALSE(fs::exists(SetupFile()));
  // The wait for what the setup left running is shown only while there is one.
  const bool held = std::any_of(window_->statuses.begin(), window_->statuses.end(),
                                [](const InstallStatus& s) { return s.phase == InstallPhase::kSetupHeld; });
  EXPECT_EQ(held, GetParam().leavesACopy);

  // The installer's game began after the setup's last process ended; a game
  // that the setup started and that still runs is not started again.
  std::optional<GameStart> game;
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const GameStart& start : GameStarts()) {
          if (start.bySetup == GetParam().setupStartsTheGame) game = start;
        }
        return game.has_value();
      },
      10s));
  ASSERT_FALSE(ends.empty());
  const auto lastEnd = std::max_element(
      ends.begin(), ends.end(), [](const SetupEnd& a, const SetupEnd& b) { return a.realtimeNs < b.realtimeNs; });
  if (!GetParam().setupStartsTheGame) {
    EXPECT_GT(game->realtimeNs, lastEnd->realtimeNs) << ReadFileBytes(GameFolder() / "started.txt");
  }
  EXPECT_EQ(GameStarts().size(), 1u) << ReadFileBytes(GameFolder() / "started.txt");

  const std::vector<GameStart> starts = GameStarts();
  std::vector<pid_t> processes;
  for (const GameStart& start : starts) processes.push_back(start.pid);
  for (const SetupEnd& end : ends) processes.push_back(end.pid);
  ExpectReaped(processes);
}

INSTANTIATE_TEST_SUITE_P(Modes, SetupEndModeTest,
                         ::testing::Values(EndCase{"StartsItselfAgainAndEnds", "relaunch", 2, false, true},
                                           EndCase{"StartsItselfAgainFromAMovedFile", "relaunch-moved", 2, false, true},
                                           EndCase{"ReplacesItsFileThenInstalls", "replace", 1, false, false},
                                           EndCase{"DeletesItsFileThenInstalls", "self-delete", 1, false, false},
                                           EndCase{"StartsTheGameItInstalled", "start-game", 1, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The game a setup starts runs another file: it does not hold the installer
// back, whatever it does afterwards, and it is not started a second time.
TEST_F(SetupEndTest, AGameThatTheSetupStartedDoesNotHoldTheInstallerBack) {
  ::setenv("ZK_SETUP_MODE", "start-game", 1);
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  ::setenv("ZK_GAME_SECONDS", "30", 1);
  Install();
  ASSERT_TRUE(host_.RunUntilClosed(20s));
  EXPECT_TRUE(Log().ends_with(
      Entries({u"The setup program ended (0).", u"\r\nIt has been successfully installed.\r\nExit the program."})));
  ASSERT_TRUE(WaitUntil([&] { return !GameStarts().empty(); }, 10s));
  std::this_thread::sleep_for(500ms);  // time enough for a second start to show
  const std::vector<GameStart> starts = GameStarts();
  EXPECT_EQ(starts.size(), 1u) << "the game was started again: " << ReadFileBytes(GameFolder() / "started.txt");
  const auto setupsGame = std::find_if(starts.begin(), starts.end(), [](const GameStart& s) { return s.bySetup; });
  ASSERT_NE(setupsGame, starts.end());
  EXPECT_TRUE(IsRunning(setupsGame->pid));
  std::vector<pid_t> games;
  for (const GameStart& start : starts) {
    ::kill(start.pid, SIGTERM);
    games.push_back(start.pid);
  }
  ExpectReaped(games);
}

// A setup that ends without success, after writing its files or at once:
// no success entry, no times put back, neither the new game nor the old one
// started, and the window says so.
struct FailCase {
  const char* name;
  const char* variable;  // of the sample setup
  const char* value;
  int logged;  // the exit code in the log
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class FailedSetupTest : public SetupEndTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(FailedSetupTest, IsReportedAsAFailure) {
  // The earlier install's file, whose time a restore would put back.
  WriteFileBytes(GameFolder() / "ZKGame.exe", "old");
  WriteFileBytes(GameFolder() / "ZKGame.lst", std::to_string(kRecorded) + " 1 \\ZKGame.exe\r\n");
  ASSERT_TRUE(SetModifiedTime(GameFolder() / "ZKGame.exe", kRecorded + 3600));
  ::setenv(GetParam().variable, GetParam().value, 1);
  ::setenv("ZK_SETUP_SECONDS", "0", 1);
  Install();
  ASSERT_TRUE(host_.RunUntilClosed(20s));
  EXPECT_TRUE(
      Log().ends_with(Entries({u"Load setup file.", FormatText(u"The setup program ended (%d).", {GetParam().logged}),
                               u"The setup program failed: the installation is not complete."})))
      << Narrow(Log());
  EXPECT_EQ(host_.messageBoxes, std::vector<std::u16string>{u"The setup program failed."});
  EXPECT_EQ(window_->statuses.back().failure, InstallFailure::kSetupFailed);
  EXPECT_EQ(ModifiedTime(GameFolder() / "ZKGame.exe"), kRecorded + 3600) << "the file times were put back";
  EXPECT_FALSE(fs::exists(SetupFile()));
  std::this_thread::sleep_for(500ms);  // time enough for a game's start to show
  EXPECT_TRUE(GameStarts().empty()) << ReadFileBytes(GameFolder() / "started.txt");
}

INSTANTIATE_TEST_SUITE_P(Ends, FailedSetupTest,
                         ::testing::Values(FailCase{"ExitsWithACode", "ZK_SETUP_EXIT", "3", 3},
                                           FailCase{"IsKilled", "ZK_SETUP_SIGNAL", "9", 128 + SIGKILL},
                                           FailCase{"CrashesAtOnce", "ZK_SETUP_MODE", "crash", 128 + SIGABRT}),
                         [](const auto& info) { return std::string(info.param.name); });

// Closed while the setup runs, or while a copy it started holds its file:
// the setup is neither stopped nor waited for, its file goes at once (the
// running setup keeps it without the name), and the log says so.
struct CloseCase {
  const char* name;
  const char* mode;
  InstallPhase closeIn;  // the phase the port was told last
  std::size_t processes;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class ClosingTest : public SetupEndTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ClosingTest, WhileTheSetupRunsLogsItAndLeavesNoFile) {
  ::setenv("ZK_SETUP_MODE", GetParam().mode, 1);
  ::setenv("ZK_SETUP_SECONDS", "3", 1);
  Install();
  ASSERT_TRUE(host_.RunUntil(
      [&] { return Engine().SetupStarted() && window_->statuses.back().phase == GetParam().closeIn; }, 20s));
  host_.Send(kWmCommand, kCmdClose);
  ASSERT_TRUE(host_.RunUntilClosed(5s));
  EXPECT_FALSE(fs::exists(SetupFile())) << "the setup's file stayed";
  window_.reset();
  EXPECT_LT(SetupEnds().size(), GetParam().processes) << "the installer waited for the setup";
  EXPECT_TRUE(Log().ends_with(
      Entries({u"Load setup file.", u"The installer was closed while the setup program was still running."})))
      << Narrow(Log());
  ASSERT_TRUE(WaitUntil([&] { return SetupEnds().size() == GetParam().processes; }, 20s)) << "the setup was stopped";
  EXPECT_TRUE(fs::exists(GameFolder() / "ZKGame.lst")) << "the setup did not finish its work";
  std::vector<pid_t> processes;
  for (const SetupEnd& end : SetupEnds()) processes.push_back(end.pid);
  ExpectReaped(processes);
}

INSTANTIATE_TEST_SUITE_P(Moments, ClosingTest,
                         ::testing::Values(CloseCase{"WhileItsProcessRuns", "normal", InstallPhase::kSetupRunning, 1},
                                           CloseCase{"WhileACopyItStartedRuns", "relaunch", InstallPhase::kSetupHeld,
                                                     2}),
                         [](const auto& info) { return std::string(info.param.name); });

// A setup's file that an earlier run left behind, which nothing runs, goes
// when the installer starts.
// The setup's file, and the partial file a download leaves where the file
// system has no unnamed files.
TEST_F(SetupEndTest, TheNextStartRemovesALeftoverSetupFile) {
  const fs::path partial = SetupFile().string() + ".part";
  fs::copy_file(ZK_SAMPLE_SETUP, SetupFile());
  fs::copy_file(ZK_SAMPLE_SETUP, partial, fs::copy_options::overwrite_existing);
  StartInstaller();
  EXPECT_TRUE(host_.RunUntil([&] { return !fs::exists(SetupFile()) && !fs::exists(partial); }, 10s));
}

}  // namespace
