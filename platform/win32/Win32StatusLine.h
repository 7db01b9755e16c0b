// The status line of the Win32 window: an owner-drawn static control, so
// that its text stands on the artwork (a transparent static would keep
// its old text under the new) and screen readers still read its text.
#pragma once

#include "SelectLanguage/DialogHost.h"

#include <windows.h>

#include "resources/DialogLayout.h"

// Draws the control: the page's pixels under it (`page`, the DIB section the
// window paints from, in the dialog's client coordinates; none yet: black),
// then its window text in `font`, up to two lines, centred in its height.
// In high contrast the system's background and text colours instead.
void DrawStatusLine(const DRAWITEMSTRUCT& item, HWND dialog, HBITMAP page, HFONT font, const ContrastColors& contrast);

// The line's font for a language slot of the list (0 English to 4
// Japanese): `pixels` high (the status line's height at the display's
// scale) in the system's UI face, asked
// for with the language's character set, so that where the face lacks the
// language's glyphs the system gives a font that has them.
HFONT CreateStatusFont(int language, int pixels);

// The status line's fonts, one a language, made when first asked for.
class StatusFonts {
 public:
  StatusFonts() = default;
  ~StatusFonts();
  StatusFonts(const StatusFonts&) = delete;
  StatusFonts& operator=(const StatusFonts&) = delete;
  // The font for the language chosen in the list (another slot: English's).
  HFONT For(int language);
  // The fonts' height from now on; the old fonts go.
  void SetPixels(int pixels);

 private:
  void Release();

  HFONT fonts_[5] = {};
  int pixels_ = ZK_STATUS_FONT_PIXELS;
};
