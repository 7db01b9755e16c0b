#include "platform/win32/Win32StatusLine.h"

#include <cstdint>
#include <vector>

#include "resources/DialogLayout.h"

void DrawStatusLine(const DRAWITEMSTRUCT& item, HWND dialog, HBITMAP page, HFONT font, const ContrastColors& contrast) {
  const HDC dc = item.hDC;
  const RECT box = item.rcItem;
  const int width = box.right - box.left;
  const int height = box.bottom - box.top;
  POINT origin{0, 0};
  ::MapWindowPoints(item.hwndItem, dialog, &origin, 1);
  bool drawn = false;
  const auto colour = [](uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); };
  if (contrast.active) {
    // High contrast: the system's colours, not the artwork under the line.
    const HBRUSH background = ::CreateSolidBrush(colour(contrast.background));
    ::FillRect(dc, &box, background);
    ::DeleteObject(background);
    drawn = true;
  } else if (page != nullptr) {
    const HDC memory = ::CreateCompatibleDC(dc);
    const HGDIOBJ previous = ::SelectObject(memory, page);
    drawn = ::BitBlt(dc, box.left, box.top, width, height, memory, origin.x, origin.y, SRCCOPY) != FALSE;
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
  }
  if (!drawn) ::FillRect(dc, &box, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));

  const int length = ::GetWindowTextLengthW(item.hwndItem);
  if (length <= 0) return;
  std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1);
  ::GetWindowTextW(item.hwndItem, text.data(), length + 1);
  const HGDIOBJ oldFont = font != nullptr ? ::SelectObject(dc, font) : nullptr;
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, colour(contrast.active ? contrast.text : uint32_t{ZK_STATUS_TEXT_COLOUR}));
  constexpr UINT kFlags = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_END_ELLIPSIS;
  RECT measured = box;
  ::DrawTextW(dc, text.data(), length, &measured, kFlags | DT_CALCRECT);
  RECT place = box;
  const int used = measured.bottom - measured.top;
  if (used < height) place.top += (height - used) / 2;
  ::DrawTextW(dc, text.data(), length, &place, kFlags);
  if (oldFont != nullptr) ::SelectObject(dc, oldFont);
}

HFONT CreateStatusFont(int language, int pixels) {
  static constexpr BYTE kCharSets[] = {DEFAULT_CHARSET, GB2312_CHARSET, CHINESEBIG5_CHARSET, RUSSIAN_CHARSET,
                                       SHIFTJIS_CHARSET};
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW face{};
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) face = metrics.lfMessageFont;
  face.lfHeight = -pixels;
  face.lfWidth = 0;
  face.lfQuality = CLEARTYPE_QUALITY;
  face.lfCharSet = language >= 0 && language < 5 ? kCharSets[language] : DEFAULT_CHARSET;
  return ::CreateFontIndirectW(&face);
}

StatusFonts::~StatusFonts() { Release(); }

void StatusFonts::Release() {
  for (HFONT& font : fonts_) {
    if (font != nullptr) ::DeleteObject(font);
    font = nullptr;
  }
}

void StatusFonts::SetPixels(int pixels) {
  if (pixels == pixels_) return;
  Release();
  pixels_ = pixels;
}

HFONT StatusFonts::For(int language) {
  if (language < 0 || language >= 5) language = 0;
  if (fonts_[language] == nullptr) fonts_[language] = CreateStatusFont(language, pixels_);
  return fonts_[language];
}
