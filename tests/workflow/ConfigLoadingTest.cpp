// The window while the configuration loads on its worker: it keeps ticking,
// Install does nothing until the configuration is in, and a close ends the
// window at once, whatever the try or the pause in hand.
#include "SelectLanguage/Messages.h"
#include <thread>

#include "SelectLanguage/WorkerThread.h"
#include "tests/workflow/WorkflowFixture.h"

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

class ConfigLoadingTest : public WorkflowTest {
 protected:
  static std::u16string StartUpEntries() {
    return Entries({u"The program has been executed.\r\n", u"Your CODE(1 - MAIN)."});
  }
};

TEST_F(ConfigLoadingTest, AStalledServerLeavesTheWindowTickingAndAClosePromptlyEndsIt) {
  ASSERT_TRUE(StartSandbox({"--fault", "config=stalled"}));
  OpenInstaller();
  const auto start = Clock::now();
  host_.PumpPending();  // message 2028: the tries start
  EXPECT_LT(Clock::now() - start, 1s) << "the configuration's tries held the window's thread";

  // The 2 s timer keeps repainting while the first try waits on the server.
  const int repaints = host_.invalidateCount;
  EXPECT_TRUE(host_.RunUntil([&] { return host_.invalidateCount > repaints; }, 3s)) << "no timer tick arrived";
  EXPECT_FALSE(window_->installEnabled);

  host_.Post(kWmClose, 0, 0);
  ASSERT_TRUE(host_.RunUntilClosed(500ms));
  const auto closed = Clock::now();
  window_.reset();  // what the program does next: the window goes
  EXPECT_LT(Clock::now() - closed, 2s) << "the abandoned try held up the window's end";
  // Nothing came of the abandoned try: no log entry and no box.
  EXPECT_EQ(Log(), StartUpEntries());
  EXPECT_TRUE(host_.messageBoxes.empty());
}

TEST_F(ConfigLoadingTest, InstallDoesNothingUntilTheConfigurationIsIn) {
  ASSERT_TRUE(StartSandbox({"--fault", "config=stalled"}));
  OpenInstaller();
  // Before message 2028 and while the first try stalls.
  EXPECT_EQ(host_.Send(kWmCommand, kCmdInstall), 1);
  host_.PumpPending();
  host_.Send(kWmCommand, kCmdInstall);
  host_.RunUntil([] { return false; }, 300ms);
  EXPECT_FALSE(host_.IsEnded());
  EXPECT_FALSE(window_->installEnabled);
  EXPECT_EQ(Log(), StartUpEntries()) << "no install was attempted";
  EXPECT_TRUE(sandbox_.LastRequest("files").path.empty()) << "nothing was downloaded";

  // The server recovers: the stalled try fails, the next one loads, and the
  // button becomes usable.
  ASSERT_TRUE(sandbox_.SetFault("config", "ok"));
  ASSERT_TRUE(ConfigurationLoaded());
  EXPECT_TRUE(window_->installEnabled);
  EXPECT_EQ(Log(), StartUpEntries() + Entries({u"Game settings file download failed(1).",
                                               u"Game settings file was successfully downloaded(0)."}));
  host_.Send(kWmCommand, kCmdInstall);
  ASSERT_TRUE(host_.RunUntil([&] { return Engine().SetupStarted(); }, 20s));
  EXPECT_TRUE(Log().ends_with(Entries({u"Attempt to install game(0).", u"Install the game(0).", u"Load setup file."})));
  ASSERT_TRUE(host_.RunUntilClosed(20s));
}

// Neither region service answers: a close in a lookup's request or in the
// pause after it ends the window at once, and nothing is logged after the
// first entry, then or later.
TEST_F(ConfigLoadingTest, ACloseEndsTheRegionLookupAtOnce) {
  ASSERT_TRUE(StartSandbox({"--fault", "region=stalled", "--fault", "clientip=stalled"}));
  for (const auto inLookup : {300ms, 2500ms}) {  // in the first request; in the 3 s pause after it
    SCOPED_TRACE(inLookup.count());
    HeadlessHost host;
    auto window = std::make_unique<TestWindow>(host, InstallationTimings{{3000ms, 2000ms}, 0ms});
    host.Open(*window);
    host.RunUntil([] { return false; }, inLookup);
    ASSERT_TRUE(sandbox_.LastRequest("region").received);
    const auto closed = Clock::now();
    host.Post(kWmClose, 0, 0);
    ASSERT_TRUE(host.RunUntilClosed(500ms));
    window.reset();
    EXPECT_LT(Clock::now() - closed, 2s);
    std::this_thread::sleep_for(2500ms);  // past the lookup's limit and its pause
    EXPECT_EQ(Log(), Entries({u"The program has been executed.\r\n"}));
  }
}

TEST_F(ConfigLoadingTest, AClosePutsAnEndToThePauseBetweenTries) {
  StartInstaller({"--fault", "config=404"}, 3000ms);
  host_.PumpPending();
  // The first try has its answer; the 3 s pause runs.
  ASSERT_TRUE(host_.RunUntil([&] { return !sandbox_.LastRequest("config").path.empty(); }, 5s));
  host_.RunUntil([] { return false; }, 300ms);
  const int running = WorkerThread::Running();
  host_.Post(kWmClose, 0, 0);
  ASSERT_TRUE(host_.RunUntilClosed(500ms));
  window_.reset();
  EXPECT_LT(WorkerThread::Running(), running) << "the worker was let go in its pause instead of ending";
  EXPECT_EQ(Log(), StartUpEntries()) << "the failure of a try is logged only after its pause";
}

}  // namespace
