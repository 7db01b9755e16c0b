// The installer's one window: the artwork, the two sprite buttons, the
// language list and the progress bar; the keyboard's Tab order over them. It shows what the installation tells
// it and hands it the workflow messages; every message reaches the window
// through Dispatch, in the order of its message table, and hosts translate
// native events into those messages.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "SelectLanguage/DialogHost.h"
#include "SelectLanguage/Installation.h"
#include "sprite/SpritePage.h"
#include "widgets/SpriteButton.h"

class xSprite;

// The process-wide sprite set that holds the window's artwork.
xSprite& WindowSprites();

class InstallerDialog : public DialogWindow, public ButtonOwner, private InstallationPort {
 public:
  explicit InstallerDialog(DialogHost& host, InstallationTimings timings = {});
  ~InstallerDialog() override;
  InstallerDialog(const InstallerDialog&) = delete;
  InstallerDialog& operator=(const InstallerDialog&) = delete;

  // DialogWindow
  int OnInitDialog() override;
  bool PreTranslateMessage(const DialogMessage& message) override;
  int64_t Dispatch(const DialogMessage& message) override;
  ControlColors OnCtlColor(int kind) override;
  std::vector<ButtonState> Buttons() const override;

  // ButtonOwner: the press notification is queued, the click runs at once.
  bool IsLiveWindow() const override { return !closed_ && host_.IsLive(); }
  void PostCommand(uint32_t wParam) override { host_.Post(kWmCommand, wParam, 0); }
  void SendCommand(uint32_t wParam) override { OnCommand(wParam, 0); }

  // The window's drag icon, for a minimised window: icon 128, which the
  // program does not have.
  std::span<const uint8_t> OnQueryDragIcon() const { return {}; }

  // What tests look at.
  bool IsClosed() const { return closed_; }
  const Installation& Engine() const { return installation_; }
  const SpritePage& Page() const { return page_; }
  const SpriteButton& InstallButton() const { return installButton_; }
  const SpriteButton& CloseButton() const { return closeButton_; }
  // The artwork the window shows: 1 or 2 (page pixels per 1x pixel).
  int ArtworkScale() const { return artworkScale_; }
  uint64_t Focus() const { return focus_; }

 private:
  // InstallationPort
  void EnableInstall(bool enabled) override;
  void ShowStatus(const InstallStatus& status) override;
  void ShowMessage(const std::u16string& text) override;
  void Close() override { host_.Post(kWmClose, 0, 0); }

  int64_t OnCommand(uint64_t wParam, int64_t lParam);
  void OnSysCommand(uint64_t id, int64_t lParam);
  void OnPaint(const PixelRect& area);
  int64_t OnLButtonDown(uint64_t flags, int x, int y);
  int64_t OnLButtonUp(uint64_t flags, int x, int y);
  int64_t OnMouseMove(uint64_t flags, int x, int y);
  // The keyboard (InstallerDialogKeys.cpp): Tab, Shift+Tab and Space, the
  // focus a host reports, and a press without the mouse.
  int64_t OnKeyDown(uint64_t key, int64_t flags);
  int64_t OnKeyUp(uint64_t key);
  int64_t OnSetFocus(uint64_t target);
  int64_t OnButtonClick(uint64_t command);
  void MoveFocus(uint64_t target, bool tellHost);
  SpriteButton* FocusedButton();
  // The ring's page pixels, outer and inner line: in high contrast the
  // system's highlight and text colours, which stand out on any artwork.
  std::pair<uint32_t, uint32_t> FocusRingPixels() const;

  void FillLanguageList();
  // The artwork for the display's scale, the page and the buttons over it,
  // and the window's size; again when the scale changes.
  void ComposeArtwork();
  void PlaceControls();
  // Puts the status's text in the line, in the selected language.
  void RefreshStatus();
  // Shows or hides the progress bar, and moves the status line out of its way.
  void ShowBar(bool visible);

  // Repaints the window when the buttons' frames or focus differ at the end
  // of a scope, and tells the host when their states do.
  class FrameWatch {
   public:
    explicit FrameWatch(InstallerDialog& dialog);
    ~FrameWatch();
    FrameWatch(const FrameWatch&) = delete;
    FrameWatch& operator=(const FrameWatch&) = delete;

   private:
    // Frame, focus, enabled and pressed of both buttons.
    static std::array<int, 8> Look(const InstallerDialog& dialog);
    InstallerDialog& dialog_;
    std::array<int, 8> before_;
  };

  DialogHost& host_;
  bool closed_ = false;  // after the close message the window takes no more work
  InstallStatus status_;
  bool barShown_ = false;
  int artworkScale_ = 1;
  bool comboEnabled_ = true;
  uint64_t focus_ = kFocusLanguage;
  std::u16string statusText_;  // what the line shows
  std::chrono::steady_clock::time_point statusShownAt_{};
  SpritePage page_;
  SpriteButton installButton_;
  SpriteButton closeButton_;
  Installation installation_;  // last: its workers stop before the window's parts go
};
