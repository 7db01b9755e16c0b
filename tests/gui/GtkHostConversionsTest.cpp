// The GTK host's conversions from the window's portable forms; no display
// needed.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gtk/GtkHostConversions.h"

namespace {

TEST(GtkMnemonic, TheWindowsMarkBecomesGtksAndUnderscoresStayLiteral) {
  EXPECT_EQ(GtkMnemonic(u"정보(&A)..."), "정보(_A)...");
  EXPECT_EQ(GtkMnemonic(u"a_b&c"), "a__b_c");
}

TEST(HostCss, ColoursAppearOnlyWhereTheWindowOverridesThem) {
  const std::string plain = HostCss({}, {});
  EXPECT_EQ(plain.find("window"), std::string::npos);
  EXPECT_EQ(plain.find("label"), std::string::npos);
  EXPECT_NE(plain.find("min-height: 15px"), std::string::npos);  // the progress bar's height stays

  const ControlColors dialog{true, 0x0A0B0C, 0xFFEEDD, 0};
  const ControlColors label{true, 0x123456, 0, 0};
  const std::string coloured = HostCss(dialog, label);
  EXPECT_NE(coloured.find("window { background-color: #FFEEDD; color: #0A0B0C; }"), std::string::npos);
  EXPECT_NE(coloured.find("label { color: #123456; }"), std::string::npos);
  EXPECT_EQ(coloured.find("background-color: #000000"), std::string::npos);
  // High contrast: the status line in the system's colours, after its own rule.
  const std::string contrast = HostCss(dialog, label, {true, 0xFFFFFF, 0x000000, 0x00FFFF});
  EXPECT_NE(contrast.find("#status { color: #FFFFFF; background-color: #000000; }"), std::string::npos);
}

// The RGB24 value at (x, y) of a block's image.
uint32_t Pixel(const PageBlock& block, int x, int y) {
  cairo_surface_t* image = block.image.get();
  const unsigned char* data = cairo_image_surface_get_data(image);
  const auto* row = reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(image));
  return row[x] & 0xFFFFFF;
}

TEST(CopyPageBlock, TheAreaIsCutToThePageAndEveryChannelWidened) {
  // A 3 x 2 page in rows of 4 pixels; the fourth column is outside the page.
  const std::vector<uint16_t> page = {0x7FFF, 0x001F, 0x4210, 0x1234,  //
                                      0x7C00, 0x03E0, 0x0000, 0x1234};
  const PageBlock block = CopyPageBlock(page.data(), 4, 3, 2, PixelRect{1, -5, 9, 9});
  ASSERT_TRUE(block.image);
  EXPECT_EQ(block.left, 1);
  EXPECT_EQ(block.top, 0);
  EXPECT_EQ(cairo_image_surface_get_width(block.image.get()), 2);
  EXPECT_EQ(cairo_image_surface_get_height(block.image.get()), 2);
  EXPECT_EQ(Pixel(block, 0, 0), 0x0000FFu);
  EXPECT_EQ(Pixel(block, 1, 0), 0x848484u);  // 16 of 31 in each channel
  EXPECT_EQ(Pixel(block, 0, 1), 0x00FF00u);
  EXPECT_EQ(Pixel(block, 1, 1), 0x000000u);

  const PageBlock white = CopyPageBlock(page.data(), 4, 3, 2, PixelRect{0, 0, 1, 1});
  ASSERT_TRUE(white.image);
  EXPECT_EQ(Pixel(white, 0, 0), 0xFFFFFFu);
}

TEST(CopyPageBlock, NothingOfTheAreaOnThePageGivesNoImage) {
  const std::vector<uint16_t> page(4, 0x7FFF);
  EXPECT_FALSE(CopyPageBlock(page.data(), 2, 2, 2, PixelRect{2, 0, 5, 2}).image);
  EXPECT_FALSE(CopyPageBlock(page.data(), 2, 2, 2, PixelRect{1, 1, 1, 2}).image);
  EXPECT_FALSE(CopyPageBlock(nullptr, 2, 2, 2, PixelRect{0, 0, 2, 2}).image);
}

}  // namespace
