// The smooth resize that the hosts use between the artwork's scale and the
// display's.
#include <gtest/gtest.h>

#include <vector>

#include "sprite/PageScale.h"

// Each output pixel is the average of what it covers: a plain colour stays
// itself at a ratio between, and a one-pixel line halved in width is kept as
// a half-strength line (15.5 of 31 rounds to 16) rather than dropped.
TEST(PageScale, EachPixelIsTheAverageOfTheAreaItCovers) {
  struct Case {
    int w, h;
    std::vector<uint16_t> src;
    int dw, dh;
    std::vector<uint16_t> expected;
  };
  const Case cases[] = {
      {4, 4, std::vector<uint16_t>(16, 0x03E0), 3, 3, std::vector<uint16_t>(9, 0x03E0)},
      {4, 1, {0, 0x7FFF, 0, 0}, 2, 1, {0x4210, 0}},
      {2, 1, {0x1234, 0x0567}, 2, 1, {0x1234, 0x0567}},
  };
  for (const Case& c : cases) {
    std::vector<uint16_t> out(c.expected.size());
    ScalePixels555(c.src.data(), c.w, c.w, c.h, out.data(), c.dw, c.dw, c.dh);
    EXPECT_EQ(out, c.expected) << c.w << " to " << c.dw;
  }
}
