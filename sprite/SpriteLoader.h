// Reading a sprite file into a set, with the check that refused it when it
// is refused. xSprite's own loading methods give 1 for kNone and 0 for every
// other value; tests and tools that must know why call these.
#pragma once

#include <cstdint>
#include <span>

class xSprite;

enum class SpriteLoadError : uint8_t {
  kNone,
  kNoFileName,
  kFileNotOpened,       // the file cannot be opened for reading
  kBadSignature,        // not a sprite file: the set stays as it was
  kJpegPastEnd,         // a JPEG sprite's stream runs past the end of the file
  kJpegSetTooLarge,     // the set's JPEG sprites together exceed kMaxJpegPixelsPerSet
  kJpegNoPixels,        // a JPEG sprite's width or height is below 1, or its stream is empty
  kJpegSpriteTooLarge,  // one JPEG sprite beyond kMaxDecodedPixels
  kJpegUndecodable,     // the stream does not decode
  kJpegTooManyScans,    // a progressive stream of more scans than any encoder writes
  kJpegSizeMismatch,    // the image's size is not the sprite header's
};

// Reads the file's bytes into the set as xSprite::LoadFromMemory does. A
// refusal after the signature leaves the sprites read so far.
SpriteLoadError LoadSpriteSet(xSprite& set, std::span<const uint8_t> file, int wantedFormat);
// Reads the named file into the set as xSprite::LoadWithFormat does.
SpriteLoadError LoadSpriteSetFile(xSprite& set, const char* fileName, int wantedFormat);
