// The installer's one window and the owner of all its run-time state. Every
// message reaches it through Dispatch, in the order of its message table;
// hosts translate native events into those messages.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "SelectLanguage/DialogHost.h"
#include "SelectLanguage/DownloadThread.h"
#include "SelectLanguage/SettingsWorker.h"
#include "net/RegionCode.h"
#include "sprite/SpritePage.h"
#include "widgets/SpriteButton.h"

struct GameSettings;
class SetupProgram;

// The waits of start-up and of the configuration loop. Only tests shorten them.
struct DialogTimings {
  RegionTimings region;
  std::chrono::milliseconds settingsRetryPause{3000};
};

class xSprite;

// The process-wide sprite set that holds the window's artwork.
xSprite& WindowSprites();

class InstallerDialog : public DialogWindow, public ButtonOwner {
 public:
  explicit InstallerDialog(DialogHost& host, DialogTimings timings = {});
  ~InstallerDialog() override;
  InstallerDialog(const InstallerDialog&) = delete;
  InstallerDialog& operator=(const InstallerDialog&) = delete;

  // DialogWindow
  int OnInitDialog() override;
  bool PreTranslateMessage(const DialogMessage& message) override;
  int64_t Dispatch(const DialogMessage& message) override;
  ControlColors OnCtlColor(int kind) override;

  // ButtonOwner: the press notification is queued, the click runs at once.
  bool IsLiveWindow() const override { return !closed_ && host_.IsLive(); }
  void PostCommand(uint32_t wParam) override { host_.Post(kWmCommand, wParam, 0); }
  void SendCommand(uint32_t wParam) override { OnCommand(wParam, 0); }

  int64_t OnCommand(uint64_t wParam, int64_t lParam);
  void OnSysCommand(uint64_t id, int64_t lParam);
  std::span<const uint8_t> OnQueryDragIcon() const { return dragIcon; }
  void OnPaint(const PixelRect& area);

  int64_t OnLButtonDown(uint64_t flags, int x, int y);
  int64_t OnLButtonUp(uint64_t flags, int x, int y);
  int64_t OnMouseMove(uint64_t flags, int x, int y);

  // Workflow handlers.
  int64_t OnLoadSettings(uint64_t wParam, int64_t lParam);
  int64_t OnSettingsTry(uint64_t outcome, int64_t attempt);
  int64_t OnDownloadProgress(uint64_t done, int64_t total);
  int64_t OnSetupDownloaded(uint64_t wParam, int64_t lParam);
  int64_t OnSetupDownloadFailed(uint64_t wParam, int64_t lParam);
  void OnTimer(uint64_t id);
  void OnInstall();

  // Read-only views for hosts and tests.
  const std::u16string& Folder() const { return folder; }
  bool IsClosed() const { return closed_; }
  DownloadThread* Thread() const { return thread.get(); }
  const RegionCode& Region() const { return region; }
  const GameSettings* Settings() const { return settings.get(); }
  const SpritePage& Page() const { return page; }
  const SpriteButton& InstallButton() const { return installButton; }
  bool SetupStarted() const { return setupStarted != 0; }
  const std::u16string& SetupPath() const { return setupPath; }

 private:
  void FillLanguageList();
  void ComposeArtwork();
  void PlaceControls();
  void PostClose();
  void DisableInstallButton();
  void EnableInstallButton();
  // Asks both workers to stop: from now on they post nothing.
  void StopWorkers();
  // Whether the setup program has ended and its file is gone.
  bool SetupHasEnded();

  // Repaints the window when the buttons' frames differ at the end of a scope.
  class FrameWatch {
   public:
    explicit FrameWatch(InstallerDialog& dialog);
    ~FrameWatch();
    FrameWatch(const FrameWatch&) = delete;
    FrameWatch& operator=(const FrameWatch&) = delete;

   private:
    InstallerDialog& dialog_;
    int installFrame_;
    int closeFrame_;
  };

  DialogHost& host_;
  std::chrono::milliseconds settingsRetryPause_;
  bool closed_ = false;              // after the close message the window takes no more work
  long long settingsLogNumber_ = 0;  // the number of the next configuration log entry

  // Run-time state, in the window's order.
  std::unique_ptr<DownloadThread> thread;
  std::u16string folder;
  std::u16string setupPath;
  std::unique_ptr<GameSettings> settings;          // set once a configuration try has succeeded
  std::unique_ptr<SettingsWorker> settingsWorker;  // from message 2028 on
  uint32_t registered = 0;
  uint32_t setupStarted = 0;
  std::unique_ptr<SetupProgram> setupProgram;  // from its start until it has ended
  std::shared_ptr<SetupHandoff> setupHandoff;  // the checked file, from the worker
  SpritePage page;
  SpriteButton installButton;
  SpriteButton closeButton;
  RegionCode region;
  std::span<const uint8_t> dragIcon;  // icon 128: the program has none
};
