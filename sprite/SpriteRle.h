// Run-length encoding of transparent sprites. The encoding is a sequence of
// 16-bit units: a table of `height` 32-bit row offsets (low unit first,
// counted in units from the start), then per row a run count and, per run,
// skip (key pixels), count and the count pixel values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr int kMaxRunsPerRow = 1024;
// No sprite is decoded to more pixels than this (128 MB): a few bytes of
// encoding can describe a huge, almost empty image.
inline constexpr size_t kMaxDecodedPixels = size_t{1} << 26;

// Encodes width x height raw pixels. False, with `out` untouched, when a row
// would need more than kMaxRunsPerRow runs or the sizes do not fit.
bool EncodeRle(std::span<const uint16_t> pixels, int width, int height, uint16_t key, std::vector<uint16_t>& out);

// Walks every run of an encoding, calling visit(row, column, firstUnit,
// count) for the pixels units[firstUnit .. firstUnit + count). Runs are cut
// to the row's width and to the units present, so a visitor never needs to
// check anything. Returns false when the encoding is malformed (a row offset,
// run or pixel block outside it, or a run past the row's end); what was
// valid has been visited by then.
template <typename Visit>
bool ForEachRun(std::span<const uint16_t> units, int width, int height, Visit&& visit) {
  if (width <= 0 || height <= 0) return true;
  const size_t total = units.size();
  if (total / 2 < static_cast<size_t>(height)) return false;
  bool intact = true;
  for (int row = 0; row < height; ++row) {
    size_t at = units[2 * row] | (static_cast<size_t>(units[2 * row + 1]) << 16);
    if (at >= total) {
      intact = false;
      continue;
    }
    int runs = units[at++];
    int column = 0;
    for (; runs > 0; --runs) {
      if (total - at < 2) {
        intact = false;
        break;
      }
      column += units[at];
      const size_t count = units[at + 1];
      at += 2;
      size_t usable = count;
      if (total - at < usable) {
        usable = total - at;
        intact = false;
      }
      if (column >= width) {
        if (count > 0) intact = false;
        break;
      }
      if (usable > static_cast<size_t>(width - column)) {
        usable = static_cast<size_t>(width - column);
        intact = false;
      }
      if (usable > 0) visit(row, column, at, static_cast<int>(usable));
      if (usable < count) break;
      column += static_cast<int>(count);
      at += count;
    }
  }
  return intact;
}

// Decodes into width x height pixels that start as the colour key. Returns
// false when the encoding is malformed (the valid part is decoded), and
// without touching `out` when it cannot even hold its row table or the image
// would exceed kMaxDecodedPixels.
bool DecodeRle(std::span<const uint16_t> units, int width, int height, uint16_t key, std::vector<uint16_t>& out);
