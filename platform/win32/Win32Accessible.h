// The window's sprite buttons for the dialog manager and for screen readers
// on Windows. Each button has a focusable stand-in: a zero-sized child
// window after the template's controls, so that the dialog's own keyboard
// navigation (IsDialogMessage) reaches it, in the Tab order; its control id
// is the button's command. The stand-ins hand Space and their focus to the
// window through kWmStandIn. WM_GETOBJECT on the dialog answers with an
// IAccessible whose children are the visible controls and the two buttons
// (push buttons, with their states and a default action that presses them).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "SelectLanguage/DialogHost.h"

// A stand-in's message to its dialog: wParam a window message for the
// dialog's dispatch (kWmSetFocus, kWmKeyDown, kWmKeyUp, kWmButtonClick),
// lParam its wParam.
inline constexpr UINT kWmStandIn = WM_APP + 2;

// What the accessible objects reach the window through; a screen reader may
// hold them after the window has gone, when `window` is null.
struct AccessibleLink {
  HWND dialog = nullptr;
  DialogWindow* window = nullptr;
  // A button's place in the page's pixels, in the dialog's client pixels.
  std::function<PixelRect(const PixelRect&)> toClient;
};

void CreateButtonStandIns(HWND dialog, const std::shared_ptr<AccessibleLink>& link,
                          const std::vector<ButtonState>& buttons);
// Enables each stand-in as its button is, and tells screen readers of the
// states that changed since `before`.
void UpdateButtonStandIns(HWND dialog, const std::vector<ButtonState>& before, const std::vector<ButtonState>& now);
bool IsButtonStandIn(HWND window);
// The answer to the dialog's WM_GETOBJECT: its client object, or 0 (the
// system's answer) for the others.
LRESULT DialogObject(const std::shared_ptr<AccessibleLink>& link, WPARAM wParam, LPARAM lParam);
