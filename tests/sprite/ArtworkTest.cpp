// The shipped artwork: the embedded sprite file's layout, its drawing onto
// the window's page, and the icon.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "SpriteTestUtil.h"
#include "resources/ProgramResources.h"
#include "sprite/SpriteDraw.h"
#include "sprite/SpritePage.h"
#include "sprite/SpriteRle.h"
#include "sprite/SpriteSet.h"

using namespace spritetest;

namespace {

std::span<const uint8_t> EmbeddedArtwork() { return FindProgramResource(u"MTO", kResourceSpriteFile); }
std::span<const uint8_t> EmbeddedArtwork2x() { return FindProgramResource(u"MTO", kResourceSpriteFile2x); }

std::vector<uint16_t> Decoded(const SpriteEntry& e) {
  std::vector<uint16_t> raw;
  EXPECT_TRUE(DecodeRle(e.pixels, e.width, e.height, e.colorKey, raw));
  return raw;
}

// A 2x sprite against a 1x one of half its size: the 2x pixels whose
// transparency differs from the 1x pixel they enlarge, and how far each 2 x 2
// block's average is from its opaque 1x pixel (the mean absolute difference
// per channel, in levels of 31).
struct ScaledDown {
  int shapeMismatches = 0;
  double meanDifference = 0;
};
ScaledDown CompareScaledDown(const SpriteEntry& one, const SpriteEntry& two) {
  const std::vector<uint16_t> small = Decoded(one), large = Decoded(two);
  ScaledDown result;
  double sum = 0;
  int opaque = 0;
  for (int y = 0; y < one.height; ++y) {
    for (int x = 0; x < one.width; ++x) {
      const uint16_t p = small[static_cast<size_t>(y) * one.width + x];
      int block[3] = {};
      for (int at : {0, 1, two.width, two.width + 1}) {
        const uint16_t q = large[static_cast<size_t>(2 * y) * two.width + 2 * x + at];
        result.shapeMismatches += (q == two.colorKey) != (p == one.colorKey);
        for (int c = 0; c < 3; ++c) block[c] += q >> (10 - 5 * c) & 31;
      }
      if (p == one.colorKey) continue;
      for (int c = 0; c < 3; ++c) sum += std::abs((p >> (10 - 5 * c) & 31) - block[c] / 4.0);
      ++opaque;
    }
  }
  result.meanDifference = sum / (3.0 * opaque);
  return result;
}

// Runs per row of an encoded sprite.
std::vector<int> RunsPerRow(const SpriteEntry& e) {
  std::vector<int> runs(static_cast<size_t>(e.height));
  for (int row = 0; row < e.height; ++row) runs[row] = e.pixels[e.pixels[2 * row] | (e.pixels[2 * row + 1] << 16)];
  return runs;
}

}  // namespace

TEST(Artwork, EmbeddedFileIsTheCommittedOne) {
  const auto embedded = EmbeddedArtwork();
  const auto file = ReadFileBytes(std::string(ZK_RESOURCES_DIR) + "/installer.mto");
  ASSERT_EQ(embedded.size(), 147452u);
  EXPECT_TRUE(std::equal(embedded.begin(), embedded.end(), file.begin(), file.end()));
}

TEST(Artwork, HoldsNineEncodedSpritesWithTheirSizes) {
  const auto bytes = EmbeddedArtwork();
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(bytes), 1);
  EXPECT_EQ(set.Header().version, 31);
  EXPECT_EQ(set.Header().animationCount, 0);
  EXPECT_EQ(set.PixelFormat(), 555);
  ASSERT_EQ(set.GetCount(), 9);
  EXPECT_EQ(set.BytesConsumed(), bytes.size());  // nothing left unread
  for (int i = 0; i < 9; ++i) {
    SCOPED_TRACE(i);
    const SpriteEntry& e = *set.Entry(i);
    const int w = i == 0 ? 320 : 85, h = i == 0 ? 160 : 30;
    EXPECT_EQ(e.width, w);
    EXPECT_EQ(e.height, h);
    EXPECT_EQ(e.hotX, w / 2);
    EXPECT_EQ(e.hotY, h / 2);
    EXPECT_EQ(e.colorKey, 0x7C1F);
    EXPECT_EQ(e.compressed, 1);
    EXPECT_EQ(e.offsetX, 0);
    EXPECT_EQ(e.offsetY, 0);
    EXPECT_TRUE(e.rects1.empty() && e.rects2.empty());
    EXPECT_EQ(e.jpeg, 0);
    EXPECT_EQ(e.spritePixelFormat, 555);
    EXPECT_EQ(e.dataSize, i == 0 ? 104000u : 5392u);
    const std::vector<int> runs = RunsPerRow(e);
    if (i == 0) {
      EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), 160);
    } else {
      EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), 26);
      EXPECT_EQ(std::count(runs.begin(), runs.end(), 2), 4);
    }
    std::vector<uint16_t> raw;
    ASSERT_TRUE(DecodeRle(e.pixels, w, h, e.colorKey, raw));
  }
  // Load goes through a file to the same set.
  const auto path = std::string(ZK_RESOURCES_DIR) + "/installer.mto";
  xSprite fromFile;
  ASSERT_EQ(fromFile.Load(path.c_str()), 1);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(fromFile.Entry(i)->pixels, set.Entry(i)->pixels);
}

TEST(Artwork, ComposesOntoTheWindowPage) {
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(EmbeddedArtwork()), 1);
  SpritePage page;
  ASSERT_EQ(page.Create(set.GetWidth(0) + 10, set.GetHeight(0) + 10, 16), 1);
  ASSERT_EQ(page.Width(), 330);
  ASSERT_EQ(page.Height(), 170);
  constexpr uint16_t kUntouched = 0x7C1F;  // would show wherever the key leaked through
  page.FillRect(0, 0, 329, 169, kUntouched);
  ASSERT_EQ(PutSprAuto(page, 0, 0, &set, 0, 0, 0, 0), 1);
  for (int y = 0; y < 170; ++y) {
    for (int x = 0; x < 330; ++x) {
      const bool inside = x < 320 && y < 160;
      ASSERT_EQ(page.GetPixel(x, y) != kUntouched, inside) << x << "," << y;
    }
  }
  // Every button frame keeps its rounded corners off the page and covers
  // the rest.
  for (int frame = 1; frame <= 8; ++frame) {
    page.FillRect(0, 0, 329, 169, kUntouched);
    ASSERT_EQ(PutSprAuto(page, 121, 109, &set, frame, 0, 0, 0), 1);
    EXPECT_EQ(page.GetPixel(121, 109), kUntouched);
    EXPECT_EQ(page.GetPixel(205, 138), kUntouched);
    EXPECT_NE(page.GetPixel(124, 109), kUntouched);
    EXPECT_NE(page.GetPixel(121, 111), kUntouched);
    EXPECT_NE(page.GetPixel(205, 130), kUntouched);
    EXPECT_EQ(page.GetPixel(206, 120), kUntouched);
  }
}

TEST(Artwork, IconIsA32By32Png) {
  const auto icon = FindProgramResource(u"ICON", kResourceIcon);
  ASSERT_GT(icon.size(), 24u);
  EXPECT_EQ(icon[1], 'P');
  EXPECT_EQ(icon[2], 'N');
  // IHDR: big-endian width and height at bytes 16 and 20.
  EXPECT_EQ(icon[16] << 24 | icon[17] << 16 | icon[18] << 8 | icon[19], 32);
  EXPECT_EQ(icon[20] << 24 | icon[21] << 16 | icon[22] << 8 | icon[23], 32);
}

TEST(Artwork, IconIsTheIconFilesFirstImage) {
  // The icon file's directory names its first image: size at byte 14, offset
  // at byte 18, both little-endian.
  const auto file = ReadFileBytes(std::string(ZK_RESOURCES_DIR) + "/icon132.ico");
  ASSERT_GT(file.size(), 22u);
  auto u32 = [&](size_t at) {
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t{file[at + 3]} << 24;
  };
  const uint32_t size = u32(14), offset = u32(18);
  ASSERT_LE(uint64_t{offset} + size, file.size());
  const auto icon = FindProgramResource(u"ICON", kResourceIcon);
  ASSERT_EQ(icon.size(), size);
  EXPECT_TRUE(std::equal(icon.begin(), icon.end(), file.begin() + offset));
}

// Both sizes come from the same drawing code, but the fonts' hinting puts
// glyph edges apart at 13 and 26 pixels and the 2x background is
// JPEG-coded. The tolerance: a mean of at most one level of 31 per channel
// (measured 0.24-0.73 for the frames, 0.31 for the background), and every
// frame nearer its own 1x frame than any other (the nearest other is 0.84
// away: the two disabled frames). The transparent shape is exact, so the
// background stays opaque.
TEST(Artwork, The2xFileHoldsTheSameArtworkAtTwiceTheSize) {
  const auto embedded = EmbeddedArtwork2x();
  const auto file = ReadFileBytes(std::string(ZK_RESOURCES_DIR) + "/installer-2x.mto");
  EXPECT_TRUE(!embedded.empty() && std::equal(embedded.begin(), embedded.end(), file.begin(), file.end()));
  xSprite one, two;
  ASSERT_EQ(one.LoadFromMemory(EmbeddedArtwork()), 1);
  ASSERT_EQ(two.LoadFromMemory(embedded), 1);
  ASSERT_EQ(two.GetCount(), 9);
  for (int i = 0; i < 9; ++i) {
    SCOPED_TRACE(i);
    const SpriteEntry &small = *one.Entry(i), &large = *two.Entry(i);
    ASSERT_EQ(large.width, 2 * small.width);
    ASSERT_EQ(large.height, 2 * small.height);
    EXPECT_EQ(large.colorKey, small.colorKey);
    EXPECT_EQ(large.jpeg, i == 0 ? 1 : 0);  // the buttons keep their exact key
    const ScaledDown own = CompareScaledDown(small, large);
    EXPECT_EQ(own.shapeMismatches, 0);
    EXPECT_LE(own.meanDifference, 1.0);
    for (int other = 1; i > 0 && other < 9; ++other) {
      if (other == i) continue;
      EXPECT_LT(own.meanDifference, CompareScaledDown(*one.Entry(other), large).meanDifference) << "frame " << other;
    }
  }
}
