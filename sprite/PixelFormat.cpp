#include "sprite/PixelFormat.h"

#include <algorithm>

#include "sprite/SpriteRle.h"
#include "sprite/SpriteSet.h"

namespace {
uint16_t Unchanged(uint16_t v) { return v; }
}  // namespace

PixelConverter FindPixelConverter(int from, int to) {
  if (from == kFormat555 && to == kFormat565) return Convert555To565;
  if (from == kFormat565 && to == kFormat555) return Convert565To555;
  if (from == kFormat555 && to == kFormatMinus565) return Convert555ToMinus565;
  if (from == kFormat565 && to == kFormatMinus565) return Convert565ToMinus565;
  return Unchanged;
}

int xSprite::ConvertFormat(int wantedFormat) {
  if (wantedFormat == header_.pixelFormat) return 1;
  if (wantedFormat != kFormat555 && wantedFormat != kFormat565 && wantedFormat != kFormatMinus565) return 0;
  const PixelConverter convert = FindPixelConverter(header_.pixelFormat, wantedFormat);
  for (SpriteEntry& e : entries_) {
    if (!e.HasPixels()) continue;
    e.colorKey = convert(e.colorKey);
    if (e.compressed) {
      // Only the pixels stored in the runs; the row table and run headers stay.
      uint16_t* units = e.pixels.data();
      ForEachRun(e.pixels, e.width, e.height, [&](int, int, size_t first, int count) {
        for (int i = 0; i < count; ++i) units[first + i] = convert(units[first + i]);
      });
    } else {
      const size_t n = std::min(e.pixels.size(), static_cast<size_t>(e.width) * static_cast<size_t>(e.height));
      for (size_t i = 0; i < n; ++i) e.pixels[i] = convert(e.pixels[i]);
    }
  }
  header_.pixelFormat = static_cast<int16_t>(wantedFormat);
  return 1;
}
