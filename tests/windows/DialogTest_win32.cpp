// The real main window (template 102 from the resource section) run by the
// Win32 host: the two controls that the window lays over its artwork must
// end inside it. Wine has no "굴림체" and substitutes a wider font, which
// makes the template's 110 dialog units 220 pixels instead of 192.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
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

struct Geometry {
  RECT client{};
  RECT combo{};
  RECT progress{};
  int droppedHeight = 0;  // the combo box's drop-down list
};

Geometry Measure(HWND window) {
  Geometry geometry;
  ::GetClientRect(window, &geometry.client);
  geometry.combo = ClientRectOf(window, kComboLanguage);
  geometry.progress = ClientRectOf(window, kProgressBar);
  RECT dropped{};
  ::SendDlgItemMessageW(window, kComboLanguage, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
  geometry.droppedHeight = dropped.bottom - dropped.top;
  return geometry;
}

// Runs the installer's window through its initialisation and records where
// its controls are as the template made them and then the moment the host
// hands the window its first message (its first paint, normally). The window
// is then ended before any workflow runs.
class GeometryProbe : public DialogWindow {
 public:
  GeometryProbe(DialogHost& host, InstallerDialog& dialog) : host_(host), dialog_(dialog) {}

  int OnInitDialog() override {
    fromTemplate = Measure(ThreadDialog());
    return dialog_.OnInitDialog();
  }
  bool PreTranslateMessage(const DialogMessage& message) override { return dialog_.PreTranslateMessage(message); }
  ControlColors OnCtlColor(int kind) override { return dialog_.OnCtlColor(kind); }
  int64_t Dispatch(const DialogMessage& message) override {
    if (!shown.has_value()) {
      shown = Measure(ThreadDialog());
      host_.EndDialog();
    }
    return message.id == kWmPaint ? dialog_.Dispatch(message) : 0;
  }

  Geometry fromTemplate;
  std::optional<Geometry> shown;

 private:
  DialogHost& host_;
  InstallerDialog& dialog_;
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
  }
  void SetUp() override { ASSERT_TRUE(shown_.has_value()) << "the window did not come up"; }

  static inline Geometry fromTemplate_;
  static inline std::optional<Geometry> shown_;
};

TEST_F(Win32DialogGeometry, TheClientAreaIsTheBackgroundSprite) {
  EXPECT_EQ(shown_->client.right, 320);
  EXPECT_EQ(shown_->client.bottom, 160);
}

TEST_F(Win32DialogGeometry, BothControlsEndInsideTheArtwork) {
  for (const RECT& control : {shown_->combo, shown_->progress}) {
    EXPECT_LE(control.right, shown_->client.right) << "left " << control.left;
    EXPECT_LE(control.bottom, shown_->client.bottom) << "left " << control.left;
  }
}

TEST_F(Win32DialogGeometry, ControlsSitAtTheirPlacesWithTheDesignedWidth) {
  EXPECT_EQ(shown_->combo.left, 115);
  EXPECT_EQ(shown_->combo.top, 59);
  EXPECT_EQ(shown_->progress.left, 115);
  EXPECT_EQ(shown_->progress.top, 85);
  // 110 dialog units in the template font's 7-pixel character cell, whatever
  // font the system substituted.
  EXPECT_EQ(shown_->combo.right - shown_->combo.left, 192);
  EXPECT_EQ(shown_->progress.right - shown_->progress.left, 192);
}

TEST_F(Win32DialogGeometry, TheComboBoxKeepsItsDropDownList) {
  EXPECT_EQ(shown_->combo.bottom - shown_->combo.top, fromTemplate_.combo.bottom - fromTemplate_.combo.top);
  EXPECT_EQ(shown_->droppedHeight, fromTemplate_.droppedHeight);
  EXPECT_GT(shown_->droppedHeight, 2 * (shown_->combo.bottom - shown_->combo.top));
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

namespace {

// A length of the 1x layout at a DPI, to the nearest pixel.
int AtDpi(int pixels, int dpi) { return (pixels * dpi * 2 + 96) / 192; }

struct ScaledGeometry {
  int dpi = 0;
  Geometry at;
  RECT status{};
  int artwork = 0;              // the artwork's scale the window chose
  int fontHeight = 0;           // the combo box's font, in pixels
  bool hoveredInside = false;   // Close, at the middle of where it is drawn
  bool hoveredOutside = false;  // just right of it
};

ScaledGeometry MeasureScaled(HWND window, const InstallerDialog& dialog, int dpi) {
  ScaledGeometry g;
  g.dpi = dpi;
  g.at = Measure(window);
  g.status = ClientRectOf(window, kStatusLine);
  g.artwork = dialog.ArtworkScale();
  LOGFONTW font{};
  const auto handle = reinterpret_cast<HFONT>(::SendDlgItemMessageW(window, kComboLanguage, WM_GETFONT, 0, 0));
  if (handle != nullptr && ::GetObjectW(handle, sizeof font, &font) != 0) g.fontHeight = std::abs(font.lfHeight);
  const int y = AtDpi(109 + 15, dpi);
  ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(AtDpi(219 + 42, dpi), y));
  g.hoveredInside = dialog.CloseButton().IsHovered();
  ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(AtDpi(219 + 85, dpi) + 3, y));
  g.hoveredOutside = dialog.CloseButton().IsHovered();
  return g;
}

// The window at the display's DPI (wine's LogPixels, which
// tests/windows/dpi_scales.sh sets for each run), then told of each other
// DPI as a move to another monitor would; at the last, Close is clicked
// where it is drawn.
class ScaleProbe : public DialogWindow {
 public:
  static constexpr uint32_t kGiveUpTimer = 9002;
  ScaleProbe(DialogHost& host, InstallerDialog& dialog) : host_(host), dialog_(dialog) {}
  int OnInitDialog() override { return dialog_.OnInitDialog(); }
  bool PreTranslateMessage(const DialogMessage& message) override { return dialog_.PreTranslateMessage(message); }
  ControlColors OnCtlColor(int kind) override { return dialog_.OnCtlColor(kind); }
  int64_t Dispatch(const DialogMessage& message) override {
    if (!measured_) {
      measured_ = true;
      const HWND window = ThreadDialog();
      const int start = WindowDpi(window);
      scales.push_back(MeasureScaled(window, dialog_, start));
      for (const int dpi : {96, 120, 144, 192, 96, 144}) {
        RECT suggested{};
        ::GetWindowRect(window, &suggested);
        ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        scales.push_back(MeasureScaled(window, dialog_, dpi));
      }
      const int dpi = scales.back().dpi;
      const LPARAM middle = MAKELPARAM(AtDpi(219 + 42, dpi), AtDpi(109 + 15, dpi));
      ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, middle);
      ::SendMessageW(window, WM_LBUTTONUP, 0, middle);
      host_.StartTimer(kGiveUpTimer, 3000);  // the close it posts comes first, or the click missed
    }
    if (message.id == kWmTimer && message.wParam == kGiveUpTimer) {
      host_.EndDialog();
      return 0;
    }
    return dialog_.Dispatch(message);
  }

  std::vector<ScaledGeometry> scales;

 private:
  DialogHost& host_;
  InstallerDialog& dialog_;
  bool measured_ = false;
};

TEST(Win32DialogScale, TheWindowFollowsTheDisplaysDpi) {
  _putenv_s("ZK_REGION_HOST", "127.0.0.1:1");
  TempDir dir(true);
  const std::unique_ptr<DialogHost> host = CreateWin32DialogHost();
  InstallationTimings slow;
  slow.region = {std::chrono::milliseconds(60000), std::chrono::milliseconds(1000)};
  InstallerDialog dialog(*host, slow);
  ScaleProbe probe(*host, dialog);
  host->RunModal(probe);
  ASSERT_EQ(probe.scales.size(), 7u) << "the window did not come up";
  const ScaledGeometry& first = probe.scales.front();
  std::printf("The display's DPI: %d\n", first.dpi);
  if (const char* expected = std::getenv("ZK_EXPECTED_DPI")) {
    EXPECT_EQ(first.dpi, std::atoi(expected));
  }
  for (const ScaledGeometry& g : probe.scales) {
    const int dpi = g.dpi;
    SCOPED_TRACE(dpi);
    EXPECT_EQ(g.artwork, dpi > 96 ? 2 : 1);
    EXPECT_EQ(g.at.client.right, AtDpi(320, dpi));
    EXPECT_EQ(g.at.client.bottom, AtDpi(160, dpi));
    EXPECT_EQ(g.at.combo.left, AtDpi(115, dpi));
    EXPECT_EQ(g.at.combo.top, AtDpi(59, dpi));
    EXPECT_EQ(g.at.combo.right - g.at.combo.left, AtDpi(192, dpi));
    EXPECT_EQ(g.at.progress.left, AtDpi(115, dpi));
    EXPECT_EQ(g.at.progress.top, AtDpi(85, dpi));
    EXPECT_EQ(g.at.progress.right - g.at.progress.left, AtDpi(192, dpi));
    EXPECT_EQ(g.status.left, AtDpi(115, dpi));
    EXPECT_EQ(g.status.top, AtDpi(85, dpi));
    EXPECT_EQ(g.status.right - g.status.left, AtDpi(192, dpi));
    // The template's font at the DPI: its height in proportion, to a pixel.
    EXPECT_NEAR(g.fontHeight, first.fontHeight * dpi / first.dpi, 1);
    EXPECT_TRUE(g.hoveredInside);
    EXPECT_FALSE(g.hoveredOutside);
  }
  EXPECT_TRUE(dialog.IsClosed()) << "Close, clicked where it is drawn, did not close the window";
}

}  // namespace
