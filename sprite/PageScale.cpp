#include "sprite/PageScale.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

// One output pixel's share of the input along an axis: the input pixels it
// covers from `first`, with their weights in 1/65536 of the whole.
struct Span {
  int first = 0;
  std::vector<uint32_t> weights;
};

std::vector<Span> Spans(int from, int to) {
  std::vector<Span> spans(static_cast<size_t>(to));
  const double step = static_cast<double>(from) / to;
  for (int i = 0; i < to; ++i) {
    const double start = i * step;
    const double end = std::min(start + step, static_cast<double>(from));
    Span& span = spans[static_cast<size_t>(i)];
    span.first = std::min(static_cast<int>(start), from - 1);
    uint32_t given = 0;
    for (int p = span.first; p < from && p < end; ++p) {
      const double covered = std::min<double>(p + 1, end) - std::max<double>(p, start);
      const auto weight = static_cast<uint32_t>(covered / step * 65536.0 + 0.5);
      span.weights.push_back(weight);
      given += weight;
    }
    // Rounding leftovers go to the largest share, so the weights make a whole.
    auto largest = std::max_element(span.weights.begin(), span.weights.end());
    *largest += 65536 - std::min<uint32_t>(given, 65536);
    if (given > 65536) *largest -= given - 65536;
  }
  return spans;
}

}  // namespace

void ScalePixels555(const uint16_t* src, int srcPitch, int srcWidth, int srcHeight, uint16_t* dst, int dstPitch,
                    int dstWidth, int dstHeight) {
  if (src == nullptr || dst == nullptr || srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0) return;
  const std::vector<Span> across = Spans(srcWidth, dstWidth);
  const std::vector<Span> down = Spans(srcHeight, dstHeight);
  // First across each input row (channels in 1/65536 levels), then down.
  std::vector<uint32_t> rows(static_cast<size_t>(srcHeight) * dstWidth * 3);
  for (int y = 0; y < srcHeight; ++y) {
    const uint16_t* in = src + static_cast<size_t>(y) * srcPitch;
    uint32_t* out = rows.data() + static_cast<size_t>(y) * dstWidth * 3;
    for (int x = 0; x < dstWidth; ++x) {
      const Span& span = across[static_cast<size_t>(x)];
      uint32_t r = 0, g = 0, b = 0;
      for (size_t k = 0; k < span.weights.size(); ++k) {
        const uint16_t p = in[span.first + static_cast<int>(k)];
        r += (p >> 10 & 31) * span.weights[k];
        g += (p >> 5 & 31) * span.weights[k];
        b += (p & 31) * span.weights[k];
      }
      out[3 * x] = r, out[3 * x + 1] = g, out[3 * x + 2] = b;
    }
  }
  for (int y = 0; y < dstHeight; ++y) {
    const Span& span = down[static_cast<size_t>(y)];
    uint16_t* out = dst + static_cast<size_t>(y) * dstPitch;
    for (int x = 0; x < dstWidth; ++x) {
      uint64_t c[3] = {};
      for (size_t k = 0; k < span.weights.size(); ++k) {
        const uint32_t* in = rows.data() + (static_cast<size_t>(span.first) + k) * dstWidth * 3 + 3 * x;
        for (int ch = 0; ch < 3; ++ch) c[ch] += static_cast<uint64_t>(in[ch]) * span.weights[k];
      }
      const auto level = [](uint64_t v) {
        return static_cast<uint16_t>(std::min<uint64_t>((v + (1ULL << 31)) >> 32, 31));
      };
      out[x] = static_cast<uint16_t>(level(c[0]) << 10 | level(c[1]) << 5 | level(c[2]));
    }
  }
}
