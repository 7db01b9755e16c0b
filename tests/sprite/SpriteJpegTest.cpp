// JPEG-coded sprites: decoding, the size and work limits, dithering, and the page's
// JPEG export read back.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdlib>
#include <cstdio>
#include <filesystem>

#include <jpeglib.h>

#include "SpriteTestUtil.h"
#include "sprite/SpriteJpeg.h"
#include "sprite/SpritePage.h"
#include "sprite/SpriteSet.h"

using namespace spritetest;

namespace {

// Encodes with libjpeg directly, independent of the engine's own encoder:
// `configure` adjusts the defaults, `fill(y, row)` gives each row.
template <typename Configure, typename Fill>
std::vector<uint8_t> EncodeDirectly(int width, int height, bool grey, Configure&& configure, Fill&& fill) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = grey ? 1 : 3;
  info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  configure(info);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * info.input_components);
  while (info.next_scanline < info.image_height) {
    fill(static_cast<int>(info.next_scanline), row);
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&info, &p, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// A flat colour image at quality 100.
std::vector<uint8_t> MakeJpeg(int width, int height, uint8_t r, uint8_t g, uint8_t b, bool grey = false) {
  return EncodeDirectly(
      width, height, grey, [](jpeg_compress_struct& info) { jpeg_set_quality(&info, 100, TRUE); },
      [&](int, std::vector<uint8_t>& row) {
        for (size_t x = 0; x < row.size(); x += grey ? 1 : 3) {
          row[x] = r;
          if (!grey) {
            row[x + 1] = g;
            row[x + 2] = b;
          }
        }
      });
}

FileSprite JpegSprite(int16_t width, int16_t height, std::vector<uint8_t> stream) {
  FileSprite s;
  s.width = width, s.height = height, s.jpeg = 1;
  s.jpegStream = std::move(stream);
  return s;
}

int Channel(uint16_t v, int shift) { return (v >> shift) & 31; }

}  // namespace

TEST(SpriteJpeg, LoadsAJpegSpriteAndTheSpriteAfterIt) {
  // (200, 100, 48) is 555 (25, 12, 6); quality 100 keeps a flat colour within a step.
  auto stream = MakeJpeg(16, 8, 200, 100, 48);
  // Bytes after the stream's end marker belong to the next sprite: the
  // loader must go by dataSize, not by where the decoder stopped.
  const FileSprite after = RawSprite(1, 1, {0x0123});
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(BuildFile({JpegSprite(16, 8, stream), after})), 1);
  ASSERT_EQ(set.GetCount(), 2);
  const SpriteEntry& e = *set.Entry(0);
  EXPECT_EQ(e.compressed, 0);
  EXPECT_EQ(e.dataSize, 16u * 8 * 2);
  ASSERT_EQ(e.pixels.size(), 16u * 8);
  for (uint16_t v : e.pixels) {
    EXPECT_NEAR(Channel(v, 10), 25, 1);
    EXPECT_NEAR(Channel(v, 5), 12, 1);
    EXPECT_NEAR(Channel(v, 0), 6, 1);
    EXPECT_EQ(v & 0x8000, 0);
  }
  EXPECT_EQ(set.Entry(1)->pixels[0], 0x0123);
}

TEST(SpriteJpeg, CompressedFlagEncodesAfterDecoding) {
  FileSprite s = JpegSprite(8, 8, MakeJpeg(8, 8, 90, 90, 90, /*grey=*/true));
  s.compressed = 1;
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(BuildFile({s})), 1);
  const SpriteEntry& e = *set.Entry(0);
  EXPECT_EQ(e.compressed, 1);
  // Grey gives R = G = B; one run of eight pixels per row.
  EXPECT_EQ(e.dataSize, 2u * (16 + 8 * (3 + 8)));
  ASSERT_EQ(set.Decompress(0), 1);
  EXPECT_EQ(Channel(e.pixels[0], 10), Channel(e.pixels[0], 0));
  EXPECT_EQ(Channel(e.pixels[0], 5), Channel(e.pixels[0], 0));
}

TEST(SpriteJpeg, AStreamOfAnotherSizeFailsTheLoad) {
  xSprite set;
  EXPECT_EQ(set.LoadFromMemory(BuildFile({JpegSprite(8, 9, MakeJpeg(8, 8, 1, 2, 3))})), 0);
  EXPECT_EQ(set.LoadFromMemory(BuildFile({JpegSprite(7, 8, MakeJpeg(8, 8, 1, 2, 3))})), 0);
  EXPECT_EQ(LoadSpriteSet(set, BuildFile({JpegSprite(7, 8, MakeJpeg(8, 8, 1, 2, 3))}), kFormat555),
            SpriteLoadError::kJpegSizeMismatch);
}

TEST(SpriteJpeg, ASpriteWithoutPixelsOrStreamIsRefused) {
  xSprite set;
  EXPECT_EQ(LoadSpriteSet(set, BuildFile({JpegSprite(0, 8, MakeJpeg(8, 8, 1, 2, 3))}), kFormat555),
            SpriteLoadError::kJpegNoPixels);
  EXPECT_EQ(LoadSpriteSet(set, BuildFile({JpegSprite(8, 8, {})}), kFormat555), SpriteLoadError::kJpegNoPixels);
  std::vector<uint16_t> pixels;
  EXPECT_EQ(DecodeJpegSprite(MakeJpeg(8, 8, 1, 2, 3), 1 << 14, 1 << 13, false, pixels),
            SpriteLoadError::kJpegSpriteTooLarge);
}

// Arithmetic coding packs a flat megapixel into a few hundred bytes, over
// 4 KiB of image per stream byte: a valid stream, and the set holding it
// must load. Only the pixel and scan limits bound the work.
TEST(SpriteJpeg, ATinyArithmeticCodedMegapixelLoads) {
  const auto stream = EncodeDirectly(
      1024, 1024, false, [](jpeg_compress_struct& info) { info.arith_code = TRUE; },
      [](int, std::vector<uint8_t>& row) {
        for (size_t x = 0; x < row.size(); x += 3) row[x] = 200, row[x + 1] = 100, row[x + 2] = 48;
      });
  ASSERT_LT(stream.size(), 1024u * 1024 * 3 / 4096);
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(BuildFile({JpegSprite(1024, 1024, stream), RawSprite(1, 1, {0x0123})})), 1);
  ASSERT_EQ(set.GetCount(), 2);
  const SpriteEntry& e = *set.Entry(0);
  ASSERT_EQ(e.pixels.size(), 1024u * 1024);
  for (size_t i : {size_t{0}, e.pixels.size() / 2 + 517, e.pixels.size() - 1}) {
    EXPECT_NEAR(Channel(e.pixels[i], 10), 25, 1);
    EXPECT_NEAR(Channel(e.pixels[i], 5), 12, 1);
    EXPECT_NEAR(Channel(e.pixels[i], 0), 6, 1);
  }
  EXPECT_EQ(set.Entry(1)->pixels[0], 0x0123);
}

// What bounds the work of one load is the set's pixels, not its bytes:
// two tiny streams of 3000 x 3000 each are more than one set may decode.
TEST(SpriteJpeg, TheSetsJpegPixelsAreBoundedTogether) {
  const auto stream = EncodeDirectly(
      3000, 3000, true, [](jpeg_compress_struct& info) { info.arith_code = TRUE; },
      [](int, std::vector<uint8_t>& row) { std::fill(row.begin(), row.end(), uint8_t{90}); });
  ASSERT_LT(stream.size(), 4096u);
  ASSERT_GT(2u * 3000 * 3000, kMaxJpegPixelsPerSet);
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(BuildFile({JpegSprite(3000, 3000, stream)})), 1);
  FileSprite dithered = JpegSprite(3000, 3000, stream);
  dithered.dither = 1;
  EXPECT_EQ(set.LoadFromMemory(BuildFile({JpegSprite(3000, 3000, stream), dithered})), 0);
  EXPECT_EQ(LoadSpriteSet(set, BuildFile({JpegSprite(3000, 3000, stream), dithered}), kFormat555),
            SpriteLoadError::kJpegSetTooLarge);
}

TEST(SpriteJpeg, DitheredSpritesSetBit15) {
  FileSprite s = JpegSprite(8, 8, MakeJpeg(8, 8, 200, 100, 48));
  s.dither = 1;
  xSprite set;
  ASSERT_EQ(set.LoadFromMemory(BuildFile({s})), 1);
  for (uint16_t v : set.Entry(0)->pixels) {
    EXPECT_EQ(v & 0x8000, 0x8000);
    EXPECT_NEAR(Channel(v, 10), 25, 1);
  }
}

TEST(SpriteJpeg, DitheringSpreadsTheResidueForEveryNeighbourChoice) {
  // 132 is 16 in five bits with a residue of 4: plain truncation gives 16
  // everywhere, diffusion must raise some pixels to 17 and none further.
  const int w = 12, h = 6;
  std::vector<uint8_t> rgb(w * h * 3, 132);
  for (int neighbour = 0; neighbour < 4; ++neighbour) {
    const auto out = DitherRgbTo555(rgb, w, h, neighbour);
    int raised = 0;
    for (uint16_t v : out) {
      ASSERT_EQ(v & 0x8000, 0x8000);
      for (int shift : {0, 5, 10}) {
        ASSERT_GE(Channel(v, shift), 16);
        ASSERT_LE(Channel(v, shift), 17);
      }
      raised += Channel(v, 10) == 17;
    }
    EXPECT_GT(raised, 0) << "neighbour " << neighbour;
    EXPECT_LT(raised, w * h) << "neighbour " << neighbour;
  }
  const int choice = ChooseDitherNeighbour();
  EXPECT_GE(choice, 0);
  EXPECT_LE(choice, 3);
}

TEST(SpriteJpeg, DitheringSharesEachResidueAsTheEdgesAndTheNeighbourSay) {
  // 3 x 2, grey: 7 7 7 over 6 5 4. The first column gives 2 right, 2 below,
  // the rest (3) below-right; the last gives 3 below and 4 below-left; the
  // middle one's residue (1 after the 2 it got) goes only to the chosen
  // neighbour. So the bottom row reaches 8 13 7, 8 12 8 or 8 12 7 with the
  // neighbour below, below-right or right, and with the right one the top
  // right pixel reaches 8.
  std::vector<uint8_t> rgb;
  for (int v : {7, 7, 7, 6, 5, 4}) rgb.insert(rgb.end(), 3, static_cast<uint8_t>(v));
  constexpr uint16_t k0 = 0x8000, k1 = 0x8421;  // every channel 0 or 1 in five bits
  EXPECT_EQ(DitherRgbTo555(rgb, 3, 2, 1), (std::vector<uint16_t>{k0, k1, k0, k1, k1, k0}));
  EXPECT_EQ(DitherRgbTo555(rgb, 3, 2, 2), (std::vector<uint16_t>{k0, k1, k0, k1, k1, k1}));
  EXPECT_EQ(DitherRgbTo555(rgb, 3, 2, 3), (std::vector<uint16_t>{k0, k1, k1, k1, k1, k0}));
  // One column: half below, the rest has nowhere to go.
  EXPECT_EQ(DitherRgbTo555(std::vector<uint8_t>{7, 7, 7, 4, 4, 4}, 1, 2, 0), (std::vector<uint16_t>{k0, k0}));
}

TEST(SpriteJpeg, DitheringSaturatesAtWhite) {
  std::vector<uint8_t> rgb(5 * 4 * 3, 255);
  for (uint16_t v : DitherRgbTo555(rgb, 5, 4, 2)) EXPECT_EQ(v, 0xFFFF);
}

TEST(SpriteJpeg, PageJpegExportDecodesBack) {
  SpritePage page;
  ASSERT_EQ(page.Create(16, 16, 16), 1);
  page.FillRect(0, 0, 15, 15, (20 << 10) | (10 << 5) | 5);
  const auto path = std::filesystem::temp_directory_path() / "zk_page_export.jpg";
  ASSERT_EQ(page.SaveJpeg(path.string().c_str(), 100), 1);
  const auto stream = ReadFileBytes(path.string());
  std::filesystem::remove(path);
  std::vector<uint16_t> pixels;
  ASSERT_EQ(DecodeJpegSprite(stream, 16, 16, false, pixels), SpriteLoadError::kNone);
  EXPECT_NEAR(Channel(pixels[40], 10), 20, 1);
  EXPECT_NEAR(Channel(pixels[40], 5), 10, 1);
  EXPECT_NEAR(Channel(pixels[40], 0), 5, 1);
  SpritePage eightBit;
  ASSERT_EQ(eightBit.Create(4, 4, 8), 1);
  EXPECT_EQ(eightBit.SaveJpeg(path.string().c_str(), 90), 0);
}

namespace {

// A greyscale progressive stream of exactly `refinements` * 2 + 2 scans:
// DC first and refined, then every AC coefficient alone, first at half
// precision and again refined, `refinements` coefficients of each.
std::vector<uint8_t> MakeManyScanJpeg(int refinements) {
  std::vector<jpeg_scan_info> scans;
  scans.push_back({1, {0}, 0, 0, 0, 1});
  for (int k = 1; k <= refinements; ++k) scans.push_back({1, {0}, k, k, 0, 1});
  scans.push_back({1, {0}, 0, 0, 1, 0});
  for (int k = 1; k <= refinements; ++k) scans.push_back({1, {0}, k, k, 1, 0});
  return EncodeDirectly(
      16, 16, true,
      [&](jpeg_compress_struct& info) {
        info.scan_info = scans.data();
        info.num_scans = static_cast<int>(scans.size());
      },
      [](int y, std::vector<uint8_t>& row) {
        for (int x = 0; x < 16; ++x) row[x] = static_cast<uint8_t>(x * 16 + y);
      });
}

// Every progressive scan walks the whole image again: a stream of very many
// tiny scans is refused rather than decoded for minutes.
TEST(SpriteJpeg, AStreamOfVeryManyScansIsRefused) {
  std::vector<uint16_t> pixels;
  ASSERT_EQ(DecodeJpegSprite(MakeManyScanJpeg(40), 16, 16, false, pixels), SpriteLoadError::kNone);  // 82 scans
  EXPECT_EQ(pixels.size(), 256u);
  std::vector<uint16_t> untouched{7};
  EXPECT_EQ(DecodeJpegSprite(MakeManyScanJpeg(63), 16, 16, false, untouched),  // 128 scans
            SpriteLoadError::kJpegTooManyScans);
  EXPECT_EQ(untouched, std::vector<uint16_t>{7});
}

}  // namespace
