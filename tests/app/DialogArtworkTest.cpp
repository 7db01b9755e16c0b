// The window's artwork and its two sprite buttons, through the headless host.
#include <gtest/gtest.h>

#include "SelectLanguage/InstallerDialog.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/WindowLayout.h"
#include "platform/headless/HeadlessHost.h"
#include "sprite/SpriteDraw.h"
#include "sprite/SpriteSet.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

class ArtworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox_.Start({}));
    sandbox_.ExportEnvironment();
    InstallationTimings quick;
    quick.region = {0ms, 2000ms};
    quick.settingsRetryPause = 0ms;
    dialog_ = std::make_unique<InstallerDialog>(host_, quick);
    host_.Open(*dialog_);
    // The configuration, which makes the install button usable.
    ASSERT_TRUE(host_.RunUntil([&] { return dialog_->Engine().Settings() != nullptr; }, 20s));
  }
  void Paint() { host_.Paint({0, 0, 320, 160}); }
  // What the window shows at (x, y) after a paint.
  uint16_t Shown(int x, int y) const { return host_.screen[static_cast<std::size_t>(y) * host_.screenWidth + x]; }
  int64_t Mouse(uint32_t message, int x, int y) { return host_.Send(message, 0, PackPoint(x, y)); }
  // The button's frame as the window shows it: compare with the sprite's own pixels.
  bool ShowsFrame(int left, int top, int sprite) {
    Paint();
    // Draw the frame alone and compare its middle row with the screen.
    xSprite& set = WindowSprites();
    const int w = set.GetWidth(sprite);
    SpritePage probe;
    probe.Create(w, set.GetHeight(sprite), 16);
    PutSprAuto(probe, 0, 0, &set, sprite, 0, 0, 0);
    for (int x = 2; x < w - 2; ++x) {
      if (Shown(left + x, top + 15) != probe.Pixels()[15 * probe.Pitch() + x]) return false;
    }
    return true;
  }

  Sandbox sandbox_;
  TempDir dir_{true};
  HeadlessHost host_;
  std::unique_ptr<InstallerDialog> dialog_;
};

TEST_F(ArtworkTest, TheWindowIsSizedToTheBackground) {
  EXPECT_EQ(host_.clientWidth, 320);
  EXPECT_EQ(host_.clientHeight, 160);
  EXPECT_EQ(dialog_->Page().Width(), 330);
  EXPECT_EQ(dialog_->Page().Height(), 170);
  EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "mto.mto"));
}

TEST_F(ArtworkTest, APaintShowsBackgroundAndButtonsInOneCopy) {
  const int before = host_.copyCount;
  Paint();
  EXPECT_EQ(host_.copyCount, before + 1);
  ASSERT_EQ(host_.screenWidth, 330);
  EXPECT_TRUE(ShowsFrame(121, 109, 1));  // install, normal
  EXPECT_TRUE(ShowsFrame(219, 109, 5));  // close, normal
}

TEST_F(ArtworkTest, TheControlsKeepTheirDesignedWidthInsideTheArtwork) {
  for (const int id : {kComboLanguage, kProgressBar}) {
    EXPECT_EQ(host_.controlWidths[id], 192) << id;  // 110 dialog units in the template font's 7-pixel cell
    EXPECT_LE(host_.controlPositions[id].first + host_.controlWidths[id], host_.clientWidth) << id;
  }
}

TEST(ControlWidthOverArtwork, StopsAtTheArtworksRightEdge) {
  EXPECT_EQ(ControlWidthOverArtwork(115, 110, 320), 192);
  EXPECT_EQ(ControlWidthOverArtwork(115, 110, 307), 192);  // ends exactly at the edge
  EXPECT_EQ(ControlWidthOverArtwork(115, 110, 300), 185);
  EXPECT_EQ(ControlWidthOverArtwork(115, 110, 116), 1);
  // No artwork right of the control (it did not load): no edge to keep to.
  EXPECT_EQ(ControlWidthOverArtwork(115, 110, 115), 192);
  EXPECT_EQ(ControlWidthOverArtwork(115, 110, 0), 192);
}

TEST_F(ArtworkTest, HoverAndPressChangeTheFrameAtTheNextPaint) {
  const int repaints = host_.invalidateCount;
  Mouse(kWmMouseMove, 150, 120);
  EXPECT_EQ(host_.invalidateCount, repaints + 1);  // asked for at once, not at the next tick
  Mouse(kWmMouseMove, 151, 121);
  EXPECT_EQ(host_.invalidateCount, repaints + 1);  // same frame: no repaint
  EXPECT_TRUE(ShowsFrame(121, 109, 2));
  Mouse(kWmLButtonDown, 150, 120);
  EXPECT_TRUE(ShowsFrame(121, 109, 3));
  Mouse(kWmMouseMove, 10, 10);  // moving off cancels the press
  EXPECT_TRUE(ShowsFrame(121, 109, 1));
  EXPECT_TRUE(host_.drags.empty());
}

TEST_F(ArtworkTest, AClickOnCloseClosesTheWindow) {
  Mouse(kWmMouseMove, 250, 120);
  EXPECT_EQ(Mouse(kWmLButtonDown, 250, 120), 1);
  EXPECT_EQ(Mouse(kWmLButtonUp, 250, 120), 1);
  host_.PumpPending();
  EXPECT_TRUE(host_.IsEnded());
}

TEST_F(ArtworkTest, AClickOnInstallDisablesIt) {
  EXPECT_EQ(Mouse(kWmLButtonDown, 121 + 85, 109 + 30), 1);  // the far corner is still on the button
  EXPECT_EQ(Mouse(kWmLButtonUp, 121 + 85, 109 + 30), 1);
  EXPECT_FALSE(dialog_->InstallButton().IsEnabled());
  EXPECT_TRUE(ShowsFrame(121, 109, 4));           // the disabled frame
  EXPECT_EQ(Mouse(kWmLButtonDown, 150, 120), 0);  // a disabled button takes nothing: the window drags
  EXPECT_EQ(host_.drags.size(), 1u);
}

}  // namespace
