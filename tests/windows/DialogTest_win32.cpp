// The real main window (template 102 from the resource section) run by the
// Win32 host: the two controls that the window lays over its artwork must
// end inside it. Wine has no "굴림체" and substitutes a wider font, which
// makes the template's 110 dialog units 220 pixels instead of 192.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <tuple>
#include <vector>

#include "SelectLanguage/InstallerDialog.h"
#include "platform/win32/Win32DialogHost.h"
#include "platform/win32/Win32Dpi.h"
#include "tests/support/TempDir.h"

namespace {

// A control's rectangle in the dialog's client coordinates.
RECT ClientRectOf(HWND dialog, int controlId) {
  RECT rect{};
  const HWND control = ::GetDlgItem(dialog, controlId);
  if (control == nullptr) return rect;
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The top-level window of this thread that holds the language combo box.
HWND ThreadDialog() {
  HWND found = nullptr;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM out) -> BOOL {
        if (::GetDlgItem(window, kComboLanguage) == nullptr) return TRUE;
        *reinterpret_cast<HWND*>(out) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// A length of the 1x layout at a DPI, to the nearest pixel.
int AtDpi(int pixels, int dpi) { return (pixels * dpi * 2 + 96) / 192; }

struct Geometry {
  int dpi = 96;
  int artwork = 0;  // the artwork's scale the window chose
  RECT client{};
  RECT combo{};
  RECT progress{};
  RECT status{};
  int droppedHeight = 0;        // the combo box's drop-down list
  int fontHeight = 0;           // the combo box's font, in pixels
  bool hoveredInside = false;   // Close, at the middle of where it is drawn
  bool hoveredOutside = false;  // just right of it
};

// With `buttons`, also where Close takes the mouse.
Geometry Measure(HWND window, const InstallerDialog& dialog, int dpi, bool buttons = true) {
  Geometry g;
  g.dpi = dpi;
  g.artwork = dialog.ArtworkScale();
  ::GetClientRect(window, &g.client);
  g.combo = ClientRectOf(window, kComboLanguage);
  g.progress = ClientRectOf(window, kProgressBar);
  g.status = ClientRectOf(window, kStatusLine);
  RECT dropped{};
  ::SendDlgItemMessageW(window, kComboLanguage, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
  g.droppedHeight = dropped.bottom - dropped.top;
  LOGFONTW font{};
  const auto handle = reinterpret_cast<HFONT>(::SendDlgItemMessageW(window, kComboLanguage, WM_GETFONT, 0, 0));
  if (handle != nullptr && ::GetObjectW(handle, sizeof font, &font) != 0) g.fontHeight = std::abs(font.lfHeight);
  if (!buttons) return g;
  const int y = AtDpi(109 + 15, dpi);
  ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(AtDpi(219 + 42, dpi), y));
  g.hoveredInside = dialog.CloseButton().IsHovered();
  ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(AtDpi(219 + 85, dpi) + 3, y));
  g.hoveredOutside = dialog.CloseButton().IsHovered();
  return g;
}

// Runs the installer's window through its initialisation and records where
// its controls are as the template made them and then the moment the host
// hands the window its first message (its first paint, normally), at the
// display's DPI (wine's LogPixels: tests/windows/dpi_scales.sh runs this at
// 96, 144 and 192) and after a WM_DPICHANGED to each other DPI, as a move to
// another monitor would send; at the last, Close is clicked where it is drawn.
class GeometryProbe : public DialogWindow {
 public:
  static constexpr uint32_t kGiveUpTimer = 9002;
  GeometryProbe(DialogHost& host, InstallerDialog& dialog) : host_(host), dialog_(dialog) {}

  int OnInitDialog() override {
    fromTemplate = Measure(ThreadDialog(), dialog_, 96, false);
    return dialog_.OnInitDialog();
  }
  bool PreTranslateMessage(const DialogMessage& message) override { return dialog_.PreTranslateMessage(message); }
  ControlColors OnCtlColor(int kind) override { return dialog_.OnCtlColor(kind); }
  int64_t Dispatch(const DialogMessage& message) override {
    if (!started_) {
      started_ = true;
      const HWND window = ThreadDialog();
      shown = Measure(window, dialog_, WindowDpi(window));
      for (const int dpi : {96, 120, 144, 192, 96, 144}) {
        RECT suggested{};
        ::GetWindowRect(window, &suggested);
        ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        rescaled.push_back(Measure(window, dialog_, dpi));
      }
      const LPARAM middle = MAKELPARAM(AtDpi(219 + 42, 144), AtDpi(109 + 15, 144));
      ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, middle);
      ::SendMessageW(window, WM_LBUTTONUP, 0, middle);
      host_.StartTimer(kGiveUpTimer, 3000);  // the close it posts comes first, or the click missed
    }
    if (message.id == kWmTimer && message.wParam == kGiveUpTimer) host_.EndDialog();
    // The window's own messages; the workflow stays where it began.
    switch (message.id) {
      case kWmPaint:
      case kWmClose:
      case kWmDpiChanged:
      case kWmMouseMove:
      case kWmLButtonDown:
      case kWmLButtonUp: return dialog_.Dispatch(message);
      default: return 0;
    }
  }

  Geometry fromTemplate;
  std::optional<Geometry> shown;
  std::vector<Geometry> rescaled;

 private:
  DialogHost& host_;
  InstallerDialog& dialog_;
  bool started_ = false;
};

// One run of the window serves every case.
class Win32DialogGeometry : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    // Nothing answers here: start-up settles on the forced region at once.
    _putenv_s("ZK_REGION_HOST", "127.0.0.1:1");
    _putenv_s("ZK_CLIENT_IP_HOST", "127.0.0.1");
    _putenv_s("ZK_CONFIG_HOST", "127.0.0.1:1");
    TempDir dir(true);  // the progress log goes to the current folder
    const std::unique_ptr<DialogHost> host = CreateWin32DialogHost();
    InstallationTimings quick;
    quick.region = {std::chrono::milliseconds(0), std::chrono::milliseconds(1000)};
    InstallerDialog dialog(*host, quick);
    GeometryProbe probe(*host, dialog);
    host->RunModal(probe);
    fromTemplate_ = probe.fromTemplate;
    shown_ = probe.shown;
    all_ = probe.rescaled;
    if (shown_) all_.insert(all_.begin(), *shown_);
    closedByClick_ = dialog.IsClosed();
  }
  void SetUp() override { ASSERT_TRUE(shown_.has_value()) << "the window did not come up"; }

  static inline Geometry fromTemplate_;
  static inline std::optional<Geometry> shown_;
  static inline std::vector<Geometry> all_;  // as shown, then after each DPI change
  static inline bool closedByClick_ = false;
};

TEST_F(Win32DialogGeometry, TheClientAreaIsTheBackgroundSpriteAtTheScale) {
  if (const char* expected = std::getenv("ZK_EXPECTED_DPI")) {
    EXPECT_EQ(shown_->dpi, std::atoi(expected));
  }
  for (const Geometry& g : all_) {
    EXPECT_EQ(g.client.right, AtDpi(320, g.dpi)) << g.dpi;
    EXPECT_EQ(g.client.bottom, AtDpi(160, g.dpi)) << g.dpi;
    EXPECT_EQ(g.artwork, g.dpi > 96 ? 2 : 1) << g.dpi;
  }
}

TEST_F(Win32DialogGeometry, BothControlsEndInsideTheArtwork) {
  for (const RECT& control : {shown_->combo, shown_->progress}) {
    EXPECT_LE(control.right, shown_->client.right) << "left " << control.left;
    EXPECT_LE(control.bottom, shown_->client.bottom) << "left " << control.left;
  }
}

TEST_F(Win32DialogGeometry, ControlsSitAtTheirPlacesWithTheDesignedWidthAtTheScale) {
  // 110 dialog units in the template font's 7-pixel character cell, whatever
  // font the system substituted, times the scale; the template's font too.
  for (const Geometry& g : all_) {
    for (const auto& [r, x, y] : {std::tuple{g.combo, 115, 59}, {g.progress, 115, 85}, {g.status, 115, 85}}) {
      EXPECT_EQ(std::make_tuple(r.left, r.top, r.right - r.left),
                std::make_tuple(AtDpi(x, g.dpi), AtDpi(y, g.dpi), AtDpi(192, g.dpi)))
          << g.dpi << " DPI, top " << y;
    }
    EXPECT_NEAR(g.fontHeight, shown_->fontHeight * g.dpi / shown_->dpi, 1) << g.dpi;
  }
}

TEST_F(Win32DialogGeometry, TheComboBoxKeepsItsDropDownList) {
  EXPECT_EQ(shown_->combo.bottom - shown_->combo.top, fromTemplate_.combo.bottom - fromTemplate_.combo.top);
  EXPECT_EQ(shown_->droppedHeight, fromTemplate_.droppedHeight);
  EXPECT_GT(shown_->droppedHeight, 2 * (shown_->combo.bottom - shown_->combo.top));
}

TEST_F(Win32DialogGeometry, TheButtonsReactWhereTheyAreDrawn) {
  for (const Geometry& g : all_) {
    EXPECT_TRUE(g.hoveredInside) << g.dpi;
    EXPECT_FALSE(g.hoveredOutside) << g.dpi;
  }
  EXPECT_TRUE(closedByClick_) << "Close, clicked where it is drawn at 144 DPI, did not close the window";
}

}  // namespace

namespace {

// Hands the real window a download's figures past 4 GiB through the host,
// as the download worker posts them, and reads the status line's text once
// the line has taken them (it changes at most 4 times a second).
class FiguresProbe : public DialogWindow {
 public:
  static constexpr uint32_t kReadTimer = 9001;
  FiguresProbe(DialogHost& host, InstallerDialog& dialog) : host_(host), dialog_(dialog) {}

  int OnInitDialog() override { return dialog_.OnInitDialog(); }
  bool PreTranslateMessage(const DialogMessage& message) override { return dialog_.PreTranslateMessage(message); }
  ControlColors OnCtlColor(int kind) override { return dialog_.OnCtlColor(kind); }
  int64_t Dispatch(const DialogMessage& message) override {
    if (!posted_) {
      posted_ = true;
      host_.Post(kMsgDownloadProgress, uint64_t{5} << 30, int64_t{6} << 30);
      host_.StartTimer(kReadTimer, 700);
    }
    if (message.id == kWmTimer && message.wParam == kReadTimer) {
      wchar_t text[256] = {};
      ::GetDlgItemTextW(ThreadDialog(), kStatusLine, text, 256);
      line = text;
      host_.EndDialog();
      return 0;
    }
    return dialog_.Dispatch(message);
  }

  std::wstring line;

 private:
  DialogHost& host_;
  InstallerDialog& dialog_;
  bool posted_ = false;
};

TEST(Win32DialogStatus, FiguresPast4GiBReachTheLine) {
  // The region check is refused, and its pause outlasts the test: nothing
  // else comes to the line.
  _putenv_s("ZK_REGION_HOST", "127.0.0.1:1");
  TempDir dir(true);
  const std::unique_ptr<DialogHost> host = CreateWin32DialogHost();
  InstallationTimings slow;
  slow.region = {std::chrono::milliseconds(60000), std::chrono::milliseconds(1000)};
  InstallerDialog dialog(*host, slow);
  FiguresProbe probe(*host, dialog);
  host->RunModal(probe);
  EXPECT_EQ(probe.line, L"5368.7 of 6442.4 MB");
}

}  // namespace
