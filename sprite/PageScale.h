// The smooth resize of 555 pixels that every host uses where the display's
// scale is not the artwork's: each output pixel is the average of the input
// area it covers (a box filter with partial edges), so a downscale keeps
// thin lines and text as grey rather than dropping them.
#pragma once

#include <cstdint>

// Scales `src` (srcWidth x srcHeight, rows of srcPitch pixels) onto `dst`
// (dstWidth x dstHeight, rows of dstPitch pixels). Nothing happens for an
// empty size on either side.
void ScalePixels555(const uint16_t* src, int srcPitch, int srcWidth, int srcHeight, uint16_t* dst, int dstPitch,
                    int dstWidth, int dstHeight);
