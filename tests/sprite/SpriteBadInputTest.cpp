// Malformed sprite files kept under data/: each must load to its stated
// result without reading or writing out of bounds (run these under the
// sanitize preset too), and what loads must draw safely.
#include <gtest/gtest.h>

#include "SpriteTestUtil.h"
#include "sprite/SpriteDraw.h"
#include "sprite/SpritePage.h"
#include "sprite/SpriteSet.h"

using namespace spritetest;

namespace {

using enum SpriteLoadError;

struct BadInput {
  const char* file;
  SpriteLoadError reason;  // kNone: LoadFromMemory gives 1, else 0
  int count;               // sprites held afterwards
};

const BadInput kBadInputs[] = {
    {"truncated_header.mto", kNone, 0},  // fields past the end read as zero: no sprites
    {"truncated_sprite_header.mto", kNone, 1},
    {"count_too_large.mto", kNone, 2},  // entries only for headers the file can hold
    {"count_negative.mto", kNone, 0},
    {"datasize_past_end.mto", kNone, 1},
    {"raw_block_short.mto", kNone, 1},
    {"rect_count_huge.mto", kNone, 1},
    {"row_offset_outside.mto", kNone, 1},
    {"run_past_row.mto", kNone, 1},
    {"run_count_huge.mto", kNone, 1},
    {"row_table_short.mto", kNone, 1},
    {"jpeg_size_mismatch.mto", kJpegSizeMismatch, 1},
    {"jpeg_truncated.mto", kJpegPastEnd, 1},
    {"jpeg_garbage.mto", kJpegUndecodable, 1},
    {"jpeg_huge_claim.mto", kJpegSetTooLarge, 1},
    {"jpeg_lies_large.mto", kJpegSetTooLarge, 1},
    {"negative_size.mto", kNone, 1},
    {"bad_signature.mto", kBadSignature, 0},
    {"animation_garbage.mto", kNone, 1},
    {"rle_huge_decode.mto", kNone, 1},  // 29188 x 29801 from 54 bytes of encoding
};

}  // namespace

TEST(SpriteBadInput, EveryRegressionFileLoadsToItsResultAndDrawsSafely) {
  for (const BadInput& input : kBadInputs) {
    SCOPED_TRACE(input.file);
    const auto bytes = ReadFileBytes(DataPath(input.file));
    ASSERT_FALSE(bytes.empty());
    xSprite checked;
    EXPECT_EQ(LoadSpriteSet(checked, bytes, kFormat555), input.reason);
    xSprite set;
    EXPECT_EQ(set.LoadFromMemory(bytes), input.reason == kNone ? 1 : 0);
    EXPECT_EQ(set.GetCount(), input.count);
    EXPECT_EQ(checked.GetCount(), input.count);
    EXPECT_LE(set.BytesConsumed(), bytes.size());
    SpritePage page;
    ASSERT_EQ(page.Create(40, 30, 16), 1);
    for (int i = 0; i < set.GetCount(); ++i) {
      for (int x : {-3, 0, 37}) PutSprAuto(page, x, 1, &set, i, 0, 0, 0);
      PutSprAuto(page, 1, 1, &set, i, kOptMirrorX, 0, 0);
      PutSprAuto(page, 1, 1, &set, i, kOptMirrorY | kOptGradeBlend, 16, 0);
      set.Decompress(i);
      set.Compress(i);
      set.Trim(i, 1);
      set.ConvertFormat(565);
      set.ConvertFormat(555);
    }
  }
}

TEST(SpriteBadInput, SizesBeyondTheFileAreCutToWhatIsThere) {
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(ReadFileBytes(DataPath("datasize_past_end.mto"))), 1);
  EXPECT_EQ(set.Entry(0)->dataSize, 8u);
  EXPECT_EQ(set.Entry(0)->pixels.size(), 4u);

  ASSERT_EQ(set.LoadFromMemory(ReadFileBytes(DataPath("rect_count_huge.mto"))), 1);
  ASSERT_EQ(set.Entry(0)->rects1.size(), 1u);
  EXPECT_EQ(set.Entry(0)->rectCount1, 1);
  EXPECT_EQ(set.Entry(0)->rects1[0].extra, 6);

  ASSERT_EQ(set.LoadFromMemory(ReadFileBytes(DataPath("truncated_sprite_header.mto"))), 1);
  EXPECT_EQ(set.GetWidth(0), 2);
  EXPECT_EQ(set.Entry(0)->dataSize, 0u);  // the header's size field was past the end
}

TEST(SpriteBadInput, TinyEncodingOfAHugeSpriteIsNotDecoded) {
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(ReadFileBytes(DataPath("rle_huge_decode.mto"))), 1);
  const auto encoded = set.Entry(0)->pixels;
  EXPECT_EQ(set.Decompress(0), 0);
  EXPECT_EQ(set.Trim(0, 1), 0);
  EXPECT_EQ(set.Entry(0)->compressed, 1);
  EXPECT_EQ(set.Entry(0)->pixels, encoded);
}

TEST(SpriteBadInput, DamagedEncodingDrawsItsValidPartAndReportsOnce) {
  static int reports = 0;
  static std::u16string lastText;
  SetSpriteErrorCallback([](const char16_t* text, int code) {
    ++reports;
    lastText = text;
    EXPECT_EQ(code, 0);
  });
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(ReadFileBytes(DataPath("row_offset_outside.mto"))), 1);
  set.SetName("bad.mto");
  SpritePage page;
  ASSERT_EQ(page.Create(4, 4, 16), 1);
  EXPECT_EQ(PutSprAuto(page, 1, 1, &set, 0, 0, 0, 0x1F), 0);
  // Row 0 is intact and was drawn; row 1 was not.
  EXPECT_EQ(page.GetPixel(1, 1), 0x1111u);
  EXPECT_EQ(page.GetPixel(2, 1), 0x2222u);
  EXPECT_EQ(page.GetPixel(1, 2), 0u);
  EXPECT_EQ(PutSprAuto(page, 0, 0, &set, 0, 0, 0, 0), 0);
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(
      lastText.rfind(u"라이브러리치명적에러!!PutSprAuto(int x=1, int y=1, xSprite *pXSpr=bad.mto, int sprnum=0,", 0),
      0u);
  EXPECT_NE(lastText.find(u"WORD color=1f)"), std::u16string::npos);
  SetSpriteErrorCallback(nullptr);
}
