// The main window through the headless host: start-up, keys, menu, mouse and
// every way of closing it.
#include <gtest/gtest.h>

#include "SelectLanguage/InstallerApp.h"
#include "SelectLanguage/InstallerDialog.h"
#include "SelectLanguage/Messages.h"
#include "net/Text.h"
#include "platform/headless/HeadlessHost.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

// The window with every service answering at once, so start-up is quick and
// the configuration loads.
class DialogTest : public ::testing::Test {
 protected:
  static InstallationTimings Quick() {
    InstallationTimings timings;
    timings.region = {0ms, 2000ms};
    timings.settingsRetryPause = 0ms;
    return timings;
  }
  Sandbox sandbox_;
  bool started_ = [this] {
    const bool ok = sandbox_.Start({});
    if (ok) sandbox_.ExportEnvironment();
    return ok;
  }();
  TempDir dir_{true};
  HeadlessHost host_;
  InstallerDialog dialog_{host_, Quick()};
};

TEST_F(DialogTest, StartUpFillsTheWindow) {
  ASSERT_TRUE(started_);
  host_.Open(dialog_);
  EXPECT_EQ(host_.comboItems,
            (std::vector<std::u16string>{u"English", u"简体中文", u"繁體中文", u"Россия", u"日本語"}));
  EXPECT_EQ(host_.comboSelection, 0);
  EXPECT_FALSE(host_.progressVisible);
  EXPECT_EQ(host_.aboutItem, u"ZK Zirod Installer 정보(&A)...");
  EXPECT_GT(host_.iconBytes, 0u);
  EXPECT_EQ(host_.controlPositions[kComboLanguage], std::make_pair(115, 59));
  EXPECT_EQ(host_.controlPositions[kProgressBar], std::make_pair(115, 85));
  EXPECT_EQ(host_.centreCount, 1);
  EXPECT_EQ(host_.RunningTimers(), (std::map<uint32_t, uint32_t>{{kTimerSetupWait, 2000}, {kTimerStatus, 250}}));

  const auto log = [&] {
    const std::string bytes = ReadFileBytes(dir_.Path() / "ZK_Progress_Installer.log");
    return std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
  };
  // The window is up before the region services hear a word: the lookup
  // starts with the first posted message, which a host runs once it shows.
  EXPECT_EQ(log(), u"\uFEFFThe program has been executed.\r\n\r\n");
  EXPECT_FALSE(sandbox_.LastRequest("region").received);
  // The region, then the configuration, off the window's thread.
  EXPECT_FALSE(dialog_.InstallButton().IsEnabled());
  ASSERT_TRUE(host_.RunUntil([&] { return dialog_.Engine().Settings() != nullptr; }, 20s));
  EXPECT_TRUE(dialog_.InstallButton().IsEnabled());
  ASSERT_TRUE(host_.RunUntil([&] { return host_.statusTexts.size() >= 2; }, 1s));
  EXPECT_EQ(host_.statusTexts, (std::vector<std::u16string>{u"Connecting…", u"Choose a language and press Install."}));
  EXPECT_EQ(log(),
            u"\uFEFFThe program has been executed.\r\n\r\n\uFEFFYour CODE(1 - MAIN).\r\n\uFEFFGame "
            u"settings file was successfully downloaded(1).\r\n");
  EXPECT_FALSE(host_.IsEnded());
}

// The download's figures move the bar and lock the language list; a figure
// without a total never gives the bar an empty range; the setup's start
// hides the bar again.
TEST_F(DialogTest, TheBarShowsTheDownload) {
  host_.Open(dialog_);
  host_.Send(kMsgDownloadProgress, 5, 0);
  EXPECT_TRUE(host_.comboEnabled);
  EXPECT_TRUE(host_.progressRanges.empty());
  host_.Send(kMsgDownloadProgress, 5, 10);
  EXPECT_FALSE(host_.comboEnabled);
  EXPECT_TRUE(host_.progressVisible);
  EXPECT_EQ(host_.progressRanges, std::vector<uint64_t>{10});
  EXPECT_EQ(host_.progressPositions, std::vector<uint64_t>{5});
  host_.Send(kMsgSetupDownloaded);  // nothing was downloaded: the setup cannot start
  EXPECT_FALSE(host_.progressVisible);
}

TEST_F(DialogTest, EscapeAndEnterDoNothing) {
  host_.Open(dialog_);
  host_.PressKey(kKeyEscape);
  host_.PressKey(kKeyReturn);
  host_.PumpPending();
  EXPECT_FALSE(host_.IsEnded());
  EXPECT_FALSE(dialog_.PreTranslateMessage({kWmKeyDown, 'A', 0, {}}));
  EXPECT_FALSE(dialog_.PreTranslateMessage({kWmMouseMove, kKeyEscape, 0, {}}));
}

TEST_F(DialogTest, CloseCommandPostsCloseAndEndsTheWindow) {
  host_.Open(dialog_);
  EXPECT_EQ(host_.Send(kWmCommand, kCmdClose), 1);
  EXPECT_FALSE(host_.IsEnded());  // posted, not yet handled
  host_.PumpPending();
  EXPECT_TRUE(host_.IsEnded());
  EXPECT_TRUE(dialog_.IsClosed());
  // After the close the window refuses all work.
  EXPECT_EQ(host_.Send(kWmCommand, kCmdInstall), 0);
}

TEST_F(DialogTest, SystemMenuCloseEndsTheWindow) {
  host_.Open(dialog_);
  host_.Post(kWmClose, 0, 0);
  EXPECT_TRUE(host_.RunUntilClosed(1000ms));
}

TEST_F(DialogTest, CommandsAreComparedWhole) {
  host_.Open(dialog_);
  EXPECT_EQ(host_.Send(kWmCommand, (uint64_t{1} << 16) | kCmdClose), 0);  // a notification, not the command
  EXPECT_EQ(host_.Send(kWmCommand, kCmdButtonPressed), 0);
  host_.PumpPending();
  EXPECT_FALSE(host_.IsEnded());
}

TEST_F(DialogTest, AboutItemRunsTheAboutBox) {
  host_.Open(dialog_);
  host_.Send(kWmSysCommand, kSysCmdAbout | 0x3);  // the low four bits do not count
  EXPECT_EQ(host_.aboutBoxCount, 1);
  host_.Send(kWmSysCommand, 0xF060);  // another system command: not ours
  EXPECT_EQ(host_.aboutBoxCount, 1);
}

TEST_F(DialogTest, PressOnTheBackgroundDragsTheWindow) {
  host_.Open(dialog_);
  host_.Send(kWmLButtonDown, 1, PackPoint(10, 20));
  ASSERT_EQ(host_.drags.size(), 1u);
  EXPECT_EQ(host_.drags[0], std::make_pair(10, 20));
}

TEST_F(DialogTest, ColoursAreBlackOnWhiteForTheDialogAndLabels) {
  for (int kind : {kCtlColorDialog, kCtlColorStatic}) {
    const ControlColors c = dialog_.OnCtlColor(kind);
    EXPECT_TRUE(c.overridden);
    EXPECT_EQ(c.text, 0x000000u);
    EXPECT_EQ(c.background, 0xFFFFFFu);
  }
  EXPECT_FALSE(dialog_.OnCtlColor(1).overridden);
  EXPECT_TRUE(dialog_.OnQueryDragIcon().empty());
}

TEST(InstallerApp, RunsTheWindowUntilItCloses) {
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.Start({}));
  sandbox.ExportEnvironment();
  TempDir dir(true);
  HeadlessHost host;
  host.Post(kWmCommand, kCmdClose, 0);  // queued before the loop starts
  EXPECT_FALSE(InstallerApp().InitInstance(host));
  EXPECT_TRUE(host.IsEnded());
}

}  // namespace
