#include "sprite/SpriteRle.h"

#include <algorithm>

bool EncodeRle(std::span<const uint16_t> pixels, int width, int height, uint16_t key, std::vector<uint16_t>& out) {
  if (width <= 0 || height <= 0) return false;
  const size_t w = static_cast<size_t>(width);
  if (pixels.size() / w < static_cast<size_t>(height)) return false;

  std::vector<uint16_t> units(2 * static_cast<size_t>(height));
  // Every row holds at most width pixels and width + 1 runs of two units.
  units.reserve(units.size() + static_cast<size_t>(height) * (3 * w + 3));
  for (size_t row = 0; row < static_cast<size_t>(height); ++row) {
    const size_t offset = units.size();
    if (offset > 0xFFFFFFFFu) return false;
    units[2 * row] = static_cast<uint16_t>(offset);
    units[2 * row + 1] = static_cast<uint16_t>(offset >> 16);
    const uint16_t* line = pixels.data() + row * w;
    const size_t countAt = units.size();
    units.push_back(0);
    int runs = 0;
    size_t x = 0;
    while (x < w) {
      size_t skip = 0;
      while (x < w && line[x] == key) ++skip, ++x;
      const size_t first = x;
      while (x < w && line[x] != key) ++x;
      if (++runs > kMaxRunsPerRow || skip > 0xFFFF || x - first > 0xFFFF) return false;
      units.push_back(static_cast<uint16_t>(skip));
      units.push_back(static_cast<uint16_t>(x - first));
      units.insert(units.end(), line + first, line + x);
    }
    units[countAt] = static_cast<uint16_t>(runs);
  }
  out = std::move(units);
  return true;
}

bool DecodeRle(std::span<const uint16_t> units, int width, int height, uint16_t key, std::vector<uint16_t>& out) {
  if (width <= 0 || height <= 0) return false;
  if (units.size() / 2 < static_cast<size_t>(height)) return false;
  if (static_cast<size_t>(width) * static_cast<size_t>(height) > kMaxDecodedPixels) return false;
  out.assign(static_cast<size_t>(width) * static_cast<size_t>(height), key);
  return ForEachRun(units, width, height, [&](int row, int column, size_t first, int count) {
    std::copy_n(units.data() + first, count, out.data() + static_cast<size_t>(row) * width + column);
  });
}
