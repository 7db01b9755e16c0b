// Message numbers of the main window and its worker. Hosts translate native
// events into these; the window handles them in one dispatch function.
#pragma once

#include <cstdint>

#include "resources/ResourceIds.h"
#include "widgets/SpriteButton.h"

// Workflow messages, the timer and the commands.
inline constexpr uint32_t kMsgDownloadRequest = 2024;  // thread message to the worker
inline constexpr uint32_t kMsgDownloadProgress = 2025;
inline constexpr uint32_t kMsgSetupDownloaded = 2026;
inline constexpr uint32_t kMsgSetupDownloadFailed = 2027;
inline constexpr uint32_t kMsgLoadSettings = 2028;
// One configuration try has ended (posted by the configuration's worker):
// wParam is the try's SettingsOutcome (net/GameSettings.h), so a refused
// file's cause reaches the window, which alone writes the log; lParam the
// try's number from 1.
inline constexpr uint32_t kMsgSettingsTry = 2032;
// Posted by the installation to itself once the window is up: the region
// lookup starts then, behind the shown window.
inline constexpr uint32_t kMsgLookUpRegion = 2033;
// The region lookup has ended (posted by its worker): wParam is its source
// (net/RegionCode.h).
inline constexpr uint32_t kMsgRegionKnown = 2034;
// What the status line shows and the log does not: a configuration try has
// failed (wParam its number from 1), before its pause; a download attempt
// broke (wParam the next attempt's number from 1, lParam the pause in ms);
// bytes of a download whose size is not known (wParam), where 2025 needs a
// total.
inline constexpr uint32_t kMsgSettingsTryFailed = 2035;
inline constexpr uint32_t kMsgDownloadRetry = 2036;
inline constexpr uint32_t kMsgDownloadBytes = 2037;
// The setup download moved on to its next URL: wParam the URL's number from
// 1 (the primary), lParam how many it has.
inline constexpr uint32_t kMsgDownloadServer = 2039;
// The messages that reach the installation: the window's dispatch hands them
// over, and a host passes them through as they are.
inline constexpr bool IsWorkflowMessage(uint32_t id) {
  return id == kMsgDownloadProgress || id == kMsgSetupDownloaded || id == kMsgSetupDownloadFailed ||
         id == kMsgLoadSettings || id == kMsgSettingsTry || (id >= kMsgLookUpRegion && id <= kMsgDownloadBytes) ||
         id == kMsgDownloadServer;
}
inline constexpr uint32_t kTimerSetupWait = 2029;
// Refreshes the status line's figures and countdowns, at most this often.
inline constexpr uint32_t kTimerStatus = 2038;
inline constexpr uint32_t kTimerStatusPeriodMs = 250;
inline constexpr uint32_t kTimerPeriodMs = 2000;
inline constexpr uint32_t kCmdInstall = 2030;
inline constexpr uint32_t kCmdClose = 2031;
inline constexpr uint32_t kCmdButtonPressed = kButtonPressNotification;  // what every sprite button posts
inline constexpr uint32_t kSysCmdAbout = 0x10;

// Control ids of the dialog template.
inline constexpr int kComboLanguage = ZK_CONTROL_LANGUAGE_COMBO;
inline constexpr int kProgressBar = ZK_CONTROL_PROGRESS_BAR;
inline constexpr int kStatusLine = ZK_CONTROL_STATUS_LINE;
// The notification in a command's high half when the list's selection changed.
inline constexpr uint64_t kComboSelectionChanged = (uint64_t{1} << 16) | ZK_CONTROL_LANGUAGE_COMBO;

// Named equivalents of the window messages that the dialog handles (the
// values are the Windows ones, which keeps traces readable on every host).
inline constexpr uint32_t kWmSetFocus = 0x0007;  // wParam: what has the focus now (kFocus… below)
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmPaint = 0x000F;
inline constexpr uint32_t kWmQueryDragIcon = 0x0037;
inline constexpr uint32_t kWmCtlColor = 0x0019;
inline constexpr uint32_t kWmKeyDown = 0x0100;  // wParam the key, lParam kKeyShifted or 0
inline constexpr uint32_t kWmKeyUp = 0x0101;
// A sprite button's activation without a press (wParam its command), as
// assistive technology asks for it.
inline constexpr uint32_t kWmButtonClick = 0x00F5;
inline constexpr uint32_t kWmCommand = 0x0111;
inline constexpr uint32_t kWmSysCommand = 0x0112;
inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmMouseMove = 0x0200;
inline constexpr uint32_t kWmLButtonDown = 0x0201;
inline constexpr uint32_t kWmLButtonUp = 0x0202;
// The display's scale changed (the host's DisplayScale says the new one).
inline constexpr uint32_t kWmDpiChanged = 0x02E0;

inline constexpr uint32_t kKeyTab = 9;
inline constexpr uint32_t kKeyReturn = 13;
inline constexpr uint32_t kKeyEscape = 27;
inline constexpr uint32_t kKeySpace = 32;
inline constexpr int64_t kKeyShifted = 1;  // Shift was held

// What holds the keyboard focus, in the Tab order: the language list, then
// the sprite buttons, named by their commands.
inline constexpr uint64_t kFocusLanguage = kComboLanguage;
inline constexpr uint64_t kFocusInstall = kCmdInstall;
inline constexpr uint64_t kFocusClose = kCmdClose;

// Colour-query kinds.
inline constexpr int kCtlColorDialog = 4;
inline constexpr int kCtlColorStatic = 6;

struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};

struct DialogMessage {
  uint32_t id = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
  PixelRect area;  // the rectangle to paint, for kWmPaint only
};

// Mouse points travel as x in the low and y in the high 16 bits, both signed.
inline int64_t PackPoint(int x, int y) {
  return static_cast<int64_t>((static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) | static_cast<uint16_t>(x));
}
inline int PointX(int64_t lParam) { return static_cast<int16_t>(lParam & 0xFFFF); }
inline int PointY(int64_t lParam) { return static_cast<int16_t>((lParam >> 16) & 0xFFFF); }
