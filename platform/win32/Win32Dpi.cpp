#include "platform/win32/Win32Dpi.h"

namespace {

template <typename Function>
Function UserCall(const char* name) {
  const HMODULE user = ::GetModuleHandleW(L"user32.dll");
  return user != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user, name))) : nullptr;
}

}  // namespace

int WindowDpi(HWND window) {
  using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = UserCall<GetDpiForWindowCall>("GetDpiForWindow");
  if (getDpiForWindow != nullptr && window != nullptr) {
    if (const UINT dpi = getDpiForWindow(window); dpi != 0) return static_cast<int>(dpi);
  }
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

void KeepDialogLayoutOnDpiChange(HWND dialog) {
  using DialogCall = BOOL(WINAPI*)(HWND, int, int);
  using ControlCall = BOOL(WINAPI*)(HWND, int, int);
  static const auto dialogBehaviour = UserCall<DialogCall>("SetDialogDpiChangeBehavior");
  static const auto controlBehaviour = UserCall<ControlCall>("SetDialogControlDpiChangeBehavior");
  constexpr int kDisableAll = 1;              // DDC_DISABLE_ALL
  constexpr int kDisableFontAndRelayout = 3;  // DCDC_DISABLE_FONT_UPDATE | DCDC_DISABLE_RELAYOUT
  if (dialogBehaviour != nullptr) dialogBehaviour(dialog, kDisableAll, kDisableAll);
  if (controlBehaviour == nullptr) return;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    controlBehaviour(child, kDisableFontAndRelayout, kDisableFontAndRelayout);
  }
}

GdiFont ScaledFont(HFONT font, int fromDpi, int toDpi) {
  LOGFONTW face{};
  if (font == nullptr || ::GetObjectW(font, sizeof face, &face) == 0 || fromDpi <= 0) return nullptr;
  face.lfHeight = ::MulDiv(face.lfHeight, toDpi, fromDpi);
  face.lfWidth = ::MulDiv(face.lfWidth, toDpi, fromDpi);
  return GdiFont(::CreateFontIndirectW(&face));
}
