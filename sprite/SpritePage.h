// An off-screen drawing page: 4-, 8-, 16- or 24-bit pixel memory of pitch x
// height pixels, top row first. 16-bit pages hold 555 pixels. The page owns
// its memory unless it was attached to someone else's (a platform bitmap,
// for instance); hosts copy rectangles of it to their window through the
// accessors below.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The fields of the page's bitmap-info header, for hosts that hand the page
// to a platform bitmap API.
struct PageBitmapInfo {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;  // negative: rows top-down
  uint16_t planes = 1;
  uint16_t bitCount = 0;
  uint32_t compression = 0;  // uncompressed RGB
  uint32_t sizeImage = 0;
};

struct PagePoint {
  int x = 0, y = 0;
};

// How the fill and line primitives combine their colour with the page.
enum class PaintMode { Copy, Xor, Half };

class SpritePage {
 public:
  SpritePage() = default;
  ~SpritePage() { Destroy(); }
  SpritePage(const SpritePage&) = delete;
  SpritePage& operator=(const SpritePage&) = delete;

  // Builds the page. Palette entries (4- and 8-bit pages) come from the file,
  // else from `paletteSource` (4 bytes blue, green, red, 0 per entry), else
  // the default palette. 0 for an unsupported depth; 1 otherwise, also when
  // no memory could be had (the page then draws nothing).
  int Create(int width, int height, int bitsPerPixel, int shadow = 0, std::span<const uint8_t> paletteSource = {},
             const char* paletteFile = nullptr);
  void Destroy();
  // Draws into the caller's 16-bit memory; refused while the page has its own.
  int Attach(int width, int height, uint16_t* pixels, int strideBytes);
  int Detach();

  // Orders and clamps the corners to the page. The box stays inside the
  // page: Create, Attach and Detach cut it to the new size, Destroy resets it.
  void SetClip(int x1, int y1, int x2, int y2);
  void EnableClip(int flag) { clipEnabled_ = flag; }
  void SetMirrorAxis(int x) { mirrorAxis_ = x; }
  void SetFrozen(int flag) { frozen_ = flag; }
  void SetDirectCopy(int flag) { directCopy_ = flag; }
  void SetOutput(int x, int y, int scale);
  PagePoint WindowToPage(int x, int y) const;

  int SaveBmp(const char* fileName) const;
  int SaveJpeg(const char* fileName, int quality) const;

  // Primitives; corners in any order, inclusive, clipped to the page (and to
  // the clip rectangle while it is enabled). Colours are page pixel values.
  void FillRect(int x1, int y1, int x2, int y2, uint32_t color, PaintMode mode = PaintMode::Copy);
  void DrawRect(int x1, int y1, int x2, int y2, uint32_t color, PaintMode mode = PaintMode::Copy);
  void HLine(int x1, int x2, int y, uint32_t color, PaintMode mode = PaintMode::Copy);
  void VLine(int x, int y1, int y2, uint32_t color, PaintMode mode = PaintMode::Copy);
  void PutPixel(int x, int y, uint32_t color, PaintMode mode = PaintMode::Copy);
  uint32_t GetPixel(int x, int y) const;

  // What a host needs to copy the page to its window.
  bool HasPixels() const { return bits_ != nullptr; }
  uint16_t* Pixels() { return bitsPerPixel_ == 16 ? reinterpret_cast<uint16_t*>(bits_) : nullptr; }
  const uint16_t* Pixels() const { return bitsPerPixel_ == 16 ? reinterpret_cast<const uint16_t*>(bits_) : nullptr; }
  uint8_t* Bytes() { return bits_; }
  const uint8_t* Bytes() const { return bits_; }
  int Pitch() const { return pitch_; }
  int Stride() const { return stride_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bitsPerPixel_; }
  int BytesPerPixel() const { return bytesPerPixel_; }
  const PageBitmapInfo& BitmapInfo() const { return bitmapInfo_; }
  // Colour table entries as 0x00RRGGBB.
  const std::vector<uint32_t>& Palette() const { return palette_; }
  bool IsAttached() const { return attached_ != 0; }
  bool OwnsBitmap() const { return !memory_.empty(); }
  const uint32_t* ShadowPixels() const { return shadow_.empty() ? nullptr : shadow_.data(); }

  bool ClipEnabled() const { return clipEnabled_ != 0; }
  int ClipLeft() const { return clipLeft_; }
  int ClipTop() const { return clipTop_; }
  int ClipRight() const { return clipRight_; }
  int ClipBottom() const { return clipBottom_; }
  int MirrorAxis() const { return mirrorAxis_; }
  bool IsFrozen() const { return frozen_ != 0; }
  bool IsDirectCopy() const { return directCopy_ != 0; }

 private:
  void BuildPalette(std::span<const uint8_t> paletteSource, const char* paletteFile);
  void Combine(int x, int y, uint32_t color, PaintMode mode);
  void KeepClipInside();

  PageBitmapInfo bitmapInfo_;
  bool hasBitmapInfo_ = false;
  std::vector<uint32_t> palette_;
  std::vector<uint32_t> memory_;  // owned pixels; rows are whole 32-bit words
  std::vector<uint32_t> shadow_;
  uint8_t* bits_ = nullptr;
  int stride_ = 0, pitch_ = 0, width_ = 0, height_ = 0;
  int bitsPerPixel_ = 8, bytesPerPixel_ = 1;
  int clipEnabled_ = 0;
  int clipLeft_ = 0, clipTop_ = 0, clipRight_ = 0, clipBottom_ = 0;
  int mirrorAxis_ = 0;
  int frozen_ = 0;
  int directCopy_ = 0;
  int shadowEnabled_ = 0;
  int attached_ = 0;
  int outputX_ = 0, outputY_ = 0, outputScale_ = 1;
};
