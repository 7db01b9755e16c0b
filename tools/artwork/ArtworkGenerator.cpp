// Draws the installer window's artwork with cairo and writes it out:
//   installer.mto     the sprite file (background, then the install and close
//                     buttons' normal, hover, pressed and disabled frames)
//   installer-2x.mto  the same artwork drawn at twice the size, for displays
//                     scaled to 150 % and more: the background JPEG-coded, the
//                     buttons run-length encoded with the same exact key
//   icon132.ico       the 32 x 32 program icon, cut from the background: one
//                     PNG-coded image, which other builds than Windows embed alone
// Usage: zk_artwork <output folder>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sprite/ByteReader.h"
#include "sprite/SpriteJpeg.h"
#include "sprite/SpriteRle.h"
#include "sprite/SpriteSet.h"

namespace {

constexpr int kBackgroundWidth = 320, kBackgroundHeight = 160;
constexpr int kButtonWidth = 85, kButtonHeight = 30;
constexpr uint16_t kKey = 0x7C1F;
constexpr int kInstallX = 121, kCloseX = 219, kButtonY = 109;  // where the window puts the buttons
// The 2x background's JPEG quality: scaled down, it stays well within the
// artwork test's tolerance of the 1x background, in 37.6 KB where its
// run-length encoding takes 412 KB.
constexpr int kJpegQuality = 90;

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

Surface NewSurface(int w, int h) {
  return {cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h), cairo_surface_destroy};
}
Context NewContext(cairo_surface_t* s) { return {cairo_create(s), cairo_destroy}; }

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void CentredText(cairo_t* cr, const char* text, double cx, double baseline) {
  cairo_text_extents_t ext;
  cairo_text_extents(cr, text, &ext);
  cairo_move_to(cr, cx - ext.width / 2 - ext.x_bearing, baseline);
  cairo_show_text(cr, text);
}

// One playing card, 46 x 64, rotated about its bottom centre.
void Card(cairo_t* cr, double cx, double bottom, double degrees, const char* rank, const char* suit, bool red) {
  const double w = 46, h = 64;
  cairo_save(cr);
  cairo_translate(cr, cx, bottom);
  cairo_rotate(cr, degrees * M_PI / 180);
  cairo_translate(cr, -w / 2, -h);
  RoundedRect(cr, 1.5, 2.5, w, h, 4);  // shadow
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
  cairo_fill(cr);
  RoundedRect(cr, 0, 0, w, h, 4);
  cairo_set_source_rgb(cr, 0.98, 0.97, 0.93);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0.55, 0.55, 0.5);
  cairo_set_line_width(cr, 0.8);
  cairo_stroke(cr);
  red ? cairo_set_source_rgb(cr, 0.78, 0.08, 0.1) : cairo_set_source_rgb(cr, 0.08, 0.08, 0.1);
  cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 12);
  cairo_move_to(cr, 4, 13);
  cairo_show_text(cr, rank);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 10);
  cairo_move_to(cr, 4, 24);
  cairo_show_text(cr, suit);
  cairo_set_font_size(cr, 26);
  CentredText(cr, suit, w / 2 + 2, h / 2 + 14);
  cairo_restore(cr);
}

// Everything is drawn in 1x units; `scale` only multiplies the surface.
Surface DrawBackground(int scale) {
  Surface surface = NewSurface(kBackgroundWidth * scale, kBackgroundHeight * scale);
  Context context = NewContext(surface.get());
  cairo_t* cr = context.get();
  cairo_scale(cr, scale, scale);
  // Green felt: a soft spotlight, and a fine deterministic grain.
  cairo_pattern_t* felt = cairo_pattern_create_radial(170, 70, 10, 170, 80, 220);
  cairo_pattern_add_color_stop_rgb(felt, 0, 0.13, 0.52, 0.25);
  cairo_pattern_add_color_stop_rgb(felt, 1, 0.03, 0.24, 0.11);
  cairo_set_source(cr, felt);
  cairo_paint(cr);
  cairo_pattern_destroy(felt);
  uint32_t seed = 12345;
  for (int i = 0; i < 2600; ++i) {
    seed = seed * 1103515245u + 12345u;
    const double x = (seed >> 8) % kBackgroundWidth, y = (seed >> 18) % kBackgroundHeight;
    cairo_set_source_rgba(cr, (seed & 1) ? 1 : 0, (seed & 1) ? 1 : 0, (seed & 1) ? 1 : 0, 0.06);
    cairo_rectangle(cr, x, y, 1, 1);
    cairo_fill(cr);
  }
  // Gold rail.
  RoundedRect(cr, 3.5, 3.5, kBackgroundWidth - 7, kBackgroundHeight - 7, 8);
  cairo_set_source_rgb(cr, 0.80, 0.64, 0.20);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  RoundedRect(cr, 7.5, 7.5, kBackgroundWidth - 15, kBackgroundHeight - 15, 6);
  cairo_set_source_rgba(cr, 0.80, 0.64, 0.20, 0.45);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // A fan of cards on the left.
  Card(cr, 58, 146, -22, "A", "\u2660", false);
  Card(cr, 60, 144, -4, "K", "\u2665", true);
  Card(cr, 64, 144, 14, "Q", "\u2666", true);
  // The title.
  cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 30);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
  CentredText(cr, "ZK Zirod", 212, 46);
  cairo_pattern_t* gold = cairo_pattern_create_linear(0, 20, 0, 46);
  cairo_pattern_add_color_stop_rgb(gold, 0, 1.0, 0.92, 0.55);
  cairo_pattern_add_color_stop_rgb(gold, 1, 0.78, 0.56, 0.12);
  cairo_set_source(cr, gold);
  CentredText(cr, "ZK Zirod", 210, 44);
  cairo_pattern_destroy(gold);
  cairo_surface_flush(surface.get());
  return surface;
}

enum Frame { kNormal, kHover, kPressed, kDisabled };

// One button frame, drawn over the part of the background it covers so that
// its anti-aliased corners blend with the felt.
// `background` is the background drawn at the same scale.
Surface DrawButton(cairo_surface_t* background, int atX, const char* label, Frame frame, int scale) {
  Surface surface = NewSurface(kButtonWidth * scale, kButtonHeight * scale);
  Context cr = NewContext(surface.get());
  cairo_set_source_surface(cr.get(), background, -atX * scale, -kButtonY * scale);
  cairo_paint(cr.get());
  cairo_scale(cr.get(), scale, scale);
  struct Colours {
    double top[3], bottom[3], text[3];
  };
  static const Colours kColours[] = {
      {{0.66, 0.12, 0.12}, {0.40, 0.05, 0.05}, {1.0, 0.95, 0.80}},
      {{0.85, 0.20, 0.18}, {0.55, 0.09, 0.08}, {1.0, 1.0, 0.90}},
      {{0.30, 0.04, 0.04}, {0.52, 0.09, 0.08}, {0.95, 0.85, 0.65}},
      {{0.52, 0.52, 0.50}, {0.36, 0.36, 0.35}, {0.74, 0.74, 0.72}},
  };
  const Colours& c = kColours[frame];
  cairo_pattern_t* fill = cairo_pattern_create_linear(0, 0, 0, kButtonHeight);
  cairo_pattern_add_color_stop_rgb(fill, 0, c.top[0], c.top[1], c.top[2]);
  cairo_pattern_add_color_stop_rgb(fill, 1, c.bottom[0], c.bottom[1], c.bottom[2]);
  RoundedRect(cr.get(), 0.5, 0.5, kButtonWidth - 1, kButtonHeight - 1, 3);
  cairo_set_source(cr.get(), fill);
  cairo_fill_preserve(cr.get());
  cairo_pattern_destroy(fill);
  frame == kDisabled ? cairo_set_source_rgb(cr.get(), 0.62, 0.62, 0.6)
                     : cairo_set_source_rgb(cr.get(), 0.85, 0.68, 0.22);
  cairo_set_line_width(cr.get(), 1);
  cairo_stroke(cr.get());
  const double shift = frame == kPressed ? 1 : 0;
  cairo_select_font_face(cr.get(), "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr.get(), 13);
  if (frame != kDisabled) {
    cairo_set_source_rgba(cr.get(), 0, 0, 0, 0.5);
    CentredText(cr.get(), label, kButtonWidth / 2.0 + 1 + shift, 20 + shift);
  }
  cairo_set_source_rgb(cr.get(), c.text[0], c.text[1], c.text[2]);
  CentredText(cr.get(), label, kButtonWidth / 2.0 + shift, 19 + shift);
  cairo_surface_flush(surface.get());
  return surface;
}

// ARGB32 to 555. No opaque pixel may equal the colour key, or it would turn
// transparent; the nearest other blue takes its place.
std::vector<uint16_t> To555(cairo_surface_t* s) {
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  const uint8_t* data = cairo_image_surface_get_data(s);
  std::vector<uint16_t> out(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < w; ++x) {
      const uint32_t p = row[x];  // opaque everywhere here, so no un-premultiplying
      uint16_t v =
          static_cast<uint16_t>((((p >> 16) & 0xFF) >> 3) << 10 | (((p >> 8) & 0xFF) >> 3) << 5 | ((p & 0xFF) >> 3));
      if (v == kKey) v = kKey - 1;
      out[static_cast<size_t>(y) * w + x] = v;
    }
  }
  return out;
}

// Round the corners: the outer two rows lose three pixels each, two at one
// end and one at the other, alternating so the shape stays balanced. At a
// larger scale each of those pixels is a square of key pixels, so the
// transparent shape is the 1x one, enlarged exactly.
void CutCorners(std::vector<uint16_t>& pixels, int scale) {
  const int width = kButtonWidth * scale;
  auto cut = [&](int row, int left, int right) {
    for (int sub = 0; sub < scale; ++sub) {
      uint16_t* line = pixels.data() + static_cast<size_t>(row * scale + sub) * width;
      for (int i = 0; i < left * scale; ++i) line[i] = kKey;
      for (int i = 0; i < right * scale; ++i) line[width - 1 - i] = kKey;
    }
  };
  cut(0, 2, 1);
  cut(1, 1, 2);
  cut(kButtonHeight - 2, 1, 2);
  cut(kButtonHeight - 1, 2, 1);
}

// ARGB32 to the RGB rows the JPEG encoder takes.
std::vector<uint8_t> ToRgb(cairo_surface_t* s) {
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  const uint8_t* data = cairo_image_surface_get_data(s);
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < w; ++x)
      out.insert(out.end(),
                 {static_cast<uint8_t>(row[x] >> 16), static_cast<uint8_t>(row[x] >> 8), static_cast<uint8_t>(row[x])});
  }
  return out;
}

// A sprite of the file: run-length encoded, or JPEG-coded (and encoded with
// the key once decoded) when `jpeg` holds the stream.
struct Sprite {
  int width, height;
  std::vector<uint16_t> encoded;
  std::vector<uint8_t> jpeg;
};

std::vector<uint8_t> SpriteFile(const std::vector<Sprite>& sprites) {
  std::vector<uint8_t> out(kSetHeaderSize, 0);
  std::copy(kSpriteSignature, kSpriteSignature + 16, out.begin());
  StoreU16(&out[16], 31);
  StoreU16(&out[18], 2);
  StoreU16(&out[20], 555);
  StoreU16(&out[22], static_cast<uint16_t>(sprites.size()));
  StoreU32(&out[24], 0);  // no animations
  for (const Sprite& s : sprites) {
    uint8_t h[kSpriteHeaderSize] = {};
    h[0] = 1;  // run-length encoded (a JPEG sprite once decoded)
    StoreU16(h + 2, kKey);
    StoreU16(h + 8, static_cast<uint16_t>(s.width));
    StoreU16(h + 10, static_cast<uint16_t>(s.height));
    StoreU16(h + 12, static_cast<uint16_t>(s.width / 2));
    StoreU16(h + 14, static_cast<uint16_t>(s.height / 2));
    StoreU32(h + 20, static_cast<uint32_t>(s.jpeg.empty() ? s.encoded.size() * 2 : s.jpeg.size()));
    StoreU16(h + 24, 555);
    h[26] = s.jpeg.empty() ? 0 : 1;
    out.insert(out.end(), h, h + kSpriteHeaderSize);
    out.insert(out.end(), s.jpeg.begin(), s.jpeg.end());
    for (uint16_t v : s.encoded) out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  }
  return out;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "wb"), std::fclose);
  return f && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

// The icon: the fan of cards, scaled down from the background.
std::vector<uint8_t> IconPng(cairo_surface_t* background) {
  Surface icon = NewSurface(32, 32);
  Context cr = NewContext(icon.get());
  RoundedRect(cr.get(), 0, 0, 32, 32, 5);
  cairo_clip(cr.get());
  const double scale = 32.0 / 104;  // the 104 x 104 square around the cards
  cairo_scale(cr.get(), scale, scale);
  cairo_set_source_surface(cr.get(), background, -8, -50);
  cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_BEST);
  cairo_paint(cr.get());
  std::vector<uint8_t> png;
  cairo_surface_write_to_png_stream(icon.get(), AppendPng, &png);
  return png;
}

std::vector<uint8_t> IcoFromPng(const std::vector<uint8_t>& png) {
  std::vector<uint8_t> ico(6 + 16, 0);
  StoreU16(&ico[2], 1);  // icon
  StoreU16(&ico[4], 1);  // one image
  ico[6] = 32, ico[7] = 32;
  StoreU16(&ico[10], 1);   // planes
  StoreU16(&ico[12], 32);  // bits per pixel
  StoreU32(&ico[14], static_cast<uint32_t>(png.size()));
  StoreU32(&ico[18], 22);
  ico.insert(ico.end(), png.begin(), png.end());
  return ico;
}

// The window's sprite file at the given scale: the background (JPEG-coded
// above 1x, see kJpegQuality), then the install and close buttons' four
// frames each.
bool BuildSpriteFile(int scale, cairo_surface_t* background, std::vector<uint8_t>& file) {
  const int w = kBackgroundWidth * scale, h = kBackgroundHeight * scale;
  std::vector<Sprite> sprites;
  auto add = [&](std::vector<uint16_t> pixels, int width, int height) {
    Sprite s{width, height, {}, {}};
    if (!EncodeRle(pixels, width, height, kKey, s.encoded)) return false;
    sprites.push_back(std::move(s));
    return true;
  };
  bool ok = true;
  if (scale == 1) {
    ok = add(To555(background), w, h);
  } else {
    Sprite s{w, h, {}, {}};
    ok = EncodeJpegRgb(ToRgb(background), w, h, kJpegQuality, s.jpeg);
    sprites.push_back(std::move(s));
  }
  for (auto [x, label] : {std::pair{kInstallX, "Install"}, std::pair{kCloseX, "Close"}}) {
    for (Frame f : {kNormal, kHover, kPressed, kDisabled}) {
      Surface button = DrawButton(background, x, label, f, scale);
      std::vector<uint16_t> pixels = To555(button.get());
      CutCorners(pixels, scale);
      ok = ok && add(std::move(pixels), kButtonWidth * scale, kButtonHeight * scale);
    }
  }
  file = SpriteFile(sprites);
  return ok;
}

// The window relies on these sizes; nothing else is written. The 1x file's
// run lengths are fixed too: every background row one run, every frame
// 5,392 bytes.
bool HasLayout(const std::vector<uint8_t>& file, int scale) {
  xSprite check;
  if (check.LoadFromMemory(file) != 1 || check.GetCount() != 9 || check.BytesConsumed() != file.size()) return false;
  for (int i = 0; i < 9; ++i) {
    const int w = i == 0 ? kBackgroundWidth : kButtonWidth, h = i == 0 ? kBackgroundHeight : kButtonHeight;
    if (check.GetWidth(i) != w * scale || check.GetHeight(i) != h * scale) return false;
    if (scale == 1 && check.Entry(i)->dataSize != (i == 0 ? 104000u : 5392u)) return false;
  }
  // The background is opaque: no pixel of it, decoded, may equal the key.
  const SpriteEntry& background = *check.Entry(0);
  std::vector<uint16_t> raw;
  return DecodeRle(background.pixels, background.width, background.height, kKey, raw) &&
         std::find(raw.begin(), raw.end(), kKey) == raw.end();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  Surface background = DrawBackground(1);
  std::vector<uint8_t> file, file2x;
  if (!BuildSpriteFile(1, background.get(), file) || !HasLayout(file, 1) || file.size() != 147452) {
    std::fprintf(stderr, "artwork: unexpected layout (%zu bytes)\n", file.size());
    return 1;
  }
  Surface background2x = DrawBackground(2);
  if (!BuildSpriteFile(2, background2x.get(), file2x) || !HasLayout(file2x, 2)) {
    std::fprintf(stderr, "artwork: unexpected 2x layout (%zu bytes)\n", file2x.size());
    return 1;
  }
  const std::vector<uint8_t> png = IconPng(background.get());
  if (!WriteBytes(folder + "/installer.mto", file) || !WriteBytes(folder + "/installer-2x.mto", file2x) ||
      !WriteBytes(folder + "/icon132.ico", IcoFromPng(png))) {
    std::fprintf(stderr, "artwork: cannot write to %s\n", folder.c_str());
    return 1;
  }
  std::printf("artwork: wrote installer.mto (%zu bytes), installer-2x.mto (%zu bytes) and icon132.ico\n", file.size(),
              file2x.size());
  return 0;
}
