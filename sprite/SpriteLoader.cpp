// Reads a sprite file. One small function per element of the format; every
// read is checked against what is left, and nothing is allocated beyond what
// the bytes left can hold. Fields past the end of a short file read as zero.
// A refusal names its check (SpriteLoadError); only xSprite's own methods
// turn it into their 0 or 1.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>

#include "sprite/SpriteLoader.h"

#include "sprite/ByteReader.h"
#include "sprite/SpriteJpeg.h"
#include "sprite/SpriteSet.h"

class SpriteSetParser {
 public:
  SpriteSetParser(xSprite& set, std::span<const uint8_t> file) : set_(set), in_(file) {}

  SpriteLoadError Parse(int wantedFormat) {
    uint8_t raw[kSetHeaderSize];
    in_.Read(raw);
    if (std::memcmp(raw, kSpriteSignature, kSignatureCompared) != 0) {
      return SpriteLoadError::kBadSignature;  // the set stays as it was
    }
    set_.Clear();
    ReadSetHeader(raw);
    ReserveEntries();
    for (int i = 0; i < set_.GetCount(); ++i) {
      const SpriteLoadError refused = ReadSprite(i);
      if (refused != SpriteLoadError::kNone) return refused;
    }
    // The animation block (animationCount > 0) follows the last sprite. No
    // part of the program plays animations, so it is left unread; it is the
    // last thing in the file, so skipping it cannot misplace anything.
    set_.bytesConsumed_ = in_.Position();
    if (set_.header_.pixelFormat != kFormat4444) set_.ConvertFormat(wantedFormat);
    return SpriteLoadError::kNone;
  }

 private:
  void ReadSetHeader(const uint8_t* raw) {
    SpriteSetHeader& h = set_.header_;
    std::memcpy(h.signature, raw, sizeof h.signature);
    h.version = LoadI16(raw + 16);
    h.reserved = LoadI16(raw + 18);
    h.pixelFormat = LoadI16(raw + 20);
    h.spriteCount = LoadI16(raw + 22);
    h.animationCount = static_cast<int32_t>(LoadU32(raw + 24));
  }

  // One entry per sprite whose header is at least partly in the file: a count
  // beyond that could only yield all-zero entries, and the file cannot
  // justify allocating them.
  void ReserveEntries() {
    SpriteSetHeader& h = set_.header_;
    size_t count = h.spriteCount > 0 ? static_cast<size_t>(h.spriteCount) : 0;
    const size_t present = (in_.Remaining() + kSpriteHeaderSize - 1) / kSpriteHeaderSize;
    count = std::min(count, present);
    set_.entries_.resize(count);
    h.spriteCount = static_cast<int16_t>(count);
  }

  SpriteLoadError ReadSprite(int sprnum) {
    SpriteEntry& e = set_.entries_[static_cast<size_t>(sprnum)];
    uint8_t raw[kSpriteHeaderSize];
    in_.Read(raw);
    const bool compressed = raw[0] == 1;
    ReadSpriteHeader(raw, e);
    e.rects1 = ReadRects(e.rectCount1);
    e.rects2 = ReadRects(e.rectCount2);
    e.rectCount1 = static_cast<int>(e.rects1.size());
    e.rectCount2 = static_cast<int>(e.rects2.size());
    if (e.jpeg == 1) return ReadJpegPixels(sprnum, compressed);
    ReadPixelBlock(e);
    return SpriteLoadError::kNone;
  }

  static void ReadSpriteHeader(const uint8_t* raw, SpriteEntry& e) {
    e.compressed = raw[0];
    e.colorKey = LoadU16(raw + 2);
    e.offsetX = LoadI16(raw + 4);
    e.offsetY = LoadI16(raw + 6);
    e.width = LoadI16(raw + 8);
    e.height = LoadI16(raw + 10);
    e.hotX = LoadI16(raw + 12);
    e.hotY = LoadI16(raw + 14);
    e.rectCount1 = LoadI16(raw + 16);
    e.rectCount2 = LoadI16(raw + 18);
    e.dataSize = LoadU32(raw + 20);
    e.spritePixelFormat = LoadI16(raw + 24);
    e.jpeg = raw[26];
    e.dither = raw[27];
    e.reserved = raw[28];
    e.user1 = e.user2 = 0;
  }

  // A list is cut to the records that are at least partly in the file.
  std::vector<SpriteRect> ReadRects(int count) {
    if (count <= 0) return {};
    const size_t present = (in_.Remaining() + kRectRecordSize - 1) / kRectRecordSize;
    std::vector<SpriteRect> rects(std::min(static_cast<size_t>(count), present));
    for (SpriteRect& r : rects) {
      r.tag = in_.I16();
      r.left = in_.I16();
      r.top = in_.I16();
      r.right = in_.I16();
      r.bottom = in_.I16();
      r.extra = in_.I16();
    }
    return rects;
  }

  // The block is kept as read (encoding or raw pixels). A block that runs
  // past the end of the file keeps the bytes that are there.
  void ReadPixelBlock(SpriteEntry& e) {
    const size_t bytes = std::min<size_t>(e.dataSize, in_.Remaining());
    std::vector<uint16_t> units((bytes + 1) / 2);
    const std::span<const uint8_t> block = in_.Peek(bytes);
    if constexpr (std::endian::native == std::endian::little) {
      if (bytes > 0) std::memcpy(units.data(), block.data(), bytes);  // the file's byte order already
    } else {
      for (size_t i = 0; i < bytes; ++i) units[i / 2] |= static_cast<uint16_t>(block[i] << (8 * (i % 2)));
    }
    in_.Skip(bytes);
    e.pixels = std::move(units);
    e.dataSize = static_cast<uint32_t>(bytes);
  }

  SpriteLoadError ReadJpegPixels(int sprnum, bool compressed) {
    SpriteEntry& e = set_.entries_[static_cast<size_t>(sprnum)];
    // The stream must be whole: the next sprite begins dataSize bytes after
    // its start, whatever the decoder reads ahead.
    if (e.dataSize > in_.Remaining()) return SpriteLoadError::kJpegPastEnd;
    const uint64_t area = static_cast<uint64_t>(e.width) * static_cast<uint64_t>(e.height);
    if (area > jpegPixelsLeft_) return SpriteLoadError::kJpegSetTooLarge;
    jpegPixelsLeft_ -= area;
    const std::span<const uint8_t> stream = in_.Peek(e.dataSize);
    std::vector<uint16_t> pixels;
    const SpriteLoadError refused = DecodeJpegSprite(stream, e.width, e.height, e.dither == 1, pixels);
    if (refused != SpriteLoadError::kNone) return refused;
    in_.Skip(e.dataSize);
    e.pixels = std::move(pixels);
    e.dataSize = static_cast<uint32_t>(e.pixels.size() * 2);
    e.compressed = 0;
    if (compressed) set_.Compress(sprnum);
    return SpriteLoadError::kNone;
  }

  xSprite& set_;
  ByteReader in_;
  uint64_t jpegPixelsLeft_ = kMaxJpegPixelsPerSet;
};

SpriteLoadError LoadSpriteSet(xSprite& set, std::span<const uint8_t> file, int wantedFormat) {
  SpriteSetParser parser(set, file);
  return parser.Parse(wantedFormat);
}

SpriteLoadError LoadSpriteSetFile(xSprite& set, const char* fileName, int wantedFormat) {
  if (!fileName) return SpriteLoadError::kNoFileName;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(fileName, "rb"), std::fclose);
  if (!f) return SpriteLoadError::kFileNotOpened;
  // Sized by the file's length where it can be had; read in growing steps
  // in any case, since the file may change or not be seekable.
  long length = -1;
  if (std::fseek(f.get(), 0, SEEK_END) == 0) length = std::ftell(f.get());
  std::rewind(f.get());
  std::vector<uint8_t> bytes(length > 0 ? static_cast<size_t>(length) + 1 : 64 * 1024);
  size_t used = 0;
  for (;;) {
    used += std::fread(bytes.data() + used, 1, bytes.size() - used, f.get());
    if (used < bytes.size()) break;
    bytes.resize(bytes.size() * 2);
  }
  bytes.resize(used);
  return LoadSpriteSet(set, bytes, wantedFormat);
}

int xSprite::LoadFromMemory(std::span<const uint8_t> file, int wantedFormat) {
  return LoadSpriteSet(*this, file, wantedFormat) == SpriteLoadError::kNone ? 1 : 0;
}

int xSprite::LoadWithFormat(const char* fileName, int wantedFormat) {
  return LoadSpriteSetFile(*this, fileName, wantedFormat) == SpriteLoadError::kNone ? 1 : 0;
}
