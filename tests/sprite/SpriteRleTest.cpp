// Run-length encoding, Compress/Decompress, sprites made from pixels, Trim.
#include <gtest/gtest.h>

#include <random>

#include "sprite/SpriteRle.h"
#include "sprite/SpriteSet.h"

namespace {
constexpr uint16_t K = 0x7C1F;  // the colour key
constexpr uint16_t A = 0x0001, B = 0x7FFF;
}  // namespace

TEST(SpriteRle, EncodesTheDocumentedRows) {
  std::vector<uint16_t> out;
  ASSERT_TRUE(EncodeRle(std::vector<uint16_t>{K, K, A, B, K}, 5, 1, K, out));
  EXPECT_EQ(out, (std::vector<uint16_t>{2, 0, /*runs*/ 2, 2, 2, A, B, 1, 0}));
  ASSERT_TRUE(EncodeRle(std::vector<uint16_t>{K, K, K, K}, 4, 1, K, out));
  EXPECT_EQ(out, (std::vector<uint16_t>{2, 0, 1, 4, 0}));
  // Row offsets count units from the start of the encoding.
  ASSERT_TRUE(EncodeRle(std::vector<uint16_t>{A, B, K, K}, 2, 2, K, out));
  EXPECT_EQ(out, (std::vector<uint16_t>{4, 0, 9, 0, 1, 0, 2, A, B, 1, 2, 0}));
}

TEST(SpriteRle, DecodingRestoresRowsExactly) {
  for (const std::vector<uint16_t>& row : {std::vector<uint16_t>{K, K, A, B, K}, std::vector<uint16_t>{K, K, K, K, K},
                                           std::vector<uint16_t>{A, K, B, K, A}}) {
    std::vector<uint16_t> encoded, decoded;
    ASSERT_TRUE(EncodeRle(row, 5, 1, K, encoded));
    ASSERT_TRUE(DecodeRle(encoded, 5, 1, K, decoded));
    EXPECT_EQ(decoded, row);
  }
}

TEST(SpriteRle, RandomImagesRoundTrip) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 50; ++trial) {
    const int w = 1 + random() % 40, h = 1 + random() % 12;
    std::vector<uint16_t> pixels(w * h);
    for (uint16_t& v : pixels) v = random() % 3 == 0 ? K : static_cast<uint16_t>(random() & 0x7FFF);
    std::vector<uint16_t> encoded, decoded;
    ASSERT_TRUE(EncodeRle(pixels, w, h, K, encoded));
    ASSERT_TRUE(DecodeRle(encoded, w, h, K, decoded));
    ASSERT_EQ(decoded, pixels) << w << "x" << h;
  }
}

TEST(SpriteRle, RefusesRowsThatNeedMoreThan1024Runs) {
  std::vector<uint16_t> row(2050);
  for (size_t i = 0; i < row.size(); ++i) row[i] = i % 2 ? A : K;  // 1025 runs
  std::vector<uint16_t> out{42};
  EXPECT_FALSE(EncodeRle(row, 2050, 1, K, out));
  EXPECT_EQ(out, std::vector<uint16_t>{42});
  row.resize(2048);  // exactly 1024 runs
  EXPECT_TRUE(EncodeRle(row, 2048, 1, K, out));

  xSprite set;
  row.resize(2050);
  for (size_t i = 0; i < row.size(); ++i) row[i] = i % 2 ? A : K;
  ASSERT_EQ(set.CreateFromPixelsCopy(2050, 1, row, K), 1);
  EXPECT_EQ(set.Compress(0), 0);  // the sprite stays raw
  EXPECT_EQ(set.Entry(0)->compressed, 0);
}

TEST(SpriteRle, CompressAndDecompressFollowTheirRules) {
  xSprite set;
  EXPECT_EQ(set.Compress(0), 0);
  const std::vector<uint16_t> pixels{K, A, K, B, B, K};
  ASSERT_EQ(set.CreateFromPixelsCopy(3, 2, pixels, K), 1);
  EXPECT_EQ(set.Decompress(0), 0);  // not compressed
  ASSERT_EQ(set.Compress(0), 1);
  const SpriteEntry& e = *set.Entry(0);
  EXPECT_EQ(e.compressed, 1);
  EXPECT_EQ(e.dataSize, e.pixels.size() * 2);
  const auto encoded = e.pixels;
  EXPECT_EQ(set.Compress(0), 0);  // already compressed: nothing changes
  EXPECT_EQ(e.pixels, encoded);
  ASSERT_EQ(set.Decompress(0), 1);
  EXPECT_EQ(e.compressed, 0);
  EXPECT_EQ(e.dataSize, 12u);
  EXPECT_EQ(e.pixels, pixels);
  EXPECT_EQ(set.Compress(1), 0);
  EXPECT_EQ(set.Decompress(-1), 0);
}

TEST(SpriteRle, CreateFromPixelsFillsTheEntry) {
  xSprite set;
  EXPECT_EQ(set.CreateFromPixels(0, 3, std::vector<uint16_t>{}, K), 0);
  EXPECT_EQ(set.CreateFromPixels(2, 2, std::vector<uint16_t>{A, A}, K), 0);  // too few pixels
  ASSERT_EQ(set.CreateFromPixels(5, 3, std::vector<uint16_t>(15, A), K, /*compress=*/1), 1);
  EXPECT_EQ(set.Header().version, 30);
  EXPECT_EQ(set.Header().reserved, 2);
  EXPECT_EQ(std::string(set.Header().signature), "93XYZ sprite");
  const SpriteEntry& e = *set.Entry(0);
  EXPECT_EQ(e.compressed, 1);
  EXPECT_EQ(e.hotX, 2);
  EXPECT_EQ(e.hotY, 1);
  EXPECT_EQ(e.spritePixelFormat, 555);
}

TEST(SpriteRle, InsertSpriteKeepsOrder) {
  xSprite set;
  ASSERT_EQ(set.InsertSpriteCopy(0, 1, 1, std::vector<uint16_t>{A}, K, 0), 1);  // empty set: creates
  ASSERT_EQ(set.InsertSpriteCopy(1, 2, 1, std::vector<uint16_t>{B, B}, K, 0), 1);
  ASSERT_EQ(set.InsertSpriteCopy(0, 3, 1, std::vector<uint16_t>{A, B, A}, K, 1), 1);
  EXPECT_EQ(set.InsertSpriteCopy(9, 1, 1, std::vector<uint16_t>{A}, K, 0), 0);
  ASSERT_EQ(set.GetCount(), 3);
  EXPECT_EQ(set.Header().spriteCount, 3);
  EXPECT_EQ(set.GetWidth(0), 3);
  EXPECT_EQ(set.Entry(0)->compressed, 1);
  EXPECT_EQ(set.GetWidth(1), 1);
  EXPECT_EQ(set.GetWidth(2), 2);
}

TEST(SpriteRle, TrimCropsKeyBordersAndMovesTheAnchors) {
  // 5 x 4 with the image at columns 1..2, rows 1..2.
  std::vector<uint16_t> pixels(20, K);
  pixels[1 * 5 + 1] = A, pixels[2 * 5 + 2] = B;
  xSprite set;
  ASSERT_EQ(set.CreateFromPixels(5, 4, std::move(pixels), K, 1), 1);
  SpriteEntry& e = *set.Entry(0);
  e.rects1 = {SpriteRect{0, 1, 1, 3, 3, 0}};
  ASSERT_EQ(set.Trim(0, 1), 1);
  EXPECT_EQ(e.width, 2);
  EXPECT_EQ(e.height, 2);
  EXPECT_EQ(e.compressed, 1);  // recompressed after the work
  EXPECT_EQ(e.offsetX, 1);
  EXPECT_EQ(e.offsetY, 1);
  EXPECT_EQ(e.hotX, 1);  // 2 - 1
  EXPECT_EQ(e.hotY, 1);
  EXPECT_EQ(e.rects1[0].left, 0);
  EXPECT_EQ(e.rects1[0].bottom, 2);
  ASSERT_EQ(set.Decompress(0), 1);
  EXPECT_EQ(e.pixels, (std::vector<uint16_t>{A, K, K, B}));

  ASSERT_EQ(set.CreateFromPixels(3, 3, std::vector<uint16_t>(9, K), K), 1);
  EXPECT_EQ(set.Trim(0, 0), 0);  // nothing but key
  EXPECT_EQ(set.GetWidth(0), 3);
}
