// Drawing pages: geometry, clip rectangle, foreign memory, primitives, BMP export.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "SpriteTestUtil.h"
#include "sprite/ByteReader.h"
#include "sprite/SpriteDraw.h"
#include "sprite/SpritePage.h"
#include "sprite/SpriteSet.h"

using namespace spritetest;

TEST(SpritePage, StrideRoundsRowsToFourBytes) {
  SpritePage page;
  ASSERT_EQ(page.Create(330, 170, 16), 1);
  EXPECT_EQ(page.Stride(), 660);
  EXPECT_EQ(page.Pitch(), 330);
  ASSERT_EQ(page.Create(331, 170, 16), 1);  // a created page can be rebuilt
  EXPECT_EQ(page.Stride(), 664);
  EXPECT_EQ(page.Pitch(), 332);
  EXPECT_EQ(page.BitmapInfo().height, -170);  // top-down
  EXPECT_EQ(page.BitmapInfo().sizeImage, 664u * 170);
  ASSERT_EQ(page.Create(5, 2, 24), 1);
  EXPECT_EQ(page.Stride(), 16);
  EXPECT_EQ(page.Pitch(), 5);
  EXPECT_EQ(page.Create(10, 10, 32), 0);
}

TEST(SpritePage, NewPagesAreBlackAndPalettesDefault) {
  SpritePage page;
  ASSERT_EQ(page.Create(3, 3, 16), 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(page.GetPixel(x, y), 0u);
  EXPECT_TRUE(page.Palette().empty());
  ASSERT_EQ(page.Create(4, 4, 8), 1);
  ASSERT_EQ(page.Palette().size(), 256u);
  EXPECT_EQ(page.Palette()[0xFF], 0xFFFFFFu);
  EXPECT_EQ(page.Palette()[0x20], 0x240000u);  // red 1 * 255 / 7
  const std::vector<uint8_t> source{1, 2, 3, 0};
  ASSERT_EQ(page.Create(4, 4, 4, 0, source), 1);
  ASSERT_EQ(page.Palette().size(), 16u);
  EXPECT_EQ(page.Palette()[0], 0x030201u);  // blue, green, red order in the source
  EXPECT_EQ(page.Palette()[3], 0x0000FFu);  // the rest: default entries
}

TEST(SpritePage, SetClipOrdersAndClamps) {
  SpritePage page;
  ASSERT_EQ(page.Create(100, 100, 16), 1);
  page.SetClip(50, 60, 10, 5);
  EXPECT_EQ(page.ClipLeft(), 10);
  EXPECT_EQ(page.ClipTop(), 5);
  EXPECT_EQ(page.ClipRight(), 50);
  EXPECT_EQ(page.ClipBottom(), 60);
  page.SetClip(-5, 0, 500, 500);
  EXPECT_EQ(page.ClipLeft(), 0);
  EXPECT_EQ(page.ClipTop(), 0);
  EXPECT_EQ(page.ClipRight(), 99);
  EXPECT_EQ(page.ClipBottom(), 99);
}

// The clip box is what drawing trusts to stay inside the page: a box kept
// from a larger page must shrink with the page, or a clipped draw writes
// past the new, smaller memory.
TEST(SpritePage, ClipBoxShrinksWithThePage) {
  auto box = [](const SpritePage& p) { return std::array{p.ClipLeft(), p.ClipTop(), p.ClipRight(), p.ClipBottom()}; };
  xSprite set;
  ASSERT_EQ(set.CreateFromPixels(40, 40, std::vector<uint16_t>(40 * 40, 0x0123), 0x7C1F, 1), 1);
  SpritePage page;
  ASSERT_EQ(page.Create(330, 170, 16), 1);
  page.SetClip(0, 0, 329, 169);
  page.EnableClip(1);
  page.Destroy();
  ASSERT_EQ(page.Create(10, 10, 16), 1);
  EXPECT_EQ(box(page), (std::array{0, 0, 0, 0}));  // as on a new page
  EXPECT_EQ(PutSprAuto(page, 0, 0, &set, 0, 0, 0, 0), 1);
  page.FillRect(0, 1, 329, 169, 0x7FFF);
  EXPECT_EQ(page.GetPixel(0, 0), 0x0123u);
  EXPECT_EQ(page.GetPixel(1, 0), 0u);
  EXPECT_EQ(page.GetPixel(0, 1), 0u);

  // Rebuilt smaller without Destroy: the box is cut to the new page.
  page.SetClip(2, 3, 9, 9);
  ASSERT_EQ(page.Create(5, 4, 16), 1);
  EXPECT_EQ(box(page), (std::array{2, 3, 4, 3}));
  page.FillRect(0, 0, 329, 169, 0x7FFF);
  EXPECT_EQ(page.GetPixel(4, 3), 0x7FFFu);
  EXPECT_EQ(page.GetPixel(4, 2), 0u);

  // Foreign memory: detached from a large page, attached to a small one.
  std::vector<uint16_t> large(330 * 170), small(6 * 3, 0xAAAA);
  SpritePage foreign;
  ASSERT_EQ(foreign.Attach(330, 170, large.data(), 660), 1);
  foreign.SetClip(0, 0, 329, 169);
  foreign.EnableClip(1);
  ASSERT_EQ(foreign.Detach(), 1);
  ASSERT_EQ(foreign.Attach(6, 3, small.data(), 12), 1);
  EXPECT_EQ(box(foreign), (std::array{0, 0, 0, 0}));
  EXPECT_EQ(PutSprAuto(foreign, 0, 0, &set, 0, 0, 0, 0), 1);
  EXPECT_EQ(small[0], 0x0123);
  EXPECT_EQ(small[1], 0xAAAA);
}

TEST(SpritePage, AttachDrawsIntoForeignMemory) {
  std::vector<uint16_t> memory(8 * 3, 0xAAAA);
  SpritePage page;
  ASSERT_EQ(page.Attach(6, 3, memory.data(), 16), 1);
  EXPECT_EQ(page.Pitch(), 8);
  EXPECT_EQ(page.Attach(6, 3, memory.data(), 16), 0);  // already attached
  page.FillRect(5, 2, 0, 1, 0x1234);
  EXPECT_EQ(memory[8 * 1 + 0], 0x1234);
  EXPECT_EQ(memory[8 * 2 + 5], 0x1234);
  EXPECT_EQ(memory[8 * 2 + 6], 0xAAAA);  // padding stays
  EXPECT_EQ(memory[5], 0xAAAA);
  EXPECT_EQ(page.Detach(), 1);
  EXPECT_EQ(page.Width(), 0);
  EXPECT_FALSE(page.HasPixels());
  EXPECT_EQ(page.Detach(), 0);

  SpritePage owning;
  ASSERT_EQ(owning.Create(4, 4, 16), 1);
  EXPECT_EQ(owning.Attach(6, 3, memory.data(), 16), 0);  // has its own memory
  EXPECT_EQ(page.Attach(6, 3, memory.data(), 10), 0);    // stride below width
}

TEST(SpritePage, PrimitivesClipAndCombine) {
  SpritePage page;
  ASSERT_EQ(page.Create(10, 10, 16), 1);
  page.FillRect(-5, -5, 100, 100, 0x0421);
  EXPECT_EQ(page.GetPixel(9, 9), 0x0421u);
  page.EnableClip(1);
  page.SetClip(2, 2, 4, 4);
  page.FillRect(0, 0, 9, 9, 0x7FFF);
  EXPECT_EQ(page.GetPixel(2, 2), 0x7FFFu);
  EXPECT_EQ(page.GetPixel(5, 4), 0x0421u);
  page.EnableClip(0);
  page.DrawRect(7, 7, 5, 5, 0x001F);
  EXPECT_EQ(page.GetPixel(5, 6), 0x001Fu);
  EXPECT_EQ(page.GetPixel(6, 6), 0x0421u);  // inside the outline
  page.PutPixel(0, 0, 0x0421, PaintMode::Xor);
  EXPECT_EQ(page.GetPixel(0, 0), 0u);
  page.PutPixel(1, 0, 0x7FFF, PaintMode::Half);
  EXPECT_EQ(page.GetPixel(1, 0), ((0x0421u & 0x7BDE) + (0x7FFFu & 0x7BDE)) >> 1);
  page.SetFrozen(1);
  page.PutPixel(3, 0, 0);
  EXPECT_EQ(page.GetPixel(3, 0), 0x0421u);
}

TEST(SpritePage, WindowToPageUndoesOutputPlacement) {
  SpritePage page;
  page.SetOutput(10, 20, 2);
  const PagePoint p = page.WindowToPage(30, 41);
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 10);
}

TEST(SpritePage, SaveBmpWritesBottomUp24Bit) {
  SpritePage page;
  ASSERT_EQ(page.Create(3, 2, 16), 1);
  page.PutPixel(0, 0, 0x7C00);  // top-left red
  page.PutPixel(2, 1, 0x001F);  // bottom-right blue
  const auto path = (std::filesystem::temp_directory_path() / "zk_page.bmp").string();
  ASSERT_EQ(page.SaveBmp(path.c_str()), 1);
  const auto bmp = ReadFileBytes(path);
  std::filesystem::remove(path);
  ASSERT_EQ(bmp.size(), 54u + 2 * 12);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(LoadU32(&bmp[2]), bmp.size());
  EXPECT_EQ(LoadU32(&bmp[10]), 54u);
  EXPECT_EQ(LoadU32(&bmp[22]), 2u);  // positive height: bottom-up
  EXPECT_EQ(LoadU16(&bmp[28]), 24);
  // First stored row is the bottom one: blue at x = 2 as B, G, R.
  EXPECT_EQ(bmp[54 + 6], 0xF8);
  EXPECT_EQ(bmp[54 + 8], 0x00);
  // Second stored row is the top: red at x = 0.
  EXPECT_EQ(bmp[54 + 12 + 2], 0xF8);
  EXPECT_EQ(bmp[54 + 12 + 0], 0x00);

  SpritePage eightBit;
  ASSERT_EQ(eightBit.Create(4, 4, 8), 1);
  EXPECT_EQ(eightBit.SaveBmp(path.c_str()), 0);
}
