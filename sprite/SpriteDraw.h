// Drawing sprites onto a page.
#pragma once

#include <cstdint>

class SpritePage;
class xSprite;

// opt bits.
inline constexpr uint32_t kOptMirrorX = 0x1;     // mirror left to right
inline constexpr uint32_t kOptMirrorY = 0x2;     // mirror top to bottom
inline constexpr uint32_t kOptEffect4 = 0x4;     // an effect drawn as the plain copy
inline constexpr uint32_t kOptGradeBlend = 0x8;  // blend with the page by grade
// An effect drawn as the plain copy, and chosen only when not mirrored.
inline constexpr uint32_t kOptUnmirroredEffect = 0x80;
inline constexpr uint32_t kOptUseOffset = 0x400;    // add the sprite's placement offset
inline constexpr uint32_t kOptMirrorAxis = 0x2000;  // mirror about the page's axis
inline constexpr uint32_t kOptClip = 0x4000;        // clip to the page's clip rectangle

// Draws sprite `sprnum` of `sprites` with its top-left corner at (x, y).
// 1 when drawn, 0 otherwise (no set, frozen or empty page, index out of
// range, a sprite without pixels, a damaged encoding).
int PutSprAuto(SpritePage& page, int x, int y, const xSprite* sprites, int sprnum, uint32_t opt, int grade,
               uint16_t color);

// Receives the engine's fatal-error text; the second argument is always 0.
using SpriteErrorCallback = void (*)(const char16_t* text, int code);
// The callback for the one report a process gets; null for none.
void SetSpriteErrorCallback(SpriteErrorCallback callback);

// Blend tables, 32 grades x 32 five-bit values; built once per process.
struct BlendTables {
  uint8_t scale[32][32];  // scale[grade][v] = v * grade / 31
  uint8_t add[32][32];    // saturating at 31
  uint8_t sub[32][32];    // clamped at 0
};
const BlendTables& GetBlendTables();
