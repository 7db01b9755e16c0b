// The smooth resize that the hosts use between the artwork's scale and the
// display's.
#include <gtest/gtest.h>

#include <vector>

#include "sprite/PageScale.h"

namespace {

std::vector<uint16_t> Scaled(const std::vector<uint16_t>& src, int w, int h, int dw, int dh) {
  std::vector<uint16_t> out(static_cast<size_t>(dw) * dh, 0xFFFF);
  ScalePixels555(src.data(), w, w, h, out.data(), dw, dw, dh);
  return out;
}

// Each output pixel is the average of what it covers: a plain colour stays
// itself at every ratio, a 2 x 2 block becomes its mean, and a one-pixel
// line halved in width is kept as a half-strength line rather than dropped.
TEST(PageScale, EachPixelIsTheAverageOfTheAreaItCovers) {
  constexpr uint16_t kWhite = 0x7FFF, kBlack = 0, kGreen = 0x03E0;
  struct Case {
    const char* name;
    int w, h;
    std::vector<uint16_t> src;
    int dw, dh;
    std::vector<uint16_t> expected;  // empty: every pixel is src[0]
  };
  const std::vector<uint16_t> green(64 * 32, kGreen);
  const Case cases[] = {
      {"plain, 2x to 1.5x", 64, 32, green, 48, 24, {}},
      {"plain, 2x to 1.25x", 64, 32, green, 40, 20, {}},
      {"plain, 1x to 1.5x", 64, 32, green, 96, 48, {}},
      {"plain, same size", 64, 32, green, 64, 32, {}},
      {"block mean", 2, 2, {kWhite, kBlack, kBlack, kBlack}, 1, 1, {0x2108}},  // 31 / 4 rounds to 8 in each channel
      {"thin line halved",
       4,
       2,
       {kBlack, kWhite, kBlack, kBlack, kBlack, kWhite, kBlack, kBlack},
       2,
       1,
       {0x4210, kBlack}},  // 15.5 of 31 rounds to 16
      {"same size is a copy", 2, 1, {0x1234, 0x0567}, 2, 1, {0x1234, 0x0567}},
  };
  for (const Case& c : cases) {
    const std::vector<uint16_t> out = Scaled(c.src, c.w, c.h, c.dw, c.dh);
    if (c.expected.empty()) {
      for (const uint16_t p : out) ASSERT_EQ(p, c.src[0]) << c.name;
    } else {
      EXPECT_EQ(out, c.expected) << c.name;
    }
  }
}

}  // namespace
