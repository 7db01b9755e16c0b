// The bodies of the fuzz targets for the list file, the language list and
// the sprite loader, shared with the regression tests that replay saved
// inputs in the normal build. Each checks its own invariants and aborts on a
// violation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "SelectLanguage/LanguageList.h"
#include "SelectLanguage/ListFile.h"
#include "net/Text.h"
#include "sprite/SpriteDraw.h"
#include "sprite/SpriteLoader.h"
#include "sprite/SpritePage.h"
#include "sprite/SpriteSet.h"

namespace fuzz_app {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

// A name that ParseListLine accepts stays inside the list's folder: "\\" and
// "/" both separate its parts, and none of them climbs, is empty or names a
// drive.
inline void CheckInside(std::u16string_view name) {
  Check(!name.empty());
  Check(name.find(u':') == std::u16string_view::npos && name.find(u'\0') == std::u16string_view::npos);
  std::size_t start = 0;
  while (start <= name.size()) {
    const auto end = std::min(name.find_first_of(u"\\/", start), name.size());
    const std::u16string_view part = name.substr(start, end - start);
    Check(!part.empty() && part != u"." && part != u"..");
    start = end + 1;
  }
}

// Input: the first byte picks how the rest is read. 0: code page 949 text,
// as the installer reads the file; 1: raw UTF-16LE units; 2: two times for
// the reset rule. Every line is split and parsed.
inline void FuzzListFile(const uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const uint8_t mode = data[0] % 3;
  ++data;
  --size;
  if (mode == 2) {
    if (size < 16) return;
    int64_t modified = 0;
    int64_t recorded = 0;
    std::memcpy(&modified, data, 8);
    std::memcpy(&recorded, data + 8, 8);
    const bool reset = ShouldResetTime(modified, recorded);
    if (modified == recorded) Check(!reset);
    if (modified < recorded) Check(reset);
    return;
  }
  std::u16string text;
  if (mode == 0) {
    std::string_view raw(reinterpret_cast<const char*>(data), size);
    text = Cp949ToUtf16(raw.substr(0, raw.find('\0'))) + u"\r\n";
  } else {
    text.resize(size / 2);
    std::memcpy(text.data(), data, text.size() * 2);
  }
  std::size_t covered = 0;
  ForEachListLine(std::u16string_view(text), [&](std::u16string_view line) {
    Check(line.find(u"\r\n") == std::u16string_view::npos);
    Check(line.data() == text.data() + covered);
    covered += line.size() + 2;
    Check(covered <= text.size());
    if (const auto entry = ParseListLine(line)) {
      Check(entry->time > 0 && entry->time <= kLatestListTime);
      CheckInside(entry->relativeName);
      Check(line.ends_with(entry->relativeName));
    }
  });
  // Whatever follows the last line end is not a line.
  Check(std::u16string_view(text).substr(covered).find(u"\r\n") == std::u16string_view::npos);
}

inline void FuzzLanguageList(const uint8_t* data, std::size_t size) {
  const auto names = ParseLanguageList(std::span<const uint8_t>(data, size));
  Check(names.size() <= size / 4);  // each line is at least its "\r\n"
  for (const auto& name : names) {
    Check(name != u"한국어");
    Check(name.find(u'\0') == std::u16string::npos);
    Check(name.find(u"\r\n") == std::u16string::npos);
  }
}

// Loads a sprite file from bytes and draws every sprite onto a small page,
// half outside it too: a raw block may be shorter than its rectangle and an
// encoding may be damaged, and drawing must cope with both. An encoding that
// expands always covers its whole rectangle. Bytes are refused by their
// signature, which a short file meets with zeros, or by a JPEG check.
inline void FuzzSpriteFile(const uint8_t* data, std::size_t size) {
  xSprite sprites;
  const SpriteLoadError reason = LoadSpriteSet(sprites, std::span<const uint8_t>(data, size), kFormat555);
  uint8_t head[kSignatureCompared] = {};
  if (size > 0) std::memcpy(head, data, std::min(size, sizeof head));
  Check((reason == SpriteLoadError::kBadSignature) == (std::memcmp(head, kSpriteSignature, sizeof head) != 0));
  Check(reason != SpriteLoadError::kNoFileName && reason != SpriteLoadError::kFileNotOpened);
  if (reason != SpriteLoadError::kNone) return;
  Check(sprites.BytesConsumed() <= size);
  SpritePage page;
  if (!page.Create(48, 32, 16)) return;
  for (int i = 0; i < sprites.GetCount(); ++i) {
    for (const int at : {0, -7, 40}) PutSprAuto(page, at, at / 2, &sprites, i, 0, 0, 0);
    PutSprAuto(page, 3, 3, &sprites, i, kOptClip, 0, 0);
    SpriteEntry* entry = sprites.Entry(i);
    Check(entry != nullptr);
    if (entry->compressed != 0 && sprites.Decompress(i)) {
      Check(entry->pixels.size() == static_cast<std::size_t>(entry->width) * entry->height);
      PutSprAuto(page, -1, 1, &sprites, i, 0, 0, 0);
    }
  }
}

}  // namespace fuzz_app
