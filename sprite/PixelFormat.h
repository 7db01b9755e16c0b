// 16-bit pixel layouts and the conversions between them.
#pragma once

#include <cstdint>

// The conversion function from one set format to another; pairs without a
// conversion keep the value.
using PixelConverter = uint16_t (*)(uint16_t);
PixelConverter FindPixelConverter(int from, int to);

inline uint16_t Convert555To565(uint16_t v) { return static_cast<uint16_t>(((v & 0xFFE0) << 1) | (v & 0x1F)); }
inline uint16_t Convert565To555(uint16_t v) { return static_cast<uint16_t>(((v >> 1) & 0x7FE0) | (v & 0x1F)); }
inline uint16_t Convert555ToMinus565(uint16_t v) {
  return static_cast<uint16_t>(((v & 0x1F) << 11) | (((v >> 5) & 0x1F) << 6) | ((v >> 10) & 0x1F));
}
inline uint16_t Convert565ToMinus565(uint16_t v) {
  return static_cast<uint16_t>(((v & 0x1F) << 11) | (v & 0x07E0) | ((v >> 11) & 0x1F));
}

// 8-bit RGB to 555, truncating.
inline uint16_t Rgb555(unsigned r, unsigned g, unsigned b) {
  return static_cast<uint16_t>(((r >> 3) << 10) | ((g & 0xF8) << 2) | (b >> 3));
}
// 555 channels back to 8 bits (low bits zero).
inline uint8_t Red555(uint16_t v) { return static_cast<uint8_t>((v >> 10) << 3); }
inline uint8_t Green555(uint16_t v) { return static_cast<uint8_t>((v >> 5) << 3); }
inline uint8_t Blue555(uint16_t v) { return static_cast<uint8_t>(v << 3); }
