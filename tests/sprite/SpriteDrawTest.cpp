// PutSprAuto: refusals, clipping, transparency, placement and mirroring.
#include <gtest/gtest.h>

#include "sprite/SpriteDraw.h"
#include "sprite/SpritePage.h"
#include "sprite/SpriteSet.h"

namespace {

constexpr uint16_t K = 0x7C1F;
constexpr uint16_t kBackground = 0x0155;

// A 4 x 3 sprite whose pixel at (x, y) is 0x100 + 16 y + x, with the key at
// (0, 0) and (3, 2).
std::vector<uint16_t> Pattern() {
  std::vector<uint16_t> p(12);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) p[y * 4 + x] = static_cast<uint16_t>(0x100 + 16 * y + x);
  p[0] = K, p[11] = K;
  return p;
}
uint16_t At(int x, int y) { return static_cast<uint16_t>(0x100 + 16 * y + x); }

class SpriteDraw : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_EQ(set.CreateFromPixels(4, 3, Pattern(), K, /*compress=*/GetParam() ? 1 : 0), 1);
    ASSERT_EQ(page.Create(8, 6, 16), 1);
    page.FillRect(0, 0, 7, 5, kBackground);
  }
  uint16_t Px(int x, int y) const { return static_cast<uint16_t>(page.GetPixel(x, y)); }
  // The page must equal the background except where `expect` says.
  template <typename F>
  void ExpectPage(F expect) {
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) ASSERT_EQ(Px(x, y), expect(x, y)) << "at " << x << "," << y;
  }
  xSprite set;
  SpritePage page;
};

}  // namespace

TEST_P(SpriteDraw, CopiesAndKeepsTheKeyOffThePage) {
  ASSERT_EQ(PutSprAuto(page, 2, 1, &set, 0, 0, 0, 0), 1);
  ExpectPage([](int x, int y) -> uint16_t {
    const int sx = x - 2, sy = y - 1;
    if (sx < 0 || sy < 0 || sx >= 4 || sy >= 3) return kBackground;
    if ((sx == 0 && sy == 0) || (sx == 3 && sy == 2)) return kBackground;  // key pixels
    return At(sx, sy);
  });
}

TEST_P(SpriteDraw, ClipsAtNegativeAndOffPagePositions) {
  ASSERT_EQ(PutSprAuto(page, -2, -1, &set, 0, 0, 0, 0), 1);
  ASSERT_EQ(PutSprAuto(page, 6, 4, &set, 0, 0, 0, 0), 1);
  ExpectPage([](int x, int y) -> uint16_t {
    if (x < 2 && y < 2) return (x == 1 && y == 1) ? kBackground : At(x + 2, y + 1);
    if (x >= 6 && y >= 4) return (x == 6 && y == 4) ? kBackground : At(x - 6, y - 4);
    return kBackground;
  });
  // Wholly off the page: nothing drawn, not a failure.
  EXPECT_EQ(PutSprAuto(page, 100, 0, &set, 0, 0, 0, 0), 1);
  EXPECT_EQ(PutSprAuto(page, 0, -3, &set, 0, 0, 0, 0), 1);
  EXPECT_EQ(PutSprAuto(page, INT32_MIN, INT32_MAX, &set, 0, 0, 0, 0), 1);
}

TEST_P(SpriteDraw, HonoursTheClipRectangle) {
  page.SetClip(3, 2, 4, 2);
  page.EnableClip(1);
  ASSERT_EQ(PutSprAuto(page, 2, 1, &set, 0, 0, 0, 0), 1);
  ExpectPage([](int x, int y) -> uint16_t { return (y == 2 && (x == 3 || x == 4)) ? At(x - 2, 1) : kBackground; });
}

TEST_P(SpriteDraw, MirrorsLeftRightAndTopBottom) {
  if (!GetParam()) {
    // Raw sprites take the colour-keyed copy whatever the mirror bits say.
    ASSERT_EQ(PutSprAuto(page, 0, 0, &set, 0, kOptMirrorX | kOptMirrorY, 0, 0), 1);
    EXPECT_EQ(Px(0, 0), kBackground);
    EXPECT_EQ(Px(3, 0), At(3, 0));
    return;
  }
  ASSERT_EQ(PutSprAuto(page, 0, 0, &set, 0, kOptMirrorX, 0, 0), 1);
  EXPECT_EQ(Px(0, 0), At(3, 0));
  EXPECT_EQ(Px(3, 0), kBackground);  // the key at (0, 0) landed here
  EXPECT_EQ(Px(0, 2), kBackground);
  page.FillRect(0, 0, 7, 5, kBackground);
  ASSERT_EQ(PutSprAuto(page, 0, 0, &set, 0, kOptMirrorY, 0, 0), 1);
  EXPECT_EQ(Px(0, 0), At(0, 2));
  EXPECT_EQ(Px(3, 0), kBackground);
  EXPECT_EQ(Px(1, 2), At(1, 0));
  // Mirrored and clipped at the left edge.
  page.FillRect(0, 0, 7, 5, kBackground);
  ASSERT_EQ(PutSprAuto(page, -1, 0, &set, 0, kOptMirrorX, 0, 0), 1);
  EXPECT_EQ(Px(0, 0), At(2, 0));
  EXPECT_EQ(Px(2, 1), At(0, 1));
  EXPECT_EQ(Px(3, 1), kBackground);
}

TEST_P(SpriteDraw, PlacesByOffsetAndMirrorAxis) {
  SpriteEntry& e = *set.Entry(0);
  e.offsetX = 2, e.offsetY = 1;
  ASSERT_EQ(PutSprAuto(page, 0, 0, &set, 0, kOptUseOffset, 0, 0), 1);
  EXPECT_EQ(Px(3, 1), At(1, 0));
  EXPECT_EQ(Px(1, 0), kBackground);
  page.FillRect(0, 0, 7, 5, kBackground);
  // Axis 4, drawn at x = 0: x becomes 2 * 4 - 4 - 0 = 4, mirrored, y grows by offsetY.
  page.SetMirrorAxis(4);
  ASSERT_EQ(PutSprAuto(page, 0, 0, &set, 0, kOptMirrorAxis, 0, 0), 1);
  if (!GetParam()) {  // placed about the axis, but a raw sprite is not mirrored
    EXPECT_EQ(Px(4, 1), kBackground);
    EXPECT_EQ(Px(5, 1), At(1, 0));
    return;
  }
  EXPECT_EQ(Px(4, 1), At(3, 0));
  EXPECT_EQ(Px(7, 2), At(0, 1));
  EXPECT_EQ(Px(3, 1), kBackground);
}

TEST_P(SpriteDraw, GradeBlendMixesWithThePage) {
  set.Entry(0)->colorKey = 0;  // make every pixel visible
  page.FillRect(0, 0, 7, 5, 0);
  ASSERT_EQ(PutSprAuto(page, 0, 0, &set, 0, kOptGradeBlend, 31, 0), 1);
  EXPECT_EQ(Px(1, 0), At(1, 0));  // full grade: the sprite
  page.FillRect(0, 0, 7, 5, 0x7FFF);
  ASSERT_EQ(PutSprAuto(page, 0, 0, &set, 0, kOptGradeBlend, 0, 0), 1);
  EXPECT_EQ(Px(1, 0), 0x7FFF);  // grade 0: the page
  page.FillRect(0, 0, 7, 5, 0x7FFF);
  ASSERT_EQ(PutSprAuto(page, 0, 0, &set, 0, kOptGradeBlend, 16, 0), 1);
  // Blue of sprite pixel (1, 0) is 1: 1 * 16 / 31 + 31 * 15 / 31 = 15.
  EXPECT_EQ(Px(1, 0) & 31, 15);
}

// An encoded sprite takes the first effect bit set, in the order 0x80 (only
// when not mirrored), 4, 8; the paths of 0x80 and 4 draw the plain copy, so
// the blend shows only when neither comes first. Raw sprites blend whenever
// bit 8 is set. Grade 0 blends to the page itself, which tells the paths apart.
TEST_P(SpriteDraw, TheFirstEffectBitSetChoosesThePath) {
  struct Case {
    uint32_t opt;
    bool encodedBlends;
  };
  const Case cases[] = {
      {kOptGradeBlend, true},
      {kOptEffect4 | kOptGradeBlend, false},
      {kOptUnmirroredEffect | kOptGradeBlend, false},
      {kOptUnmirroredEffect | kOptGradeBlend | kOptMirrorX, true},
      {kOptUnmirroredEffect | kOptGradeBlend | kOptMirrorY, true},
      {kOptEffect4 | kOptGradeBlend | kOptMirrorX, false},
      {kOptEffect4 | kOptGradeBlend | kOptMirrorY, false},
      {0x100 | kOptGradeBlend, true},  // later bits do not come first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "opt 0x" << std::hex << c.opt);
    page.FillRect(0, 0, 7, 5, 0x7FFF);
    ASSERT_EQ(PutSprAuto(page, 0, 0, &set, 0, c.opt, 0, 0), 1);
    // (1, 1) lands on (1, 1) or (2, 1) of the page, never on a key pixel.
    const bool blended = Px(1, 1) == 0x7FFF && Px(2, 1) == 0x7FFF;
    EXPECT_EQ(blended, GetParam() ? c.encodedBlends : true);
  }
}

TEST_P(SpriteDraw, RefusesWithoutDrawing) {
  EXPECT_EQ(PutSprAuto(page, 0, 0, nullptr, 0, 0, 0, 0), 0);
  EXPECT_EQ(PutSprAuto(page, 0, 0, &set, 1, 0, 0, 0), 0);  // sprnum == count
  EXPECT_EQ(PutSprAuto(page, 0, 0, &set, -1, 0, 0, 0), 0);
  xSprite empty;
  EXPECT_EQ(PutSprAuto(page, 0, 0, &empty, 0, 0, 0, 0), 0);
  page.SetFrozen(1);
  EXPECT_EQ(PutSprAuto(page, 0, 0, &set, 0, 0, 0, 0), 0);
  page.SetFrozen(0);
  SpritePage eightBit;
  ASSERT_EQ(eightBit.Create(8, 6, 8), 1);
  EXPECT_EQ(PutSprAuto(eightBit, 0, 0, &set, 0, 0, 0, 0), 0);
  SpritePage none;
  EXPECT_EQ(PutSprAuto(none, 0, 0, &set, 0, 0, 0, 0), 0);
  ExpectPage([](int, int) { return kBackground; });
}

INSTANTIATE_TEST_SUITE_P(RawAndEncoded, SpriteDraw, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Encoded" : "Raw"; });

TEST(SpriteDrawPlaceholder, SpriteWithoutPixelsOutlinesOrClears) {
  xSprite set;
  ASSERT_EQ(set.CreateFromPixels(3, 3, std::vector<uint16_t>(9, 1), K), 1);
  set.Entry(0)->pixels.clear();
  SpritePage page;
  ASSERT_EQ(page.Create(6, 6, 16), 1);
  page.FillRect(0, 0, 5, 5, kBackground);
  EXPECT_EQ(PutSprAuto(page, 1, 1, &set, 0, 0, 0, 0), 0);
  EXPECT_EQ(page.GetPixel(1, 1), 0xFFFFu);
  EXPECT_EQ(page.GetPixel(3, 3), 0xFFFFu);
  EXPECT_EQ(page.GetPixel(2, 2), kBackground);
  set.Entry(0)->width = 6, set.Entry(0)->height = 6;
  EXPECT_EQ(PutSprAuto(page, 0, 0, &set, 0, 0, 0, 0), 0);
  EXPECT_EQ(page.GetPixel(2, 2), 0u);
}

TEST(SpriteDrawDirect, FastPathTakesOnlyPlainVisibleEncodedSprites) {
  xSprite set;
  ASSERT_EQ(set.CreateFromPixels(4, 3, Pattern(), K, 1), 1);
  SpritePage page;
  ASSERT_EQ(page.Create(8, 6, 16), 1);
  page.SetDirectCopy(1);
  EXPECT_EQ(PutSprAuto(page, 5, 0, &set, 0, 0, 0, 0), 0);  // partly off the page
  EXPECT_EQ(PutSprAuto(page, 0, 0, &set, 0, kOptMirrorX, 0, 0), 0);
  EXPECT_EQ(page.GetPixel(1, 0), 0u);
  EXPECT_EQ(PutSprAuto(page, 4, 3, &set, 0, 0, 0, 0), 1);
  EXPECT_EQ(page.GetPixel(5, 3), At(1, 0));
}
