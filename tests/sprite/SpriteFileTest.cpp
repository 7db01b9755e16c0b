// Loading sprite files: header and entry fields, the signature check, pixel
// format conversion, and files written to disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "SpriteTestUtil.h"
#include "sprite/SpriteRle.h"
#include "sprite/SpriteSet.h"

using namespace spritetest;

namespace {

std::vector<uint8_t> TwoSpriteFile(int16_t format) {
  FileSprite a = RawSprite(3, 2, {0x7C1F, 0x0421, 0x7FFF, 0x001F, 0x03E0, 0x7C00});
  a.offsetX = -4, a.offsetY = 7, a.hotX = 1, a.hotY = -2;
  a.rects1 = {1, 0, 0, 2, 1, 9};
  a.rects2 = {5, 1, 1, 2, 2, 6, 7, -1, -2, 3, 4, 8};
  FileSprite b = RawSprite(4, 1, {0x7C1F, 0x7C1F, 0x1234, 0x7C1F});
  std::vector<uint16_t> encoded;
  EXPECT_TRUE(EncodeRle(b.units, 4, 1, b.key, encoded));
  b.units = encoded;
  b.compressed = 1;
  return BuildFile({a, b}, format);
}

}  // namespace

TEST(SpriteFile, LoadsHeaderEntriesAndRectangles) {
  xSprite set;
  const auto file = TwoSpriteFile(555);
  ASSERT_EQ(set.LoadFromMemory(file), 1);
  EXPECT_EQ(set.Header().version, 31);
  EXPECT_EQ(set.Header().reserved, 2);
  EXPECT_EQ(set.GetCount(), 2);
  EXPECT_EQ(set.BytesConsumed(), file.size());

  const SpriteEntry& a = *set.Entry(0);
  EXPECT_EQ(a.compressed, 0);
  EXPECT_EQ(a.width, 3);
  EXPECT_EQ(a.height, 2);
  EXPECT_EQ(a.offsetX, -4);  // signed fields are sign-extended
  EXPECT_EQ(a.hotY, -2);
  EXPECT_EQ(a.dataSize, 12u);
  ASSERT_EQ(a.rects1.size(), 1u);
  ASSERT_EQ(a.rects2.size(), 2u);
  EXPECT_EQ(a.rects1[0].tag, 1);
  EXPECT_EQ(a.rects1[0].right, 2);
  EXPECT_EQ(a.rects1[0].extra, 9);
  EXPECT_EQ(a.rects2[1].left, -1);
  EXPECT_EQ(a.rects2[1].bottom, 4);
  EXPECT_EQ(a.pixels[1], 0x0421);

  const SpriteEntry& b = *set.Entry(1);
  EXPECT_EQ(b.compressed, 1);
  // Row table (2 units), run count, (skip 2, count 1, pixel), (skip 1, count 0).
  EXPECT_EQ(b.dataSize, 2u * 8);
}

TEST(SpriteFile, SizeQueriesOutsideTheSetAreZero) {
  xSprite set;
  EXPECT_EQ(set.GetWidth(0), 0);
  const auto file = TwoSpriteFile(555);
  ASSERT_EQ(set.LoadFromMemory(file), 1);
  EXPECT_EQ(set.GetWidth(-1), 0);
  EXPECT_EQ(set.GetHeight(2), 0);
  EXPECT_EQ(set.GetWidth(1), 4);
  set.Clear();
  EXPECT_EQ(set.GetCount(), 0);
  EXPECT_EQ(set.GetHeight(0), 0);
}

TEST(SpriteFile, EveryWrongSignatureByteKeepsTheOldSet) {
  xSprite set;
  const auto good = TwoSpriteFile(555);
  ASSERT_EQ(set.LoadFromMemory(good), 1);
  for (size_t i = 0; i < kSignatureCompared; ++i) {
    auto bad = good;
    bad[i] ^= 0x20;
    EXPECT_EQ(set.LoadFromMemory(bad), 0) << "byte " << i;
    EXPECT_EQ(LoadSpriteSet(set, bad, kFormat555), SpriteLoadError::kBadSignature) << "byte " << i;
    EXPECT_EQ(set.GetCount(), 2);
    EXPECT_EQ(set.GetWidth(0), 3);
  }
  // Bytes 13 to 15 are not compared.
  auto tail = good;
  tail[14] = 'x';
  EXPECT_EQ(set.LoadFromMemory(tail), 1);
}

TEST(SpriteFile, ConvertsKeysAndStoredPixelsTo565) {
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(TwoSpriteFile(555), 565), 1);
  EXPECT_EQ(set.PixelFormat(), 565);
  const SpriteEntry& a = *set.Entry(0);
  EXPECT_EQ(a.colorKey, 0xF81F);  // magenta in 565
  EXPECT_EQ(a.pixels[1], 0x0841);
  EXPECT_EQ(a.pixels[2], 0xFFDF);  // green's new lowest bit is 0
  EXPECT_EQ(a.pixels[5], 0xF800);
  // The encoded sprite: only the run pixel changes, not the table or runs.
  const SpriteEntry& b = *set.Entry(1);
  std::vector<uint16_t> raw;
  ASSERT_TRUE(DecodeRle(b.pixels, 4, 1, b.colorKey, raw));
  EXPECT_EQ(raw, (std::vector<uint16_t>{0xF81F, 0xF81F, 0x2454, 0xF81F}));
}

TEST(SpriteFile, ConvertsBetweenFormats) {
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(TwoSpriteFile(555), -565), 1);
  EXPECT_EQ(set.Entry(0)->pixels[5], 0x001F);  // red moved to the low bits
  EXPECT_EQ(set.Entry(0)->pixels[3], 0xF800);  // blue moved to the top
  EXPECT_EQ(set.Entry(0)->pixels[4], 0x07C0);

  ASSERT_EQ(set.LoadFromMemory(TwoSpriteFile(565), 555), 1);
  EXPECT_EQ(set.Entry(0)->pixels[2], 0x3FFF);  // green drops its lowest bit
  EXPECT_EQ(set.Entry(0)->colorKey, 0x3E1F);

  ASSERT_EQ(set.LoadFromMemory(TwoSpriteFile(565), -565), 1);
  EXPECT_EQ(set.Entry(0)->pixels[2], 0xFFEF);  // 565 0x7FFF with red and blue exchanged

  ASSERT_EQ(set.LoadFromMemory(TwoSpriteFile(555)), 1);  // 555 stays as it is
  EXPECT_EQ(set.Entry(0)->pixels[2], 0x7FFF);
  EXPECT_EQ(set.ConvertFormat(4444), 0);
  EXPECT_EQ(set.PixelFormat(), 555);
}

TEST(SpriteFile, A4444FileIsNeverConverted) {
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(TwoSpriteFile(4444), 565), 1);
  EXPECT_EQ(set.PixelFormat(), 4444);
  EXPECT_EQ(set.Entry(0)->pixels[2], 0x7FFF);
  EXPECT_EQ(set.Entry(0)->colorKey, 0x7C1F);
}

TEST(SpriteFile, LoadReadsFromDiskAndFailsOnMissingFile) {
  const auto path = std::filesystem::temp_directory_path() / "zk_sprite_load_test.mto";
  const auto file = TwoSpriteFile(555);
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }
  xSprite set;
  EXPECT_EQ(set.Load(path.string().c_str()), 1);
  EXPECT_EQ(set.GetCount(), 2);
  std::filesystem::remove(path);
  EXPECT_EQ(set.Load(path.string().c_str()), 0);
  EXPECT_EQ(set.GetCount(), 2);  // a file that cannot be opened changes nothing
  EXPECT_EQ(LoadSpriteSetFile(set, path.string().c_str(), kFormat555), SpriteLoadError::kFileNotOpened);
  EXPECT_EQ(set.Load(nullptr), 0);
  EXPECT_EQ(LoadSpriteSetFile(set, nullptr, kFormat555), SpriteLoadError::kNoFileName);
}
