// JPEG coding for sprites (decoding to 555) and for page export.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sprite/SpriteLoader.h"

// All JPEG sprites of one set together decode to no more pixels than this
// (32 MB of 555 pixels): a stream of a few hundred bytes can describe a
// megapixel, so the size of the file bounds nothing, and this bounds the
// work of one load, the dithered conversion included.
inline constexpr uint64_t kMaxJpegPixelsPerSet = uint64_t{1} << 24;

// Decodes a complete JPEG stream into width x height 555 pixels, dithered
// when asked. kNone, or the JPEG check that refused the stream (it does not
// decode, or its image has another size); `out` is then left as it was.
SpriteLoadError DecodeJpegSprite(std::span<const uint8_t> stream, int width, int height, bool dither,
                                 std::vector<uint16_t>& out);

// Converts 24-bit RGB rows to 555 with error diffusion (bit 15 set on every
// pixel). `neighbour` picks where the rest of each residue goes in the inner
// columns: 0 below-left, 1 below, 2 below-right, 3 right.
std::vector<uint16_t> DitherRgbTo555(std::span<const uint8_t> rgb, int width, int height, int neighbour);
// The neighbour for one image: four places, ten random exchanges, the third.
int ChooseDitherNeighbour();

// Encodes width x height RGB rows as a colour JPEG of the given quality.
bool EncodeJpegRgb(std::span<const uint8_t> rgb, int width, int height, int quality, std::vector<uint8_t>& out);
