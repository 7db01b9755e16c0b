// The window services that the main window needs. Three hosts implement it:
// GTK, Win32 and a headless one that tests drive. The dialog never sees a
// native handle.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "SelectLanguage/Messages.h"

// What the colour query answers (colours as 0xRRGGBB).
struct ControlColors {
  bool overridden = false;
  uint32_t text = 0x000000;
  uint32_t background = 0xFFFFFF;
  uint32_t brush = 0x000000;
};

// A sprite button as the keyboard and assistive technology know it.
struct ButtonState {
  uint64_t command = 0;  // what it sends, which also names it between window and host
  std::u16string name;   // the text drawn on it
  PixelRect place;       // in page pixels: the host maps them to its window's
  bool enabled = false;
  bool focused = false;
  bool pressed = false;
};

// The system's high-contrast colours (0xRRGGBB), when the player asked for them.
struct ContrastColors {
  bool active = false;
  uint32_t text = 0x000000;
  uint32_t background = 0xFFFFFF;
  uint32_t highlight = 0x0000FF;  // what marks the focus
};

// What a host calls on the window it runs.
class DialogWindow {
 public:
  virtual ~DialogWindow() = default;
  // Window initialisation, before the window is first shown.
  virtual int OnInitDialog() = 0;
  // True when the message is swallowed before any other handling.
  virtual bool PreTranslateMessage(const DialogMessage& message) = 0;
  // The message table: every message the window receives goes through here.
  virtual int64_t Dispatch(const DialogMessage& message) = 0;
  virtual ControlColors OnCtlColor(int kind) = 0;
  // The sprite buttons in their Tab order; windows without any have none.
  virtual std::vector<ButtonState> Buttons() const { return {}; }
};

class DialogHost {
 public:
  virtual ~DialogHost() = default;

  // Creates the window, runs window.OnInitDialog(), shows the window and
  // runs its loop until EndDialog.
  virtual void RunModal(DialogWindow& window) = 0;

  // Thread-safe: queues a message for the dialog's dispatch on the window's
  // thread. Messages posted after the window has closed are dropped.
  virtual void Post(uint32_t message, uint64_t wParam, int64_t lParam) = 0;
  // Whether the window still exists (the sprite buttons' live-window test).
  virtual bool IsLive() const = 0;
  // Ends the modal loop: the default handling of the close message.
  virtual void EndDialog() = 0;

  virtual void StartTimer(uint32_t id, uint32_t periodMs) = 0;
  virtual void StopTimer(uint32_t id) = 0;

  virtual void ComboAddString(const std::u16string& text) = 0;
  virtual void ComboSetSelection(int index) = 0;
  // The selected index, or -1 when nothing is selected.
  virtual int ComboGetSelection() const = 0;
  virtual void ComboEnable(bool enabled) = 0;

  virtual void ProgressSetRange(uint64_t total) = 0;
  virtual void ProgressSetPosition(uint64_t done) = 0;
  virtual void ProgressShow(bool visible) = 0;

  // The status line's text, which screen readers read too.
  virtual void SetStatusText(const std::u16string& text) = 0;

  // The display's scale in percent (100 is 96 DPI), for the artwork the
  // window chooses (DisplayScale.h).
  virtual int DisplayScale() const { return 100; }
  // The artwork scale (1 or 2) of the page's pixels. Every place and size
  // given below, the mouse's points and the paint's area are in page pixels;
  // the host maps them to and from its window's at the display's scale.
  virtual void SetPageScale(int artworkScale) = 0;

  // Places a control at a client position and gives it a width, both in
  // page pixels; its height stays as the template made it, at the scale.
  virtual void MoveControl(int controlId, int x, int y, int width) = 0;
  // Sizes the window so that its client area is width x height.
  virtual void SetClientSize(int width, int height) = 0;
  virtual void CentreWindow() = 0;
  // Repaint the whole client area soon, without erasing it first.
  virtual void Invalidate() = 0;
  // Copies a rectangle of 16-bit 555 pixels (rows of `pitch` pixels, top row
  // first) to the same place in the window, in one block.
  virtual void CopyToWindow(const uint16_t* pixels, int pitch, int width, int height, const PixelRect& area) = 0;

  // A modal message box with an OK button; returns once it is dismissed.
  virtual void ShowMessageBox(const std::u16string& text, const std::u16string& caption) = 0;
  // Starts moving the window with the mouse, as a press on its caption would.
  virtual void BeginWindowDrag(int clientX, int clientY) = 0;

  // Adds a separator and the About item (command kSysCmdAbout) to the
  // window's menu; false when the window has no such menu.
  virtual bool AddAboutItem(const std::u16string& text) = 0;
  virtual void RunAboutBox() = 0;
  // Sets the window's big and small icon from an image resource.
  virtual void SetIcons(std::span<const uint8_t> image) = 0;
  virtual bool IsIconic() const = 0;

  // Puts the keyboard focus on the language list or on a sprite button (a
  // kFocus… value): the window moves it along its Tab order.
  virtual void FocusControl(uint64_t target) = 0;
  // The sprite buttons' states (Buttons()) changed: assistive technology
  // hears of it.
  virtual void ButtonsChanged() = 0;
  // The system's high-contrast colours, asked at each paint.
  virtual ContrastColors HighContrast() const = 0;
};
