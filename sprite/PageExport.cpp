// Writing a 16-bit page out as a 24-bit BMP or a JPEG file.
#include <cstdio>
#include <memory>
#include <vector>

#include "sprite/ByteReader.h"
#include "sprite/PixelFormat.h"
#include "sprite/SpriteJpeg.h"
#include "sprite/SpritePage.h"

namespace {

bool WriteFile(const char* fileName, std::span<const uint8_t> bytes) {
  if (!fileName) return false;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(fileName, "wb"), std::fclose);
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
  return std::fclose(f.release()) == 0 && written;
}

}  // namespace

int SpritePage::SaveBmp(const char* fileName) const {
  if (bitsPerPixel_ != 16 || !bits_) return 0;
  const size_t rowBytes = (static_cast<size_t>(width_) * 3 + 3) / 4 * 4;
  const size_t imageBytes = rowBytes * static_cast<size_t>(height_);
  std::vector<uint8_t> file(54 + imageBytes, 0);
  uint8_t* h = file.data();
  h[0] = 'B', h[1] = 'M';
  StoreU32(h + 2, static_cast<uint32_t>(file.size()));
  StoreU32(h + 10, 54);
  StoreU32(h + 14, 40);  // the page's info header, as 24 bits bottom-up
  StoreU32(h + 18, static_cast<uint32_t>(width_));
  StoreU32(h + 22, static_cast<uint32_t>(height_));
  StoreU16(h + 26, 1);
  StoreU16(h + 28, 24);
  StoreU32(h + 34, bitmapInfo_.sizeImage);
  const uint16_t* pixels = Pixels();
  for (int y = 0; y < height_; ++y) {
    uint8_t* out = h + 54 + rowBytes * static_cast<size_t>(height_ - 1 - y);
    const uint16_t* in = pixels + static_cast<size_t>(y) * pitch_;
    for (int x = 0; x < width_; ++x, out += 3) {
      out[0] = Blue555(in[x]), out[1] = Green555(in[x]), out[2] = Red555(in[x]);
    }
  }
  return WriteFile(fileName, file) ? 1 : 0;
}

int SpritePage::SaveJpeg(const char* fileName, int quality) const {
  if (bitsPerPixel_ != 16 || !bits_ || width_ <= 0 || height_ <= 0) return 0;
  std::vector<uint8_t> rgb(static_cast<size_t>(width_) * height_ * 3);
  const uint16_t* pixels = Pixels();
  uint8_t* out = rgb.data();
  for (int y = 0; y < height_; ++y) {
    const uint16_t* in = pixels + static_cast<size_t>(y) * pitch_;
    for (int x = 0; x < width_; ++x, out += 3)
      out[0] = Red555(in[x]), out[1] = Green555(in[x]), out[2] = Blue555(in[x]);
  }
  std::vector<uint8_t> jpeg;
  if (!EncodeJpegRgb(rgb, width_, height_, quality, jpeg)) return 0;
  return WriteFile(fileName, jpeg) ? 1 : 0;
}
