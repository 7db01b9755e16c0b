// What the GTK host converts from the window's portable forms: a menu text
// with its Windows mnemonic, the dialog's colours, the page's 555 pixels,
// and GDK's keys into the window's.
// None of it needs a display.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>

#include "SelectLanguage/DialogHost.h"

struct CairoSurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;

// "(&A)" marks a mnemonic on Windows; GTK writes it "(_A)", so a literal
// underscore is doubled.
std::string GtkMnemonic(const std::u16string& text);

// The window's key for a GDK key value (kKeyTab for Shift+Tab's own value
// too); other keys pass as they are.
uint32_t WindowKey(unsigned int keyval);

// The host's style sheet: compact controls, and the colours of the dialog
// and of its labels where the window overrides them.
// In high contrast the status line takes the system's colours over the artwork.
std::string HostCss(const ControlColors& dialog, const ControlColors& label, const ContrastColors& contrast = {});

// A part of the page as an RGB24 image, and where it goes in the window.
struct PageBlock {
  CairoSurface image;  // null when nothing of the area is on the page
  int left = 0;        // in the image's pixels
  int top = 0;
  int deviceScale = 1;  // the image's pixels per unscaled window pixel (set on the image)
};

// The page's pixels (width x height, rows of `pitch` 555 pixels, top row
// first) inside `area` cut to the page; each 5-bit channel is widened to 8
// bits by repeating its top bits, so white stays white.
PageBlock CopyPageBlock(const uint16_t* pixels, int pitch, int width, int height, const PixelRect& area);

// The same for a window whose surface has `surfaceScale` pixels per unscaled
// pixel, from a page of `pageScale` (its `area` in page pixels): pixel for
// pixel where the two agree, else the page resized smoothly to the
// surface's pixels first (ScalePixels555).
PageBlock CopyScaledPageBlock(const uint16_t* pixels, int pitch, int width, int height, const PixelRect& area,
                              int pageScale, int surfaceScale);
