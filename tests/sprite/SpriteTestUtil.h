// Builders for sprite files in memory, for the loader and drawing tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "sprite/ByteReader.h"
#include "sprite/SpriteLoader.h"
#include "sprite/SpriteSet.h"

// Failed assertions name the reason by its number.
inline void PrintTo(SpriteLoadError reason, std::ostream* out) {
  *out << "SpriteLoadError " << static_cast<int>(reason);
}

namespace spritetest {

struct FileSprite {
  uint8_t compressed = 0;
  uint16_t key = 0x7C1F;
  int16_t offsetX = 0, offsetY = 0, width = 0, height = 0, hotX = 0, hotY = 0;
  std::vector<int16_t> rects1, rects2;  // six values per record
  std::vector<uint16_t> units;          // the pixel block
  uint8_t jpeg = 0, dither = 0;
  std::vector<uint8_t> jpegStream;  // replaces `units` when jpeg = 1
};

inline void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

inline std::vector<uint8_t> BuildFile(const std::vector<FileSprite>& sprites, int16_t format = 555,
                                      int16_t version = 31) {
  std::vector<uint8_t> out(kSpriteSignature, kSpriteSignature + 16);
  Put16(out, static_cast<uint16_t>(version));
  Put16(out, 2);
  Put16(out, static_cast<uint16_t>(format));
  Put16(out, static_cast<uint16_t>(sprites.size()));
  Put32(out, 0);
  for (const FileSprite& s : sprites) {
    const uint32_t size =
        s.jpeg ? static_cast<uint32_t>(s.jpegStream.size()) : static_cast<uint32_t>(s.units.size() * 2);
    out.push_back(s.compressed);
    out.push_back(0);
    for (int16_t v : {static_cast<int16_t>(s.key), s.offsetX, s.offsetY, s.width, s.height, s.hotX, s.hotY,
                      static_cast<int16_t>(s.rects1.size() / 6), static_cast<int16_t>(s.rects2.size() / 6)})
      Put16(out, static_cast<uint16_t>(v));
    Put32(out, size);
    Put16(out, 555);
    out.insert(out.end(), {s.jpeg, s.dither, 0, 0, 0, 0});
    for (int16_t v : s.rects1) Put16(out, static_cast<uint16_t>(v));
    for (int16_t v : s.rects2) Put16(out, static_cast<uint16_t>(v));
    if (s.jpeg)
      out.insert(out.end(), s.jpegStream.begin(), s.jpegStream.end());
    else
      for (uint16_t v : s.units) Put16(out, v);
  }
  return out;
}

inline FileSprite RawSprite(int16_t width, int16_t height, std::vector<uint16_t> pixels, uint16_t key = 0x7C1F) {
  FileSprite s;
  s.width = width, s.height = height, s.key = key;
  s.hotX = static_cast<int16_t>(width / 2), s.hotY = static_cast<int16_t>(height / 2);
  s.units = std::move(pixels);
  return s;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string DataPath(const std::string& name) { return std::string(ZK_SPRITE_TEST_DATA) + "/" + name; }

}  // namespace spritetest
