// The sprite button: hit test, press/move/release rules, the commands its
// owner receives, and the frame it draws.
#include <gtest/gtest.h>

#include <vector>

#include "sprite/SpritePage.h"
#include "sprite/SpriteSet.h"
#include "widgets/SpriteButton.h"

namespace {

// Records what the button delivers, as the owner window would receive it.
class FakeOwner : public ButtonOwner {
 public:
  bool IsLiveWindow() const override { return live; }
  void PostCommand(uint32_t wParam) override { posted.push_back(wParam); }
  void SendCommand(uint32_t wParam) override {
    sent.push_back(wParam);
    if (onSend) onSend();
  }
  bool live = true;
  std::vector<uint32_t> posted, sent;
  std::function<void()> onSend;
};

// Sprite i is a 5 x 4 block of colour 0x100 + i, so the drawn frame can be
// read back from the page.
class SpriteButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 6; ++i)
      ASSERT_EQ(set.InsertSprite(i, 5, 4, std::vector<uint16_t>(20, static_cast<uint16_t>(0x100 + i)), 0x7C1F, 1), 1);
    ASSERT_EQ(page.Create(40, 30, 16), 1);
    button.Create(&owner, &page, 10, 20, &set, 1, 2030, 4);
  }
  int DrawnFrame() {
    page.FillRect(0, 0, 39, 29, 0);
    button.Draw(0, 0);
    const uint32_t v = page.GetPixel(12, 22);
    return v == 0 ? -1 : static_cast<int>(v) - 0x100;
  }
  xSprite set;
  SpritePage page;
  FakeOwner owner;
  SpriteButton button;
};

}  // namespace

TEST_F(SpriteButtonTest, EdgesAreInclusive) {
  EXPECT_EQ(button.Width(), 5);
  EXPECT_EQ(button.Height(), 4);
  for (auto [x, y] : {std::pair{10, 20}, {15, 20}, {10, 24}, {15, 24}}) EXPECT_EQ(button.OnMouseMove(x, y), 1);
  for (auto [x, y] : {std::pair{9, 20}, {16, 20}, {10, 19}, {10, 25}}) EXPECT_EQ(button.OnMouseMove(x, y), 0);
}

TEST_F(SpriteButtonTest, ClickPostsOnPressAndSendsOnRelease) {
  EXPECT_EQ(button.OnLButtonDown(12, 21), 1);
  EXPECT_EQ(owner.posted, std::vector<uint32_t>{kButtonPressNotification});
  EXPECT_TRUE(owner.sent.empty());
  EXPECT_EQ(button.OnMouseMove(13, 22), 1);  // moving on the button keeps the press
  EXPECT_EQ(button.OnLButtonUp(15, 24), 1);
  EXPECT_EQ(owner.sent, std::vector<uint32_t>{2030});
  EXPECT_EQ(owner.posted.size(), 1u);
  EXPECT_FALSE(button.IsPressed());
  EXPECT_FALSE(button.IsHovered());          // hover comes back only with the next move
  EXPECT_EQ(button.OnLButtonUp(15, 24), 0);  // a second release is no click
  EXPECT_EQ(owner.sent.size(), 1u);
}

TEST_F(SpriteButtonTest, SentCommandRunsBeforeReleaseReturns) {
  bool pressedDuringSend = true;
  owner.onSend = [&] { pressedDuringSend = button.IsPressed(); };
  button.OnLButtonDown(11, 21);
  button.OnLButtonUp(11, 21);
  ASSERT_EQ(owner.sent.size(), 1u);
  EXPECT_FALSE(pressedDuringSend);
}

TEST_F(SpriteButtonTest, MovingOffCancelsThePress) {
  ASSERT_EQ(button.OnLButtonDown(12, 21), 1);
  EXPECT_EQ(button.OnMouseMove(30, 5), 0);
  EXPECT_FALSE(button.IsPressed());
  EXPECT_EQ(button.OnMouseMove(12, 21), 1);  // back on: the press is not restored
  EXPECT_EQ(button.OnLButtonUp(12, 21), 0);
  EXPECT_TRUE(owner.sent.empty());
}

TEST_F(SpriteButtonTest, ReleasesThatDoNotCompleteAClick) {
  EXPECT_EQ(button.OnLButtonDown(0, 0), 0);  // press began elsewhere
  EXPECT_TRUE(owner.posted.empty());
  EXPECT_EQ(button.OnLButtonUp(12, 21), 0);
  ASSERT_EQ(button.OnLButtonDown(12, 21), 1);
  EXPECT_EQ(button.OnLButtonUp(16, 21), 0);  // released off the button
  EXPECT_FALSE(button.IsPressed());
  EXPECT_TRUE(owner.sent.empty());
}

TEST_F(SpriteButtonTest, DeadOrMissingOwnerSuppressesMessagesOnly) {
  owner.live = false;
  EXPECT_EQ(button.OnLButtonDown(12, 21), 1);
  EXPECT_EQ(button.OnLButtonUp(12, 21), 1);
  EXPECT_TRUE(owner.posted.empty());
  EXPECT_TRUE(owner.sent.empty());
  SpriteButton orphan;
  orphan.Create(nullptr, &page, 0, 0, &set, 1, 7, 4);
  EXPECT_EQ(orphan.OnLButtonDown(1, 1), 1);
  EXPECT_EQ(orphan.OnLButtonUp(1, 1), 1);
}

TEST_F(SpriteButtonTest, DrawsTheFrameOfEachState) {
  EXPECT_EQ(DrawnFrame(), 1);
  button.OnMouseMove(12, 21);
  EXPECT_EQ(DrawnFrame(), 2);
  button.OnLButtonDown(12, 21);
  EXPECT_EQ(DrawnFrame(), 3);  // pressed wins over hover
  button.Enable(0);
  EXPECT_FALSE(button.IsPressed());
  EXPECT_FALSE(button.IsHovered());
  EXPECT_EQ(DrawnFrame(), 4);
  button.Enable(1);
  EXPECT_EQ(DrawnFrame(), 1);
}

TEST_F(SpriteButtonTest, DisabledIgnoresInputAndFewFramesDrawNormal) {
  button.Enable(0);
  EXPECT_EQ(button.OnMouseMove(12, 21), 0);
  EXPECT_EQ(button.OnLButtonDown(12, 21), 0);
  EXPECT_EQ(button.OnLButtonUp(12, 21), 0);
  EXPECT_TRUE(owner.posted.empty());
  SpriteButton twoFrames;
  twoFrames.Create(&owner, &page, 10, 20, &set, 1, 9, 2);
  twoFrames.Enable(0);
  EXPECT_EQ(twoFrames.CurrentFrame(), 1);
}

TEST_F(SpriteButtonTest, UncreatedOrEmptySetButtonsAreInert) {
  SpriteButton inert;
  EXPECT_EQ(inert.OnMouseMove(0, 0), 0);
  EXPECT_EQ(inert.OnLButtonDown(0, 0), 0);
  EXPECT_EQ(inert.OnLButtonUp(0, 0), 0);
  page.FillRect(0, 0, 39, 29, 0);
  inert.Draw(0, 0);
  EXPECT_EQ(page.GetPixel(0, 0), 0u);

  xSprite empty;
  SpriteButton tiny;
  tiny.Create(&owner, &page, 3, 3, &empty, 1, 5, 4);
  EXPECT_EQ(tiny.Width(), 0);
  EXPECT_EQ(tiny.OnLButtonDown(3, 3), 1);  // the active area is the one pixel
  EXPECT_EQ(tiny.OnLButtonDown(4, 3), 0);
  SpriteButton beyond;  // a frame the set does not hold draws nothing
  beyond.Create(&owner, &page, 10, 20, &set, 5, 1, 4);
  beyond.OnMouseMove(11, 21);
  page.FillRect(0, 0, 39, 29, 0);
  beyond.Draw(0, 0);
  EXPECT_EQ(page.GetPixel(12, 22), 0u);
}
