// The display's scale for the Win32 window. The manifest makes the program
// per-monitor aware; the calls that say a window's DPI and that keep the
// dialog manager from rescaling the window itself came with Windows 10, so
// they are looked up, and older systems get the system's DPI.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

struct GdiFontDeleter {
  void operator()(HFONT font) const {
    if (font != nullptr) ::DeleteObject(font);
  }
};
using GdiFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiFontDeleter>;

// The DPI the window is shown at (96 is 100 %).
int WindowDpi(HWND window);

// The window lays itself out on a DPI change: the dialog manager neither
// resizes it nor its controls, nor changes their fonts.
void KeepDialogLayoutOnDpiChange(HWND dialog);

// `font` (made for `fromDpi`) at `toDpi`: the same face and style.
GdiFont ScaledFont(HFONT font, int fromDpi, int toDpi);
