// The window's keyboard through the headless host: the Tab order, Space on a
// sprite button, the focus ring and a press without the mouse.
#include <gtest/gtest.h>

#include <algorithm>

#include "SelectLanguage/FocusOrder.h"
#include "SelectLanguage/InstallerDialog.h"
#include "SelectLanguage/Messages.h"
#include "platform/headless/HeadlessHost.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

TEST(FocusOrder, WalksTheListInstallAndCloseRoundPassingOverWhatIsDisabled) {
  struct Row {
    uint64_t from;
    bool backwards;
    FocusChoices enabled;
    uint64_t next;
  };
  const FocusChoices all{};
  const FocusChoices noInstall{true, false, true};
  const FocusChoices closeOnly{false, false, true};
  for (const Row& row : {
           Row{kFocusLanguage, false, all, kFocusInstall},
           Row{kFocusInstall, false, all, kFocusClose},
           Row{kFocusClose, false, all, kFocusLanguage},  // round again
           Row{kFocusLanguage, true, all, kFocusClose},
           Row{kFocusClose, true, all, kFocusInstall},
           Row{kFocusLanguage, false, noInstall, kFocusClose},
           Row{kFocusClose, true, noInstall, kFocusLanguage},
           Row{kFocusInstall, false, noInstall, kFocusClose},  // it was disabled while focused
           Row{kFocusClose, false, closeOnly, kFocusClose},
           Row{kFocusLanguage, false, closeOnly, kFocusClose},
           Row{0, false, all, kFocusLanguage},
           Row{0, true, all, kFocusClose},
       }) {
    EXPECT_EQ(NextFocus(row.from, row.backwards, row.enabled), row.next) << row.from << " " << row.backwards;
  }
}

// The window once the configuration is in, so that Install is usable.
class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox_.Start({}));
    sandbox_.ExportEnvironment();
    InstallationTimings quick;
    quick.region = {0ms, 2000ms};
    quick.settingsRetryPause = 0ms;
    dialog_ = std::make_unique<InstallerDialog>(host_, quick);
    host_.onPost = [this](uint32_t message) { posts_.push_back(message); };
    host_.Open(*dialog_);
    ASSERT_TRUE(host_.RunUntil([&] { return dialog_->Engine().Settings() != nullptr; }, 20s));
    host_.PumpPending();
    posts_.clear();
  }
  void Tabs(int count, int64_t flags = 0) {
    for (int i = 0; i < count; ++i) host_.PressKey(kKeyTab, flags);
  }
  uint16_t Shown(int x, int y) const { return host_.screen[static_cast<std::size_t>(y) * host_.screenWidth + x]; }
  // The ring's outer and inner line at a corner and in the middle of the lower edge.
  bool RingAt(int left, int top, uint16_t outer, uint16_t inner) {
    host_.Paint({0, 0, 320, 160});
    return Shown(left + 2, top + 2) == outer && Shown(left + 42, top + 27) == outer &&
           Shown(left + 3, top + 3) == inner && Shown(left + 42, top + 26) == inner;
  }

  Sandbox sandbox_;
  TempDir dir_{true};
  HeadlessHost host_;
  std::unique_ptr<InstallerDialog> dialog_;
  std::vector<uint32_t> posts_;
};

TEST_F(KeyboardTest, TabAndShiftTabWalkTheOrderAndTellTheHost) {
  EXPECT_EQ(host_.focusRequests, std::vector<uint64_t>{kFocusLanguage});  // where the window starts
  const int changes = host_.buttonsChangedCount;
  Tabs(1);
  EXPECT_TRUE(dialog_->InstallButton().IsFocused());
  Tabs(1);
  EXPECT_TRUE(dialog_->CloseButton().IsFocused());
  EXPECT_FALSE(dialog_->InstallButton().IsFocused());
  Tabs(1);
  Tabs(1, kKeyShifted);
  EXPECT_EQ(host_.focusRequests,
            (std::vector<uint64_t>{kFocusLanguage, kFocusInstall, kFocusClose, kFocusLanguage, kFocusClose}));
  EXPECT_EQ(host_.buttonsChangedCount, changes + 4);  // one notice a move
  // A host that moved the focus itself: the window follows and asks nothing.
  EXPECT_EQ(host_.Send(kWmSetFocus, kFocusInstall), 1);
  EXPECT_EQ(dialog_->Focus(), kFocusInstall);
  EXPECT_EQ(host_.focusRequests.size(), 5u);
  const std::vector<ButtonState> buttons = dialog_->Buttons();
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(buttons[0].name, u"Install");
  EXPECT_EQ(buttons[1].name, u"Close");
  EXPECT_TRUE(buttons[0].focused && buttons[0].enabled && !buttons[1].focused);
  EXPECT_EQ(buttons[1].place.left, 219);
  EXPECT_EQ(buttons[1].place.right, 219 + 85);
}

// Space and the mouse give the same frame, notification and command.
class PressTest : public KeyboardTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PressTest, SpacePressesTheFocusedButtonAsAClickDoes) {
  const bool keyboard = GetParam();
  if (keyboard) {
    Tabs(1);
    host_.PressKey(kKeySpace);
    host_.PressKey(kKeySpace);  // the key's repeat
  } else {
    host_.Send(kWmLButtonDown, 1, PackPoint(150, 120));
  }
  EXPECT_EQ(dialog_->InstallButton().CurrentFrame(), 3);  // pressed
  EXPECT_EQ(posts_, std::vector<uint32_t>{kWmCommand});   // the press notification
  keyboard ? host_.ReleaseKey(kKeySpace) : void(host_.Send(kWmLButtonUp, 0, PackPoint(150, 120)));
  EXPECT_FALSE(dialog_->InstallButton().IsEnabled());  // the install command ran: the download was asked for
  host_.ReleaseKey(kKeySpace);                         // a disabled button takes nothing
  // The download's worker posts too; no button notified again.
  EXPECT_EQ(std::count(posts_.begin(), posts_.end(), kWmCommand), 1);
}

INSTANTIATE_TEST_SUITE_P(MouseAndKeyboard, PressTest, ::testing::Bool());

TEST_F(KeyboardTest, SpaceOnCloseClosesAndTheListKeepsItsKeys) {
  EXPECT_EQ(host_.Send(kWmKeyDown, kKeySpace), 0);  // the list has the focus
  Tabs(2);
  host_.PressKey(kKeySpace);
  EXPECT_FALSE(host_.IsEnded());
  host_.ReleaseKey(kKeySpace);
  host_.PumpPending();
  EXPECT_TRUE(host_.IsEnded());
}

struct RingRow {
  int tabs;  // 1: Install, 2: Close
  ContrastColors contrast;
  uint16_t outer, inner;  // the ring's page pixels
};
class RingTest : public KeyboardTest, public ::testing::WithParamInterface<RingRow> {};

TEST_P(RingTest, TheRingShowsOnTheFocusedButtonOnly) {
  const RingRow& row = GetParam();
  host_.contrast = row.contrast;
  Tabs(row.tabs);
  EXPECT_EQ(RingAt(121, 109, row.outer, row.inner), row.tabs == 1);
  EXPECT_EQ(RingAt(219, 109, row.outer, row.inner), row.tabs == 2);
  Tabs(3 - row.tabs);  // back on the list: no ring anywhere
  EXPECT_FALSE(RingAt(121, 109, row.outer, row.inner) || RingAt(219, 109, row.outer, row.inner));
  // High contrast also gives the status line the system's colours.
  EXPECT_EQ(dialog_->OnCtlColor(kCtlColorStatic).text, row.contrast.active ? 0xFFFFFFu : 0x000000u);
}

INSTANTIATE_TEST_SUITE_P(Colours, RingTest,
                         ::testing::Values(RingRow{1, {}, 0x03FF, 0x03FF}, RingRow{2, {}, 0x03FF, 0x03FF},
                                           RingRow{1, {true, 0xFFFFFF, 0x000000, 0xFFFF00}, 0x7FE0, 0x7FFF}));

TEST_F(KeyboardTest, AnActivationSendsTheCommandWithoutAPress) {
  EXPECT_EQ(host_.Send(kWmButtonClick, kCmdInstall), 1);
  EXPECT_EQ(std::count(posts_.begin(), posts_.end(), kWmCommand), 0);  // no press notification (the worker posts)
  EXPECT_FALSE(dialog_->InstallButton().IsEnabled());
  EXPECT_EQ(host_.Send(kWmButtonClick, kCmdInstall), 0);  // disabled now
  EXPECT_EQ(host_.Send(kWmButtonClick, 1234), 0);
  Tabs(1);  // Install is passed over
  EXPECT_EQ(dialog_->Focus(), kFocusClose);
  EXPECT_EQ(host_.Send(kWmButtonClick, kCmdClose), 1);
  host_.PumpPending();
  EXPECT_TRUE(host_.IsEnded());
}

}  // namespace
