// The in-memory side of a sprite set: queries, clearing, encoding and the
// ways of making sprites from pixels.
#include <algorithm>
#include <cstring>

#include "sprite/SpriteRle.h"
#include "sprite/SpriteSet.h"

namespace {

size_t PixelCount(int width, int height) { return static_cast<size_t>(width) * static_cast<size_t>(height); }

// A raw sprite whose block really holds width x height pixels.
bool HasRawPixels(const SpriteEntry& e) {
  return !e.compressed && e.width > 0 && e.height > 0 && e.pixels.size() >= PixelCount(e.width, e.height);
}

}  // namespace

void xSprite::Clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  header_ = SpriteSetHeader{};
  bytesConsumed_ = 0;
}

const SpriteEntry* xSprite::Entry(int sprnum) const {
  if (sprnum < 0 || sprnum >= GetCount()) return nullptr;
  return &entries_[static_cast<size_t>(sprnum)];
}

SpriteEntry* xSprite::Entry(int sprnum) {
  if (sprnum < 0 || sprnum >= GetCount()) return nullptr;
  return &entries_[static_cast<size_t>(sprnum)];
}

int xSprite::GetWidth(int sprnum) const {
  const SpriteEntry* e = Entry(sprnum);
  return e ? e->width : 0;
}

int xSprite::GetHeight(int sprnum) const {
  const SpriteEntry* e = Entry(sprnum);
  return e ? e->height : 0;
}

int xSprite::Compress(int sprnum) {
  SpriteEntry* e = Entry(sprnum);
  if (!e || !e->HasPixels() || e->compressed || !HasRawPixels(*e)) return 0;
  std::vector<uint16_t> encoded;
  if (!EncodeRle(e->pixels, e->width, e->height, e->colorKey, encoded)) return 0;
  if (encoded.size() * 2 > 0xFFFFFFFFu) return 0;
  e->pixels = std::move(encoded);
  e->compressed = 1;
  e->dataSize = static_cast<uint32_t>(e->pixels.size() * 2);
  return 1;
}

int xSprite::Decompress(int sprnum) {
  SpriteEntry* e = Entry(sprnum);
  if (!e || !e->HasPixels() || !e->compressed || e->width <= 0 || e->height <= 0) return 0;
  std::vector<uint16_t> raw;
  // A damaged encoding still yields every pixel it holds; the rest is key.
  // One that cannot even be decoded stays as it is.
  if (!DecodeRle(e->pixels, e->width, e->height, e->colorKey, raw) && raw.empty()) return 0;
  e->pixels = std::move(raw);
  e->compressed = 0;
  e->dataSize = static_cast<uint32_t>(PixelCount(e->width, e->height) * 2);
  return 1;
}

SpriteEntry xSprite::MakeEntry(int width, int height, std::vector<uint16_t>&& pixels, uint16_t colorKey) {
  SpriteEntry e;
  e.colorKey = colorKey;
  e.width = width;
  e.height = height;
  e.hotX = width / 2;
  e.hotY = height / 2;
  e.dataSize = static_cast<uint32_t>(PixelCount(width, height) * 2);
  e.spritePixelFormat = kFormat555;
  pixels.resize(PixelCount(width, height));
  e.pixels = std::move(pixels);
  return e;
}

void xSprite::SetCreatedHeader() {
  const int16_t pixelFormat = header_.pixelFormat;  // left as it was
  Clear();
  std::memcpy(header_.signature, kSpriteSignature, sizeof header_.signature);
  header_.version = 30;
  header_.reserved = 2;
  header_.pixelFormat = pixelFormat;
  header_.animationCount = 0;
}

int xSprite::CreateFromPixels(int width, int height, std::vector<uint16_t>&& pixels, uint16_t colorKey) {
  return CreateFromPixels(width, height, std::move(pixels), colorKey, 0);
}

int xSprite::CreateFromPixels(int width, int height, std::vector<uint16_t>&& pixels, uint16_t colorKey, int compress) {
  if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF) return 0;
  if (pixels.size() < PixelCount(width, height)) return 0;
  SetCreatedHeader();
  entries_.push_back(MakeEntry(width, height, std::move(pixels), colorKey));
  header_.spriteCount = 1;
  if (compress) Compress(0);
  return 1;
}

int xSprite::CreateFromPixelsCopy(int width, int height, std::span<const uint16_t> pixels, uint16_t colorKey) {
  return CreateFromPixels(width, height, std::vector<uint16_t>(pixels.begin(), pixels.end()), colorKey, 0);
}

int xSprite::InsertSprite(int position, int width, int height, std::vector<uint16_t>&& pixels, uint16_t colorKey,
                          int compress) {
  if (entries_.empty()) return CreateFromPixels(width, height, std::move(pixels), colorKey, compress);
  if (position < 0 || position > GetCount() || GetCount() >= 0x7FFF) return 0;
  if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF) return 0;
  if (pixels.size() < PixelCount(width, height)) return 0;
  entries_.insert(entries_.begin() + position, MakeEntry(width, height, std::move(pixels), colorKey));
  header_.spriteCount = static_cast<int16_t>(entries_.size());
  if (compress) Compress(position);
  return 1;
}

int xSprite::InsertSpriteCopy(int position, int width, int height, std::span<const uint16_t> pixels, uint16_t colorKey,
                              int compress) {
  return InsertSprite(position, width, height, std::vector<uint16_t>(pixels.begin(), pixels.end()), colorKey, compress);
}

int xSprite::Trim(int sprnum, int adjust) {
  SpriteEntry* e = Entry(sprnum);
  if (!e || !e->HasPixels()) return 0;
  const bool wasCompressed = e->compressed != 0;
  if (wasCompressed && !Decompress(sprnum)) return 0;
  if (!HasRawPixels(*e)) return 0;

  const int w = e->width, h = e->height;
  const uint16_t* px = e->pixels.data();
  int left = w, right = -1, top = h, bottom = -1;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (px[static_cast<size_t>(y) * w + x] == e->colorKey) continue;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  if (right < 0) {  // nothing but key: there is no image left to keep
    if (wasCompressed) Compress(sprnum);
    return 0;
  }
  const int nw = right - left + 1, nh = bottom - top + 1;
  std::vector<uint16_t> cropped(PixelCount(nw, nh));
  for (int y = 0; y < nh; ++y)
    std::copy_n(px + static_cast<size_t>(y + top) * w + left, nw, cropped.data() + static_cast<size_t>(y) * nw);
  e->pixels = std::move(cropped);
  e->width = nw;
  e->height = nh;
  e->dataSize = static_cast<uint32_t>(PixelCount(nw, nh) * 2);
  if (adjust) {
    e->offsetX += left, e->offsetY += top;
    e->hotX -= left, e->hotY -= top;
    for (auto* list : {&e->rects1, &e->rects2}) {
      for (SpriteRect& r : *list) {
        r.left = static_cast<int16_t>(r.left - left), r.right = static_cast<int16_t>(r.right - left);
        r.top = static_cast<int16_t>(r.top - top), r.bottom = static_cast<int16_t>(r.bottom - top);
      }
    }
  }
  if (wasCompressed) Compress(sprnum);
  return 1;
}
