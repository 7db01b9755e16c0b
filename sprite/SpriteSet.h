// A sprite set: an ordered array of 16-bit images, each with its own colour
// key, placement offset, hot spot and two optional rectangle lists. Sets are
// read from sprite files (signature "93XYZ sprite"), from a file or straight
// from memory, and converted to the pixel format the caller works in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Pixel formats of a set (the values stored in its header).
inline constexpr int kFormat555 = 555;
inline constexpr int kFormat565 = 565;
inline constexpr int kFormatMinus565 = -565;  // 565 with red and blue exchanged
inline constexpr int kFormat4444 = 4444;

inline constexpr char kSpriteSignature[16] = "93XYZ sprite";
inline constexpr size_t kSignatureCompared = 13;  // the 12 letters and one NUL
inline constexpr size_t kSetHeaderSize = 28;
inline constexpr size_t kSpriteHeaderSize = 32;
inline constexpr size_t kRectRecordSize = 12;

struct SpriteSetHeader {
  char signature[16] = {};
  int16_t version = 0;
  int16_t reserved = 0;
  int16_t pixelFormat = 0;
  int16_t spriteCount = 0;
  int32_t animationCount = 0;
};

// One 12-byte rectangle record; the loader gives it no meaning.
struct SpriteRect {
  int16_t tag = 0;
  int16_t left = 0, top = 0, right = 0, bottom = 0;
  int16_t extra = 0;
};

struct SpriteEntry {
  int compressed = 0;  // 1: `pixels` holds the run-length encoding
  uint16_t colorKey = 0;
  int width = 0, height = 0;
  int offsetX = 0, offsetY = 0;
  int hotX = 0, hotY = 0;
  int rectCount1 = 0, rectCount2 = 0;
  uint32_t dataSize = 0;  // bytes of the pixel block
  int16_t spritePixelFormat = 0;
  uint8_t jpeg = 0, dither = 0, reserved = 0;
  std::vector<SpriteRect> rects1, rects2;
  // Raw pixels (width x height, top row first) or the encoding, as 16-bit
  // units. Empty: the sprite has no pixels.
  std::vector<uint16_t> pixels;
  uint32_t user1 = 0, user2 = 0;

  bool HasPixels() const { return !pixels.empty(); }
};

class xSprite {
 public:
  xSprite() = default;
  ~xSprite() { Clear(); }
  xSprite(const xSprite&) = delete;
  xSprite& operator=(const xSprite&) = delete;

  // Loading. 1 on success, 0 on failure. A wrong signature keeps the set as
  // it was; a later failure leaves the sprites read so far.
  int Load(const char* fileName) { return LoadWithFormat(fileName, kFormat555); }
  int LoadWithFormat(const char* fileName, int wantedFormat);
  int LoadFromMemory(std::span<const uint8_t> file, int wantedFormat = kFormat555);

  int GetWidth(int sprnum) const;
  int GetHeight(int sprnum) const;
  int GetCount() const { return static_cast<int>(entries_.size()); }
  bool IsLoaded() const { return !entries_.empty(); }
  const SpriteEntry* Entry(int sprnum) const;
  SpriteEntry* Entry(int sprnum);
  const SpriteSetHeader& Header() const { return header_; }
  int PixelFormat() const { return header_.pixelFormat; }
  // Bytes of the source that the last successful load consumed, animation
  // block excluded.
  size_t BytesConsumed() const { return bytesConsumed_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  void Clear();
  int Compress(int sprnum);
  int Decompress(int sprnum);
  int ConvertFormat(int wantedFormat);

  // Makes the set a one-sprite set over the given pixels (taken over,
  // width x height values).
  int CreateFromPixels(int width, int height, std::vector<uint16_t>&& pixels, uint16_t colorKey);
  int CreateFromPixelsCopy(int width, int height, std::span<const uint16_t> pixels, uint16_t colorKey);
  int CreateFromPixels(int width, int height, std::vector<uint16_t>&& pixels, uint16_t colorKey, int compress);
  // Inserts a sprite before `position` (0..count).
  int InsertSprite(int position, int width, int height, std::vector<uint16_t>&& pixels, uint16_t colorKey,
                   int compress);
  int InsertSpriteCopy(int position, int width, int height, std::span<const uint16_t> pixels, uint16_t colorKey,
                       int compress);
  // Crops border rows and columns that hold only the colour key; returns 1
  // when the sprite was trimmed (also when nothing had to go), 0 otherwise.
  int Trim(int sprnum, int adjust);

 private:
  friend class SpriteSetParser;
  static SpriteEntry MakeEntry(int width, int height, std::vector<uint16_t>&& pixels, uint16_t colorKey);
  void SetCreatedHeader();

  SpriteSetHeader header_;
  std::vector<SpriteEntry> entries_;
  // Animation blocks are never read (see the loader); the set has none.
  std::string name_;
  size_t bytesConsumed_ = 0;
};
