#include "sprite/SpritePage.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "sprite/SpriteDraw.h"

namespace {
// No page needs more than this; a larger request gets no memory.
constexpr uint64_t kMaxPageBytes = 256ull * 1024 * 1024;
}  // namespace

int SpritePage::Create(int width, int height, int bitsPerPixel, int shadow, std::span<const uint8_t> paletteSource,
                       const char* paletteFile) {
  if (attached_) Detach();
  memory_.clear();
  shadow_.clear();
  palette_.clear();
  hasBitmapInfo_ = false;
  bits_ = nullptr;

  int bytesPerPixel = 0, entries = 0;
  switch (bitsPerPixel) {
    case 4: bytesPerPixel = 1, entries = 16; break;
    case 8: bytesPerPixel = 1, entries = 256; break;
    case 16: bytesPerPixel = 2; break;
    case 24: bytesPerPixel = 3; break;
    default: return 0;
  }
  shadowEnabled_ = bitsPerPixel == 16 && shadow ? 1 : 0;
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  bitsPerPixel_ = bitsPerPixel;
  bytesPerPixel_ = bytesPerPixel;
  // 4-bit rows hold two pixels per byte in the bitmap, but the page addresses
  // them one byte per pixel, as 8-bit pages do.
  stride_ = static_cast<int>((static_cast<int64_t>(width_) * bytesPerPixel + 3) / 4 * 4);
  pitch_ = stride_ / bytesPerPixel;

  bitmapInfo_ = PageBitmapInfo{};
  bitmapInfo_.width = width_;
  bitmapInfo_.height = -height_;
  bitmapInfo_.bitCount = static_cast<uint16_t>(bitsPerPixel);
  bitmapInfo_.sizeImage = static_cast<uint32_t>(static_cast<uint64_t>(stride_) * height_);
  hasBitmapInfo_ = true;
  if (entries > 0) {
    palette_.resize(static_cast<size_t>(entries));
    BuildPalette(paletteSource, paletteFile);
  }

  const uint64_t bytes = static_cast<uint64_t>(stride_) * static_cast<uint64_t>(height_);
  if (bytes > 0 && bytes <= kMaxPageBytes) {
    memory_.assign(bytes / 4, 0);
    bits_ = reinterpret_cast<uint8_t*>(memory_.data());
    if (shadowEnabled_) shadow_.assign(bytes / 2, 0);  // twice the depth: 32 bits per pixel
  }
  KeepClipInside();
  GetBlendTables();
  frozen_ = 0;
  return 1;
}

void SpritePage::BuildPalette(std::span<const uint8_t> paletteSource, const char* paletteFile) {
  std::vector<uint8_t> quads;
  if (paletteFile) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(paletteFile, "rb"), std::fclose);
    if (f) {
      quads.resize(palette_.size() * 4);
      quads.resize(std::fread(quads.data(), 1, quads.size(), f.get()));
    }
  } else {
    quads.assign(paletteSource.begin(), paletteSource.end());
  }
  for (size_t i = 0; i < palette_.size(); ++i) {
    if (i * 4 + 3 < quads.size()) {
      palette_[i] = (uint32_t{quads[i * 4 + 2]} << 16) | (uint32_t{quads[i * 4 + 1]} << 8) | quads[i * 4];
    } else {
      const uint32_t r = ((i >> 5) & 7) * 255 / 7, g = ((i >> 2) & 7) * 255 / 7, b = (i & 3) * 255 / 3;
      palette_[i] = (r << 16) | (g << 8) | b;
    }
  }
}

void SpritePage::Destroy() {
  if (attached_) Detach();
  memory_.clear();
  memory_.shrink_to_fit();
  shadow_.clear();
  shadow_.shrink_to_fit();
  palette_.clear();
  hasBitmapInfo_ = false;
  bitmapInfo_ = PageBitmapInfo{};
  bits_ = nullptr;
  // Nothing is left to clip to: the box starts over as on a new page.
  clipLeft_ = clipTop_ = clipRight_ = clipBottom_ = 0;
}

int SpritePage::Attach(int width, int height, uint16_t* pixels, int strideBytes) {
  if (hasBitmapInfo_ || !memory_.empty() || attached_) return 0;
  if (!pixels || width <= 0 || height <= 0 || strideBytes < width * 2 || strideBytes % 2) return 0;
  bits_ = reinterpret_cast<uint8_t*>(pixels);
  width_ = width, height_ = height;
  stride_ = strideBytes;
  pitch_ = strideBytes / 2;
  bitsPerPixel_ = 16, bytesPerPixel_ = 2;
  attached_ = 1;
  KeepClipInside();
  return 1;
}

int SpritePage::Detach() {
  if (!attached_) return 0;
  bits_ = nullptr;
  width_ = height_ = stride_ = pitch_ = 0;
  attached_ = 0;
  KeepClipInside();
  return 1;
}

void SpritePage::SetClip(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const int maxX = std::max(width_ - 1, 0), maxY = std::max(height_ - 1, 0);
  clipLeft_ = std::clamp(x1, 0, maxX);
  clipRight_ = std::clamp(x2, 0, maxX);
  clipTop_ = std::clamp(y1, 0, maxY);
  clipBottom_ = std::clamp(y2, 0, maxY);
}

// Drawing trusts the clip box to lie inside the page; a box kept from a
// larger page is cut to the new one (an empty page keeps it at (0, 0)).
void SpritePage::KeepClipInside() { SetClip(clipLeft_, clipTop_, clipRight_, clipBottom_); }

void SpritePage::SetOutput(int x, int y, int scale) {
  outputX_ = x, outputY_ = y;
  outputScale_ = scale > 0 ? scale : 1;
}

PagePoint SpritePage::WindowToPage(int x, int y) const {
  return {(x - outputX_) / outputScale_, (y - outputY_) / outputScale_};
}

void SpritePage::Combine(int x, int y, uint32_t color, PaintMode mode) {
  uint8_t* p = bits_ + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * bytesPerPixel_;
  switch (bytesPerPixel_) {
    case 2: {
      uint16_t v = static_cast<uint16_t>(p[0] | (p[1] << 8));
      const uint16_t c = static_cast<uint16_t>(color);
      v = mode == PaintMode::Xor    ? v ^ c
          : mode == PaintMode::Half ? static_cast<uint16_t>(((v & 0x7BDE) + (c & 0x7BDE)) >> 1)
                                    : c;
      p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case 3:  // blue, green, red from 0xRRGGBB
      for (int i = 0; i < 3; ++i) {
        const uint8_t c = static_cast<uint8_t>(color >> (8 * i));
        p[i] = mode == PaintMode::Xor ? p[i] ^ c : mode == PaintMode::Half ? static_cast<uint8_t>((p[i] + c) / 2) : c;
      }
      break;
    default:  // palette index; halving an index means nothing, so it copies
      *p = mode == PaintMode::Xor ? static_cast<uint8_t>(*p ^ color) : static_cast<uint8_t>(color);
      break;
  }
}

void SpritePage::FillRect(int x1, int y1, int x2, int y2, uint32_t color, PaintMode mode) {
  if (!bits_ || frozen_) return;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  int left = 0, top = 0, right = width_ - 1, bottom = height_ - 1;
  if (clipEnabled_) left = clipLeft_, top = clipTop_, right = clipRight_, bottom = clipBottom_;
  x1 = std::max(x1, left), y1 = std::max(y1, top);
  x2 = std::min(x2, right), y2 = std::min(y2, bottom);
  for (int y = y1; y <= y2; ++y) {
    if (bytesPerPixel_ == 2 && mode == PaintMode::Copy) {
      std::fill_n(Pixels() + static_cast<size_t>(y) * pitch_ + x1, std::max(x2 - x1 + 1, 0),
                  static_cast<uint16_t>(color));
      continue;
    }
    for (int x = x1; x <= x2; ++x) Combine(x, y, color, mode);
  }
}

void SpritePage::DrawRect(int x1, int y1, int x2, int y2, uint32_t color, PaintMode mode) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  HLine(x1, x2, y1, color, mode);
  if (y2 != y1) HLine(x1, x2, y2, color, mode);
  if (y2 - y1 > 1) {
    VLine(x1, y1 + 1, y2 - 1, color, mode);
    if (x2 != x1) VLine(x2, y1 + 1, y2 - 1, color, mode);
  }
}

void SpritePage::HLine(int x1, int x2, int y, uint32_t color, PaintMode mode) { FillRect(x1, y, x2, y, color, mode); }
void SpritePage::VLine(int x, int y1, int y2, uint32_t color, PaintMode mode) { FillRect(x, y1, x, y2, color, mode); }
void SpritePage::PutPixel(int x, int y, uint32_t color, PaintMode mode) { FillRect(x, y, x, y, color, mode); }

uint32_t SpritePage::GetPixel(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* p = bits_ + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * bytesPerPixel_;
  switch (bytesPerPixel_) {
    case 2: return static_cast<uint32_t>(p[0] | (p[1] << 8));
    case 3: return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    default: return *p;
  }
}
