// The Win32 host of the installer's window.
// Implements every DialogHost service: the modal dialog from template 102
// with its combo box and progress bar, painted from a DIB section that holds
// the page; messages posted from any thread, run in order on the window's
// thread; timers, mouse, Escape and Enter, closing; the About item and box,
// message boxes, the icons and the minimised state; the sprite buttons'
// stand-ins and accessibles (Win32Accessible.h) and high contrast.
// Where it differs from the GTK host:
//  - the template makes the window and its controls, and colours are given
//    per WM_CTLCOLOR query;
//  - one synchronous paint before the loop, where GTK holds posted messages
//    until its first paint;
//  - the About item goes into the system menu, and the About box is
//    template 100;
//  - the icons are the resource icon group in the system's two sizes; the
//    image handed to SetIcons is not used;
//  - a drag becomes a press on the caption, and a sprite button's press
//    keeps the mouse captured until its release;
//  - the progress bar counts in int: totals past 31 bits are scaled;
//  - a later start of the program raises this window by itself;
//  - the window follows its monitor's DPI (WM_DPICHANGED), and its client
//    pixels are the page's at that scale: the page is resized smoothly into
//    the window's bitmap where the two differ.
#include "platform/win32/Win32DialogHost.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <map>
#include <set>
#include <vector>

#include "SelectLanguage/DisplayScale.h"
#include "SelectLanguage/Messages.h"
#include "platform/win32/Win32Dpi.h"
#include "platform/win32/Win32Accessible.h"
#include "platform/win32/Win32StatusLine.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinHandles.h"

#include <commctrl.h>
#include <objbase.h>
#include "resources/ProgramResources.h"
#include "sprite/PageScale.h"

namespace {

struct Win32HostState {
  std::atomic<HWND> postTarget{nullptr};  // cleared when the window closes
  HWND window = nullptr;
  DialogWindow* dialog = nullptr;
  bool ended = false;
  std::set<UINT_PTR> timers;
  HDC paintDc = nullptr;
  RECT paintArea{};  // what the paint under way covers, in client pixels
  int dpi = 96;
  int templateDpi = 96;  // the DPI the template was laid out and its font made for
  int pageScale = 1;
  std::map<int, int> templateHeights;  // each control's height as the template made it
  GdiFont controlFont;                 // the template's font at the window's DPI, once it changed
  // The page's pixels at the window's scale in a DIB section, so a paint is one BitBlt.
  HBITMAP dib = nullptr;
  void* dibBits = nullptr;
  int dibWidth = 0;
  int dibHeight = 0;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  StatusFonts statusFonts;
  int progressShift = 0;  // the bar counts in int: large totals are scaled
  // Posts whose values do not fit a message's 32-bit parameters, in the
  // order of the markers posted for them.
  std::mutex widePostsMutex;
  std::deque<DialogMessage> widePosts;
  std::shared_ptr<AccessibleLink> accessible = std::make_shared<AccessibleLink>();
  std::vector<ButtonState> buttons;  // as screen readers were last told
  int focusBeforeLeaving = 0;        // the control that had the focus when the window last lost it
};

ContrastColors SystemContrast() {
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  if (!::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) ||
      (contrast.dwFlags & HCF_HIGHCONTRASTON) == 0) {
    return {};
  }
  const auto rgb = [](int index) {
    const COLORREF c = ::GetSysColor(index);
    return static_cast<uint32_t>(GetRValue(c)) << 16 | static_cast<uint32_t>(GetGValue(c)) << 8 | GetBValue(c);
  };
  return {true, rgb(COLOR_WINDOWTEXT), rgb(COLOR_WINDOW), rgb(COLOR_HIGHLIGHT)};
}

// The marker of a post that waits in widePosts.
constexpr UINT kWmWidePost = WM_APP + 1;
// Puts the focus back where the window has it, once an activation is over.
constexpr UINT kWmRestoreFocus = WM_APP + 3;

bool FitsMessageParameters(uint64_t wParam, int64_t lParam) {
  return wParam <= 0xFFFFFFFFu && lParam >= INT32_MIN && lParam <= INT32_MAX;
}

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

int ScalePercent(const Win32HostState* s) { return ::MulDiv(s->dpi, 100, 96); }
int ToClient(const Win32HostState* s, int page) { return PageToWindow(page, ScalePercent(s), s->pageScale); }
int ToPage(const Win32HostState* s, int client) { return WindowToPage(client, ScalePercent(s), s->pageScale); }

COLORREF ToColorRef(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

int64_t Dispatch(Win32HostState* s, uint32_t id, uint64_t wParam, int64_t lParam) {
  return s->dialog != nullptr ? s->dialog->Dispatch({id, wParam, lParam, {}}) : 0;
}

// Mouse points as the dialog reads them, in page pixels: x in the low, y in
// the high 16 bits.
int64_t MousePoint(const Win32HostState* s, LPARAM lParam) {
  const auto x = static_cast<int16_t>(LOWORD(lParam));
  const auto y = static_cast<int16_t>(HIWORD(lParam));
  return PackPoint(ToPage(s, x), ToPage(s, y));
}

// The combo box's text and the status line's at the window's DPI.
void ApplyFonts(Win32HostState* s) {
  s->statusFonts.SetPixels(::MulDiv(ZK_STATUS_FONT_PIXELS, s->dpi, 96));
  if (s->dpi == s->templateDpi && s->controlFont == nullptr) return;  // the template's font fits
  const auto templateFont = reinterpret_cast<HFONT>(::SendMessageW(s->window, WM_GETFONT, 0, 0));
  GdiFont font = ScaledFont(templateFont, s->templateDpi, s->dpi);
  if (font == nullptr) return;
  ::SendDlgItemMessageW(s->window, kComboLanguage, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  s->controlFont = std::move(font);  // the old one is no longer selected
}

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    ::EndDialog(window, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

void Paint(Win32HostState* s, HWND window) {
  PAINTSTRUCT ps{};
  s->paintDc = ::BeginPaint(window, &ps);
  s->paintArea = ps.rcPaint;
  DialogMessage paint{kWmPaint, 0, 0, {}};
  paint.area = {ToPage(s, ps.rcPaint.left), ToPage(s, ps.rcPaint.top), ToPage(s, ps.rcPaint.right - 1) + 1,
                ToPage(s, ps.rcPaint.bottom - 1) + 1};
  if (s->dialog != nullptr) s->dialog->Dispatch(paint);
  s->paintDc = nullptr;
  ::EndPaint(window, &ps);
}

// The window's own focus: the list or a sprite button's stand-in.
int FocusedControl(Win32HostState* s) {
  int target = kComboLanguage;
  for (const ButtonState& button : s->dialog->Buttons()) {
    if (button.focused) target = static_cast<int>(button.command);
  }
  return target;
}

// After a message box or a minimised spell the dialog manager may have
// nowhere to put the focus back (a minimised window keeps none) and gives
// it to the first control: the focus the window had when it lost it goes
// back.
void RestoreFocus(Win32HostState* s, HWND window) {
  const int target = s->focusBeforeLeaving != 0 ? s->focusBeforeLeaving : FocusedControl(s);
  if (::IsIconic(window) || ::GetActiveWindow() != window) return;  // not back yet
  s->focusBeforeLeaving = 0;
  const HWND control = ::GetDlgItem(window, target);
  if (control == nullptr || !::IsWindowEnabled(control) || ::GetFocus() == control) return;
  ::SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<Win32HostState*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (message == WM_INITDIALOG) {
    s = reinterpret_cast<Win32HostState*>(lParam);
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    s->window = window;
    s->postTarget.store(window);
    s->dpi = s->templateDpi = WindowDpi(window);
    KeepDialogLayoutOnDpiChange(window);
    ApplyFonts(s);
    s->accessible->dialog = window;
    s->accessible->window = s->dialog;
    s->accessible->toClient = [s](const PixelRect& r) {
      return PixelRect{ToClient(s, r.left), ToClient(s, r.top), ToClient(s, r.right), ToClient(s, r.bottom)};
    };
    CreateButtonStandIns(window, s->accessible, s->dialog->Buttons());
    s->dialog->OnInitDialog();
    s->buttons = s->dialog->Buttons();
    UpdateButtonStandIns(window, {}, s->buttons);
    return TRUE;  // the focus goes to the first control
  }
  if (s == nullptr || s->dialog == nullptr) return FALSE;
  switch (message) {
    case WM_PAINT: Paint(s, window); return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
      const ControlColors colors = s->dialog->OnCtlColor(message == WM_CTLCOLORDLG ? kCtlColorDialog : kCtlColorStatic);
      if (!colors.overridden) return FALSE;
      const HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetTextColor(dc, ToColorRef(colors.text));
      ::SetBkColor(dc, ToColorRef(colors.background));
      return reinterpret_cast<INT_PTR>(::GetStockObject(BLACK_BRUSH));
    }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != kSysCmdAbout) return FALSE;  // the system's own commands
      Dispatch(s, kWmSysCommand, wParam, lParam);
      return TRUE;
    case WM_QUERYDRAGICON: return FALSE;  // no drag icon of its own: the system's
    case WM_CLOSE: Dispatch(s, kWmClose, 0, 0); return TRUE;
    case WM_COMMAND:
      // A click into the list takes the focus there: the window follows.
      if (LOWORD(wParam) == kComboLanguage && HIWORD(wParam) == CBN_SETFOCUS) {
        Dispatch(s, kWmSetFocus, kFocusLanguage, 0);
      }
      Dispatch(s, kWmCommand, wParam, lParam);
      return TRUE;
    case kWmStandIn: Dispatch(s, static_cast<uint32_t>(wParam), static_cast<uint64_t>(lParam), 0); return TRUE;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE && s->focusBeforeLeaving == 0) s->focusBeforeLeaving = FocusedControl(s);
      if (LOWORD(wParam) != WA_INACTIVE) ::PostMessageW(window, kWmRestoreFocus, 0, 0);
      return FALSE;  // the dialog manager's own handling first
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED && s->focusBeforeLeaving == 0) s->focusBeforeLeaving = FocusedControl(s);
      if (wParam == SIZE_RESTORED) ::PostMessageW(window, kWmRestoreFocus, 0, 0);
      return FALSE;
    case kWmRestoreFocus: RestoreFocus(s, window); return TRUE;
    case WM_GETOBJECT: {
      const LRESULT object = DialogObject(s->accessible, wParam, lParam);
      if (object == 0) return FALSE;
      ::SetWindowLongPtrW(window, DWLP_MSGRESULT, object);
      return TRUE;
    }
    case WM_TIMER: Dispatch(s, kWmTimer, wParam, 0); return TRUE;
    case WM_LBUTTONDOWN:
      // A press that a sprite button took keeps the mouse until its release.
      if (Dispatch(s, kWmLButtonDown, wParam, MousePoint(s, lParam)) != 0) ::SetCapture(window);
      return TRUE;
    case WM_LBUTTONUP:
      if (::GetCapture() == window) ::ReleaseCapture();
      Dispatch(s, kWmLButtonUp, wParam, MousePoint(s, lParam));
      return TRUE;
    case WM_MOUSEMOVE: Dispatch(s, kWmMouseMove, wParam, MousePoint(s, lParam)); return TRUE;
    case WM_DPICHANGED: {
      // The suggested place keeps the window where the system moved it; the
      // window then sizes itself to its artwork at the new scale.
      s->dpi = LOWORD(wParam) != 0 ? LOWORD(wParam) : 96;
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      if (suggested != nullptr) {
        ::SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      ApplyFonts(s);
      Dispatch(s, kWmDpiChanged, wParam, 0);
      return TRUE;
    }
    case WM_DRAWITEM:
      if (wParam != static_cast<WPARAM>(kStatusLine)) return FALSE;
      // The line is in the language chosen in the list: its font, too.
      DrawStatusLine(
          *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), window, s->dib,
          s->statusFonts.For(static_cast<int>(::SendDlgItemMessageW(window, kComboLanguage, CB_GETCURSEL, 0, 0))),
          SystemContrast());
      return TRUE;
    case kWmWidePost: {
      DialogMessage wide;
      {
        std::lock_guard lock(s->widePostsMutex);
        if (s->widePosts.empty()) return TRUE;
        wide = s->widePosts.front();
        s->widePosts.pop_front();
      }
      s->dialog->Dispatch(wide);
      return TRUE;
    }
    default:
      if (!IsWorkflowMessage(message)) return FALSE;
      ::SetWindowLongPtrW(window, DWLP_MSGRESULT,
                          static_cast<LONG_PTR>(Dispatch(s, message, wParam, static_cast<int64_t>(lParam))));
      return TRUE;
  }
}

// COM for the window's thread, while it runs.
struct ComScope {
  bool initialised;
  ~ComScope() {
    if (initialised) ::CoUninitialize();
  }
};

class Win32DialogHost final : public DialogHost {
 public:
  Win32DialogHost() : state_(std::make_unique<Win32HostState>()) {}

  ~Win32DialogHost() override {
    Win32HostState* s = state_.get();
    s->postTarget.store(nullptr);
    if (s->window != nullptr) ::DestroyWindow(s->window);
    if (s->dib != nullptr) ::DeleteObject(s->dib);
    if (s->bigIcon != nullptr) ::DestroyIcon(s->bigIcon);
    if (s->smallIcon != nullptr) ::DestroyIcon(s->smallIcon);
  }

  void RunModal(DialogWindow& window) override {
    Win32HostState* s = state_.get();
    s->dialog = &window;
    // Screen readers' objects are handed over through COM.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const ComScope comScope{SUCCEEDED(com)};
    const HWND dialog = ::CreateDialogParamW(Instance(), MAKEINTRESOURCEW(kResourceMainDialog), nullptr, DialogProc,
                                             reinterpret_cast<LPARAM>(s));
    if (dialog == nullptr) {
      s->dialog = nullptr;
      s->accessible->window = nullptr;
      return;
    }
    // The window shows itself with its artwork and controls before the first
    // posted message runs: posted messages would otherwise come before any
    // paint.
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    // The modal loop. Escape and Enter are offered to the window before the
    // dialog manager could turn them into Cancel or OK.
    MSG msg{};
    while (!s->ended && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == WM_KEYDOWN && (msg.hwnd == dialog || ::IsChild(dialog, msg.hwnd)) &&
          window.PreTranslateMessage({kWmKeyDown, static_cast<uint64_t>(msg.wParam), 0, {}})) {
        continue;
      }
      if (::IsDialogMessageW(dialog, &msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    s->postTarget.store(nullptr);
    s->accessible->window = nullptr;  // objects a screen reader still holds answer nothing
    s->dialog = nullptr;
    ::DestroyWindow(dialog);
    s->window = nullptr;
  }

  void Post(uint32_t message, uint64_t wParam, int64_t lParam) override {
    // The dialog's message numbers are the Windows ones.
    const HWND target = state_->postTarget.load();
    if (target == nullptr) return;
    // A figure past 32 bits (a download over 4 GiB on 32-bit Windows, and
    // alike on 64-bit, so that the tests see this path) waits beside the
    // queue, its marker in the queue keeping its place.
    if (!FitsMessageParameters(wParam, lParam)) {
      {
        std::lock_guard lock(state_->widePostsMutex);
        state_->widePosts.push_back({message, wParam, lParam, {}});
      }
      ::PostMessageW(target, kWmWidePost, 0, 0);
      return;
    }
    ::PostMessageW(target, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
  }

  bool IsLive() const override { return state_->postTarget.load() != nullptr; }

  void EndDialog() override {
    Win32HostState* s = state_.get();
    s->ended = true;
    s->postTarget.store(nullptr);
    for (const UINT_PTR id : s->timers) ::KillTimer(s->window, id);
    s->timers.clear();
    if (s->window != nullptr) ::ShowWindow(s->window, SW_HIDE);
    ::PostMessageW(s->window, WM_NULL, 0, 0);  // wakes the loop, which then ends
  }

  void StartTimer(uint32_t id, uint32_t periodMs) override {
    if (state_->window == nullptr) return;
    ::SetTimer(state_->window, id, periodMs, nullptr);
    state_->timers.insert(id);
  }

  void StopTimer(uint32_t id) override {
    if (state_->window != nullptr) ::KillTimer(state_->window, id);
    state_->timers.erase(id);
  }

  void ComboAddString(const std::u16string& text) override {
    const std::wstring wide = ToWide(text);
    ::SendDlgItemMessageW(state_->window, kComboLanguage, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }

  void ComboSetSelection(int index) override {
    ::SendDlgItemMessageW(state_->window, kComboLanguage, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }

  int ComboGetSelection() const override {
    const LRESULT index = ::SendDlgItemMessageW(state_->window, kComboLanguage, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
  }

  void ComboEnable(bool enabled) override {
    ::EnableWindow(::GetDlgItem(state_->window, kComboLanguage), enabled ? TRUE : FALSE);
  }

  void ProgressSetRange(uint64_t total) override {
    int shift = 0;
    while ((total >> shift) > 0x7FFFFFFF) ++shift;
    state_->progressShift = shift;
    ::SendDlgItemMessageW(state_->window, kProgressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total >> shift));
  }

  void ProgressSetPosition(uint64_t done) override {
    ::SendDlgItemMessageW(state_->window, kProgressBar, PBM_SETPOS, static_cast<WPARAM>(done >> state_->progressShift),
                          0);
  }

  void SetStatusText(const std::u16string& text) override {
    const HWND line = ::GetDlgItem(state_->window, kStatusLine);
    if (line == nullptr) return;
    ::SetWindowTextW(line, ToWide(text).c_str());
    ::InvalidateRect(line, nullptr, FALSE);
  }

  void ProgressShow(bool visible) override {
    ::ShowWindow(::GetDlgItem(state_->window, kProgressBar), visible ? SW_SHOW : SW_HIDE);
  }

  void MoveControl(int controlId, int x, int y, int width) override {
    Win32HostState* s = state_.get();
    const HWND control = ::GetDlgItem(s->window, controlId);
    if (control == nullptr) return;
    // The height is the template's, at the window's DPI: a combo box's
    // window height is its closed height, and a resize to that leaves its
    // drop-down list as the template made it.
    if (s->templateHeights.count(controlId) == 0) {
      RECT own{};
      ::GetWindowRect(control, &own);
      s->templateHeights[controlId] = own.bottom - own.top;
    }
    const int height = ::MulDiv(s->templateHeights[controlId], s->dpi, s->templateDpi);
    ::SetWindowPos(control, nullptr, ToClient(s, x), ToClient(s, y), ToClient(s, width), height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }

  int DisplayScale() const override { return ScalePercent(state_.get()); }

  void SetPageScale(int artworkScale) override { state_->pageScale = std::max(artworkScale, 1); }

  void SetClientSize(int pageWidth, int pageHeight) override {
    // Once at the wanted outer size, then corrected by what the frame takes;
    // where the window is stays (CentreWindow places it).
    const HWND w = state_->window;
    const int width = ToClient(state_.get(), pageWidth);
    const int height = ToClient(state_.get(), pageHeight);
    constexpr UINT kSizeOnly = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    ::SetWindowPos(w, nullptr, 0, 0, width, height, kSizeOnly);
    RECT outer{};
    RECT client{};
    ::GetWindowRect(w, &outer);
    ::GetClientRect(w, &client);
    ::SetWindowPos(w, nullptr, 0, 0, width + (outer.right - outer.left) - (client.right - client.left),
                   height + (outer.bottom - outer.top) - (client.bottom - client.top), kSizeOnly);
  }

  void CentreWindow() override {
    // No owner: the centre of the work area.
    RECT area{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT own{};
    ::GetWindowRect(state_->window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    ::SetWindowPos(state_->window, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void Invalidate() override {
    if (state_->window == nullptr) return;
    ::InvalidateRect(state_->window, nullptr, FALSE);
    // The status line draws from the page: it follows what changed under it.
    if (const HWND line = ::GetDlgItem(state_->window, kStatusLine)) ::InvalidateRect(line, nullptr, FALSE);
  }

  // The whole page goes to the window's bitmap; the paint's own area (in
  // client pixels) is what reaches the window.
  void CopyToWindow(const uint16_t* pixels, int pitch, int width, int height, const PixelRect&) override {
    Win32HostState* s = state_.get();
    if (s->paintDc == nullptr || pixels == nullptr || width <= 0 || height <= 0 || pitch < width) return;
    // The window's bitmap holds the page at the window's scale.
    const int pageWidth = width, pageHeight = height;
    width = ToClient(s, pageWidth);
    height = ToClient(s, pageHeight);
    if (width <= 0 || height <= 0) return;
    if (s->dib == nullptr || s->dibWidth != width || s->dibHeight != height) {
      if (s->dib != nullptr) ::DeleteObject(s->dib);
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = width;
      info.bmiHeader.biHeight = -height;  // top row first, as the page
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 16;  // BI_RGB at 16 bits is 5-5-5
      info.bmiHeader.biCompression = BI_RGB;
      s->dibBits = nullptr;
      s->dib = ::CreateDIBSection(s->paintDc, &info, DIB_RGB_COLORS, &s->dibBits, nullptr, 0);
      s->dibWidth = s->dib != nullptr ? width : 0;
      s->dibHeight = s->dib != nullptr ? height : 0;
      if (s->dib == nullptr) return;
    }
    ::GdiFlush();
    const std::size_t dibStride = (static_cast<std::size_t>(width) * 2 + 3) & ~std::size_t{3};
    auto* out = static_cast<uint8_t*>(s->dibBits);
    if (width == pageWidth && height == pageHeight) {
      for (int y = 0; y < height; ++y) {
        std::memcpy(out + y * dibStride, pixels + static_cast<std::size_t>(y) * pitch,
                    static_cast<std::size_t>(width) * 2);
      }
    } else {
      ScalePixels555(pixels, pitch, pageWidth, pageHeight, reinterpret_cast<uint16_t*>(out),
                     static_cast<int>(dibStride / 2), width, height);
    }
    const HDC memory = ::CreateCompatibleDC(s->paintDc);
    const HGDIOBJ previous = ::SelectObject(memory, s->dib);
    ::SetBkMode(memory, TRANSPARENT);
    const RECT& part = s->paintArea;
    const int left = std::max<int>(part.left, 0);
    const int top = std::max<int>(part.top, 0);
    ::BitBlt(s->paintDc, left, top, std::min<int>(part.right, width) - left, std::min<int>(part.bottom, height) - top,
             memory, left, top, SRCCOPY);
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
  }

  void ShowMessageBox(const std::u16string& text, const std::u16string& caption) override {
    ::MessageBoxW(state_->window, ToWide(text).c_str(), ToWide(caption).c_str(), MB_OK);
  }

  void BeginWindowDrag(int pageX, int pageY) override {
    // The press becomes a press on the caption: the system moves the window.
    if (::GetCapture() == state_->window) ::ReleaseCapture();
    const int x = ToClient(state_.get(), pageX), y = ToClient(state_.get(), pageY);
    ::PostMessageW(state_->window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
  }

  bool AddAboutItem(const std::u16string& text) override {
    const HMENU menu = ::GetSystemMenu(state_->window, FALSE);
    if (menu == nullptr) return false;
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kSysCmdAbout, ToWide(text).c_str());
    return true;
  }

  void RunAboutBox() override {
    ::DialogBoxParamW(Instance(), MAKEINTRESOURCEW(kResourceAboutBox), state_->window, AboutProc, 0);
  }

  void SetIcons(std::span<const uint8_t>) override {
    // The icon group of the resource section, in the two sizes the system wants.
    Win32HostState* s = state_.get();
    const auto load = [](int width, int height) {
      return static_cast<HICON>(
          ::LoadImageW(Instance(), MAKEINTRESOURCEW(kResourceIcon), IMAGE_ICON, width, height, 0));
    };
    s->bigIcon = load(::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
    s->smallIcon = load(::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON));
    ::SendMessageW(s->window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(s->bigIcon));
    ::SendMessageW(s->window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(s->smallIcon));
  }

  bool IsIconic() const override { return state_->window != nullptr && ::IsIconic(state_->window) != FALSE; }

  void FocusControl(uint64_t target) override {
    // The dialog's way, which also keeps its default button right; a
    // sprite button's focus is its stand-in's.
    const HWND control =
        ::GetDlgItem(state_->window, target == kFocusLanguage ? kComboLanguage : static_cast<int>(target));
    if (control == nullptr || !::IsWindowEnabled(control)) return;
    ::SendMessageW(state_->window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  }

  void ButtonsChanged() override {
    Win32HostState* s = state_.get();
    if (s->window == nullptr || s->dialog == nullptr) return;
    std::vector<ButtonState> now = s->dialog->Buttons();
    UpdateButtonStandIns(s->window, s->buttons, now);
    s->buttons = std::move(now);
  }

  ContrastColors HighContrast() const override { return SystemContrast(); }

 private:
  std::unique_ptr<Win32HostState> state_;
};

}  // namespace

std::unique_ptr<DialogHost> CreateWin32DialogHost() { return std::make_unique<Win32DialogHost>(); }
