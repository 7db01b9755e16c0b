// PutSprAuto: checks, placement, clipping and the copy paths. Every read of
// a sprite and every write to the page is bounds-checked, so a damaged sprite
// cannot fault; it is reported once per process instead.
#include "sprite/SpriteDraw.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

#include "sprite/SpritePage.h"
#include "sprite/SpriteRle.h"
#include "sprite/SpriteSet.h"

namespace {

std::atomic<SpriteErrorCallback> gErrorCallback{nullptr};
std::atomic<bool> gErrorReported{false};

// The area of the page that may be written, inclusive.
struct ClipBox {
  int left, top, right, bottom;
};

// Where and how the sprite lands on the page.
struct Placement {
  int x, y;
  bool mirrorX, mirrorY;
  bool blend;
  int grade;
};

inline uint16_t BlendPixel(uint16_t source, uint16_t page, int grade) {
  const BlendTables& t = GetBlendTables();
  const auto& s = t.scale[grade];
  const auto& p = t.scale[31 - grade];
  const int r = t.add[s[(source >> 10) & 31]][p[(page >> 10) & 31]];
  const int g = t.add[s[(source >> 5) & 31]][p[(page >> 5) & 31]];
  const int b = t.add[s[source & 31]][p[page & 31]];
  return static_cast<uint16_t>((r << 10) | (g << 5) | b);
}

// Copies `count` source pixels to page row `row` starting at page column
// `x` (leftwards when mirrored), keeping only columns inside the clip box.
inline void PutSpan(uint16_t* row, int x, const uint16_t* source, int count, const ClipBox& clip, const Placement& at) {
  if (!at.mirrorX) {
    int first = 0, last = count - 1;  // source indices
    if (x < clip.left) first = clip.left - x;
    if (x + last > clip.right) last = clip.right - x;
    if (first > last) return;
    if (!at.blend) {
      std::memcpy(row + x + first, source + first, static_cast<size_t>(last - first + 1) * 2);
    } else {
      for (int i = first; i <= last; ++i) row[x + i] = BlendPixel(source[i], row[x + i], at.grade);
    }
    return;
  }
  // Mirrored: source pixel i lands at x - i.
  int first = 0, last = count - 1;
  if (x > clip.right) first = x - clip.right;
  if (x - last < clip.left) last = x - clip.left;
  for (int i = first; i <= last; ++i) row[x - i] = at.blend ? BlendPixel(source[i], row[x - i], at.grade) : source[i];
}

int PageRow(const SpriteEntry& e, const Placement& at, int row) {
  return at.mirrorY ? at.y + e.height - 1 - row : at.y + row;
}

bool DrawEncoded(SpritePage& page, const SpriteEntry& e, const ClipBox& clip, const Placement& at) {
  uint16_t* pixels = page.Pixels();
  const int pitch = page.Pitch();
  const std::span<const uint16_t> units = e.pixels;
  if (!at.mirrorX && !at.mirrorY && !at.blend && at.x >= clip.left && at.y >= clip.top &&
      static_cast<int64_t>(at.x) + e.width - 1 <= clip.right &&
      static_cast<int64_t>(at.y) + e.height - 1 <= clip.bottom) {
    // Wholly inside the clip box and drawn as is (the background, every
    // paint): each run is one copy, with nothing to cut.
    uint16_t* const origin = pixels + static_cast<size_t>(at.y) * pitch + at.x;
    return ForEachRun(units, e.width, e.height, [&](int row, int column, size_t first, int count) {
      std::memcpy(origin + static_cast<size_t>(row) * pitch + column, units.data() + first,
                  static_cast<size_t>(count) * 2);
    });
  }
  return ForEachRun(units, e.width, e.height, [&](int row, int column, size_t first, int count) {
    const int y = PageRow(e, at, row);
    if (y < clip.top || y > clip.bottom) return;
    const int x = at.mirrorX ? at.x + e.width - 1 - column : at.x + column;
    PutSpan(pixels + static_cast<size_t>(y) * pitch, x, units.data() + first, count, clip, at);
  });
}

// Raw pixels, leaving out the colour key. A block shorter than the image
// draws the rows it holds and reports the rest as damage.
bool DrawRaw(SpritePage& page, const SpriteEntry& e, const ClipBox& clip, const Placement& at) {
  uint16_t* pixels = page.Pixels();
  const int pitch = page.Pitch();
  const size_t w = static_cast<size_t>(e.width);
  const size_t rowsHeld = std::min(e.pixels.size() / w, static_cast<size_t>(e.height));
  for (size_t row = 0; row < rowsHeld; ++row) {
    const int y = PageRow(e, at, static_cast<int>(row));
    if (y < clip.top || y > clip.bottom) continue;
    const uint16_t* source = e.pixels.data() + row * w;
    uint16_t* line = pixels + static_cast<size_t>(y) * pitch;
    // Hand every stretch of non-key pixels to the span copy.
    for (size_t i = 0; i < w;) {
      while (i < w && source[i] == e.colorKey) ++i;
      const size_t start = i;
      while (i < w && source[i] != e.colorKey) ++i;
      if (i == start) break;
      const int column = static_cast<int>(start);
      const int x = at.mirrorX ? at.x + e.width - 1 - column : at.x + column;
      PutSpan(line, x, source + start, static_cast<int>(i - start), clip, at);
    }
  }
  return rowsHeld == static_cast<size_t>(e.height);
}

// Appends `value` in the given base, as %d or %x would write it.
void AppendNumber(std::u16string& text, int64_t value, int base) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
  text.append(digits, end);
}

void ReportFault(int x, int y, const xSprite& set, int sprnum, uint32_t opt, int grade, uint16_t color) {
  const SpriteErrorCallback callback = gErrorCallback.load();
  if (!callback || gErrorReported.exchange(true)) return;
  // Put together without printf, which would bring a whole formatter into
  // the Windows program for these few numbers.
  std::u16string text = u"라이브러리치명적에러!!PutSprAuto(int x=";
  AppendNumber(text, x, 10);
  text += u", int y=";
  AppendNumber(text, y, 10);
  text += u", xSprite *pXSpr=";
  // The set's name is 8-bit text; each byte becomes one unit.
  for (const char c : set.Name()) {
    if (c == '\0') break;
    text.push_back(static_cast<unsigned char>(c));
  }
  text += u", int sprnum=";
  AppendNumber(text, sprnum, 10);
  text += u", int opt=";
  AppendNumber(text, static_cast<int>(opt), 10);
  text += u", int grade=";
  AppendNumber(text, grade, 10);
  text += u", WORD color=";
  AppendNumber(text, color, 16);
  text += u")";
  if (text.size() > 4095) text.resize(4095);
  callback(text.c_str(), 0);
}

// A sprite without pixels: the whole page is cleared when the sprite covers
// it exactly at (0, 0), else its area is outlined.
void DrawPlaceholder(SpritePage& page, int x, int y, const SpriteEntry& e) {
  if (x == 0 && y == 0 && e.width == page.Width() && e.height == page.Height()) {
    page.FillRect(0, 0, page.Width() - 1, page.Height() - 1, 0);
  } else if (e.width > 0 && e.height > 0) {
    page.DrawRect(x, y, x + e.width - 1, y + e.height - 1, 0xFFFF);
  }
}

int Dispatch(SpritePage& page, int x, int y, const SpriteEntry& e, uint32_t opt, int grade) {
  if (!page.HasPixels() || page.IsFrozen() || page.BitsPerPixel() != 16) return 0;
  if (!e.HasPixels() || e.width <= 0 || e.height <= 0) {
    DrawPlaceholder(page, x, y, e);
    return 0;
  }
  const ClipBox whole{0, 0, page.Width() - 1, page.Height() - 1};
  if (page.IsDirectCopy()) {
    // The fast path takes only plain, wholly visible encoded sprites.
    if (!e.compressed || opt != 0 || x < 0 || y < 0 || x + e.width > page.Width() || y + e.height > page.Height())
      return 0;
    return DrawEncoded(page, e, whole, Placement{x, y, false, false, false, 0}) ? 1 : -1;
  }
  if (page.ClipEnabled()) opt |= kOptClip;
  const ClipBox clip =
      (opt & kOptClip) ? ClipBox{page.ClipLeft(), page.ClipTop(), page.ClipRight(), page.ClipBottom()} : whole;

  if (opt & kOptMirrorAxis) {
    int64_t mx = 2 * static_cast<int64_t>(page.MirrorAxis()) - e.width - x;
    if (opt & kOptUseOffset) mx -= e.offsetX;
    x = static_cast<int>(std::clamp<int64_t>(mx, INT32_MIN, INT32_MAX));
    y = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(y) + e.offsetY, INT32_MIN, INT32_MAX));
    opt |= kOptMirrorX;
  } else if (opt & kOptUseOffset) {
    x = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(x) + e.offsetX, INT32_MIN, INT32_MAX));
    y = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(y) + e.offsetY, INT32_MIN, INT32_MAX));
  }
  // Far off the page nothing shows; stopping here also keeps the column
  // arithmetic below far from overflow.
  constexpr int kFar = 1 << 28;
  if (x < -kFar || x > kFar || y < -kFar || y > kFar) return 1;
  Placement at{x, y, false, false, false, std::clamp(grade, 0, 31)};
  if (e.compressed) {
    // Mirroring left to right wins over top to bottom. Then the first effect
    // bit set chooses the path: 0x80 (unmirrored only), 4, 8, and the rest.
    // Only the grade blend (8) is drawn; the others take the plain copy,
    // since nothing here selects them, but one ahead of 8 still wins over it.
    at.mirrorX = (opt & kOptMirrorX) != 0;
    at.mirrorY = !at.mirrorX && (opt & kOptMirrorY) != 0;
    const bool mirrored = at.mirrorX || at.mirrorY;
    const uint32_t ahead = kOptEffect4 | (mirrored ? 0 : kOptUnmirroredEffect);
    at.blend = (opt & kOptGradeBlend) != 0 && (opt & ahead) == 0;
    return DrawEncoded(page, e, clip, at) ? 1 : -1;
  }
  at.blend = opt != 0 && (opt & kOptGradeBlend) != 0;
  return DrawRaw(page, e, clip, at) ? 1 : -1;
}

}  // namespace

const BlendTables& GetBlendTables() {
  static const BlendTables tables = [] {
    BlendTables t{};
    for (int a = 0; a < 32; ++a) {
      for (int b = 0; b < 32; ++b) {
        t.scale[a][b] = static_cast<uint8_t>(a * b / 31);
        t.add[a][b] = static_cast<uint8_t>(std::min(a + b, 31));
        t.sub[a][b] = static_cast<uint8_t>(std::max(a - b, 0));
      }
    }
    return t;
  }();
  return tables;
}

void SetSpriteErrorCallback(SpriteErrorCallback callback) { gErrorCallback.store(callback); }

int PutSprAuto(SpritePage& page, int x, int y, const xSprite* sprites, int sprnum, uint32_t opt, int grade,
               uint16_t color) {
  if (!sprites || page.IsFrozen() || !sprites->IsLoaded()) return 0;
  const SpriteEntry* e = sprites->Entry(sprnum);
  if (!e) return 0;
  const int result = Dispatch(page, x, y, *e, opt, grade);
  if (result >= 0) return result;
  ReportFault(x, y, *sprites, sprnum, opt, grade, color);
  return 0;
}
