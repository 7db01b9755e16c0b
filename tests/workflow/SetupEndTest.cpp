// When the setup program has ended: setups whose started process ends before
// the installation does (a copy of itself, a moved copy, a replaced or
// removed file, a game that they start), and the installer closed while a
// setup runs. Each run is a re-install: the registry already names the game's
// folder and an older game lies there, so an installer that finished early
// would report success and start the old game.
#include <algorithm>
#include <csignal>
#include <thread>

#include "SelectLanguage/Messages.h"
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
                         ::testing::Values(EndCase{"StartsItselfAgainAndEnds", "relaunch", 2, false},
                                           EndCase{"StartsItselfAgainFromAMovedFile", "relaunch-moved", 2, false},
                                           EndCase{"ReplacesItsFileThenInstalls", "replace", 1, false},
                                           EndCase{"DeletesItsFileThenInstalls", "self-delete", 1, false},
                                           EndCase{"StartsTheGameItInstalled", "start-game", 1, true}),
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

TEST_F(SetupEndTest, ClosingWhileTheSetupRunsNeitherStopsNorWaitsForIt) {
  ::setenv("ZK_SETUP_SECONDS", "3", 1);
  Install();
  ASSERT_TRUE(host_.RunUntil([&] { return Engine().SetupStarted(); }, 20s));
  host_.Send(kWmCommand, kCmdClose);
  ASSERT_TRUE(host_.RunUntilClosed(5s));
  window_.reset();
  EXPECT_TRUE(SetupEnds().empty()) << "the installer waited for the setup";
  ASSERT_TRUE(WaitUntil([&] { return !SetupEnds().empty(); }, 20s)) << "the setup was stopped";
  EXPECT_TRUE(fs::exists(SetupFile()));  // its file stays
  EXPECT_EQ(Log().find(u"The setup program ended"), std::u16string::npos);
  ExpectReaped({SetupEnds().front().pid});
}

}  // namespace
