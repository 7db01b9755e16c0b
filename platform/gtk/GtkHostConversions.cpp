#include "platform/gtk/GtkHostConversions.h"

#include <gdk/gdkkeysyms.h>
#include <glib.h>

#include <algorithm>
#include <vector>

#include "SelectLanguage/DisplayScale.h"
#include "net/Text.h"
#include "resources/DialogLayout.h"
#include "sprite/PageScale.h"

namespace {

std::string ColourCss(uint32_t rgb) {
  char buffer[16];
  g_snprintf(buffer, sizeof buffer, "#%06X", rgb & 0xFFFFFF);
  return buffer;
}

}  // namespace

std::string GtkMnemonic(const std::u16string& text) {
  std::string label;
  for (char c : Utf16ToUtf8(text)) {
    if (c == '_')
      label += "__";
    else if (c == '&')
      label += '_';
    else
      label += c;
  }
  return label;
}

uint32_t WindowKey(unsigned int keyval) {
  switch (keyval) {
    case GDK_KEY_Escape: return kKeyEscape;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: return kKeyReturn;
    case GDK_KEY_Tab:
    case GDK_KEY_KP_Tab:
    case GDK_KEY_ISO_Left_Tab: return kKeyTab;  // Shift+Tab
    case GDK_KEY_space:
    case GDK_KEY_KP_Space: return kKeySpace;
    default: return keyval;
  }
}

std::string HostCss(const ControlColors& dialog, const ControlColors& label, const ContrastColors& contrast) {
  std::string css =
      "combobox button { min-height: 0; padding-top: 1px; padding-bottom: 1px; }\n"
      "progressbar trough, progressbar progress { min-height: 15px; }\n"
      "#status { color: " +
      ColourCss(ZK_STATUS_TEXT_COLOUR) + "; font-size: " + std::to_string(ZK_STATUS_FONT_PIXELS) + "px; }\n";
  if (dialog.overridden) {
    css +=
        "window { background-color: " + ColourCss(dialog.background) + "; color: " + ColourCss(dialog.text) + "; }\n";
  }
  if (label.overridden) {
    css += "label { color: " + ColourCss(label.text) + "; }\n";
  }
  if (contrast.active) {
    css += "#status { color: " + ColourCss(contrast.text) + "; background-color: " + ColourCss(contrast.background) +
           "; }\n";
  }
  return css;
}

PageBlock CopyPageBlock(const uint16_t* pixels, int pitch, int width, int height, const PixelRect& area) {
  PageBlock block;
  block.left = std::max(area.left, 0);
  block.top = std::max(area.top, 0);
  const int right = std::min(area.right, width);
  const int bottom = std::min(area.bottom, height);
  if (pixels == nullptr || right <= block.left || bottom <= block.top) return block;
  block.image.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, right - block.left, bottom - block.top));
  unsigned char* data = cairo_image_surface_get_data(block.image.get());
  const int stride = cairo_image_surface_get_stride(block.image.get());
  for (int y = block.top; y < bottom; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<std::size_t>(y - block.top) * stride);
    const uint16_t* src = pixels + static_cast<std::size_t>(y) * pitch;
    for (int x = block.left; x < right; ++x) {
      const uint32_t v = src[x];
      const uint32_t r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
      row[x - block.left] = ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
    }
  }
  cairo_surface_mark_dirty(block.image.get());
  return block;
}

PageBlock CopyScaledPageBlock(const uint16_t* pixels, int pitch, int width, int height, const PixelRect& area,
                              int pageScale, int surfaceScale) {
  pageScale = std::max(pageScale, 1);
  surfaceScale = std::max(surfaceScale, 1);
  if (surfaceScale == pageScale || pixels == nullptr || width <= 0 || height <= 0) {
    PageBlock block = CopyPageBlock(pixels, pitch, width, height, area);
    block.deviceScale = pageScale;
    if (block.image) cairo_surface_set_device_scale(block.image.get(), pageScale, pageScale);
    return block;
  }
  const int w = PageToWindow(width, surfaceScale * 100, pageScale);
  const int h = PageToWindow(height, surfaceScale * 100, pageScale);
  std::vector<uint16_t> resized(static_cast<size_t>(w) * h);
  ScalePixels555(pixels, pitch, width, height, resized.data(), w, w, h);
  const PixelRect part{area.left * surfaceScale / pageScale, area.top * surfaceScale / pageScale,
                       (area.right * surfaceScale + pageScale - 1) / pageScale,
                       (area.bottom * surfaceScale + pageScale - 1) / pageScale};
  PageBlock block = CopyPageBlock(resized.data(), w, w, h, part);
  block.deviceScale = surfaceScale;
  if (block.image) cairo_surface_set_device_scale(block.image.get(), surfaceScale, surfaceScale);
  return block;
}
