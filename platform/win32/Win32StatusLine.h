// The status line of the Win32 window: an owner-drawn static control, so
// that its text stands on the artwork (a transparent static would keep
// its old text under the new) and screen readers still read its text.
#pragma once

#include <windows.h>

// Draws the control: the page's pixels under it (`page`, the DIB section the
// window paints from, in the dialog's client coordinates; none yet: black),
// then its window text in `font`, up to two lines, centred in its height.
void DrawStatusLine(const DRAWITEMSTRUCT& item, HWND dialog, HBITMAP page, HFONT font);

// The line's font: the status line's pixel height in the system's UI face.
HFONT CreateStatusFont();
