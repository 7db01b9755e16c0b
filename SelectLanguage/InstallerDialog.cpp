#include "SelectLanguage/InstallerDialog.h"

#include "SelectLanguage/LanguageList.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/ProgressLog.h"
#include "SelectLanguage/SetupProgram.h"
#include "SelectLanguage/WindowLayout.h"
#include "net/Files.h"
#include "net/GameSettings.h"
#include "net/HttpRequest.h"
#include "net/Text.h"
#include "resources/ProgramResources.h"
#include "sprite/SpriteDraw.h"
#include "sprite/SpriteSet.h"

xSprite& WindowSprites() {
  static xSprite sprites;
  return sprites;
}

InstallerDialog::InstallerDialog(DialogHost& host, DialogTimings timings)
    : host_(host), settingsRetryPause_(timings.settingsRetryPause), region(timings.region) {}

InstallerDialog::~InstallerDialog() {
  StopWorkers();
  SetHttpMessageBoxHandler(nullptr);
}

void InstallerDialog::StopWorkers() {
  if (settingsWorker) settingsWorker->RequestStop();
  if (thread) thread->RequestStop();
}

int InstallerDialog::OnInitDialog() {
  // The About item of the window menu, when the string exists.
  SetHttpMessageBoxHandler([this](const std::u16string& text) { host_.ShowMessageBox(text, GetApplicationName()); });

  const std::u16string about = LoadProgramString(kResourceAboutString);
  if (!about.empty()) host_.AddAboutItem(about);

  host_.SetIcons(FindProgramResource(u"ICON", kResourceIcon));

  thread = std::make_unique<DownloadThread>(host_);
  thread->Start();

  folder.clear();
  GetCurrentDir(folder);

  FillLanguageList();

  ComposeArtwork();
  // Install stays unusable until the configuration is in: without it there
  // is no setup to download, and the command would only end the program.
  // A disabled button shows it, takes no click and sends no command.
  installButton.Enable(0);

  PlaceControls();
  host_.CentreWindow();

  ProgressLog::Instance().Write(u"The program has been executed.\r\n", true);

  // Blocks while the region services answer, before the window is shown.
  const int source = region.Determine();
  LogEntry(FormatLogEntry(u"Your CODE(%d - %s).", {region.IsCN() ? 1LL : 0LL, RegionSourceLabel(source)}));

  host_.Post(kMsgLoadSettings, 0, 0);
  host_.StartTimer(kTimerSetupWait, kTimerPeriodMs);
  return 1;
}

void InstallerDialog::ComposeArtwork() {
  // Straight from the resource: no temporary file is written. A set that does
  // not load stays empty, and the window then simply has no artwork.
  xSprite& sprites = WindowSprites();
  sprites.LoadFromMemory(FindProgramResource(u"MTO", kResourceSpriteFile));
  installButton.Create(this, &page, kInstallButtonPlace.x, kInstallButtonPlace.y, &sprites, 1, kCmdInstall, 4);
  closeButton.Create(this, &page, kCloseButtonPlace.x, kCloseButtonPlace.y, &sprites, 5, kCmdClose, 4);
  page.Create(sprites.GetWidth(0) + 10, sprites.GetHeight(0) + 10, 16);
  host_.SetClientSize(sprites.GetWidth(0), sprites.GetHeight(0));
}

void InstallerDialog::PlaceControls() {
  // Widths in pixels: the template's dialog units follow the system's font,
  // and the substitute for the template's font may be wider than the artwork.
  const int artworkWidth = WindowSprites().GetWidth(0);
  host_.MoveControl(kComboLanguage, kComboPlace.x, kComboPlace.y,
                    ControlWidthOverArtwork(kComboPlace.x, ZK_COMBO_WIDTH, artworkWidth));
  host_.MoveControl(kProgressBar, kProgressPlace.x, kProgressPlace.y,
                    ControlWidthOverArtwork(kProgressPlace.x, ZK_PROGRESS_WIDTH, artworkWidth));
}

void InstallerDialog::FillLanguageList() {
  for (const std::u16string& name : ParseLanguageList(FindProgramResource(u"TxtFile", kResourceLanguageList))) {
    host_.ComboAddString(name);
  }
  host_.ComboSetSelection(0);
}

bool InstallerDialog::PreTranslateMessage(const DialogMessage& message) {
  // Neither Escape nor Enter may close or confirm the window.
  return message.id == kWmKeyDown && (message.wParam == kKeyEscape || message.wParam == kKeyReturn);
}

int64_t InstallerDialog::Dispatch(const DialogMessage& m) {
  if (closed_) return 0;
  switch (m.id) {
    case kWmSysCommand: OnSysCommand(m.wParam, m.lParam); return 0;
    case kWmPaint: OnPaint(m.area); return 0;
    case kWmQueryDragIcon: return !OnQueryDragIcon().empty();
    case kWmCtlColor: return OnCtlColor(static_cast<int>(m.wParam)).brush;
    case kMsgSetupDownloaded: return OnSetupDownloaded(m.wParam, m.lParam);
    case kMsgSetupDownloadFailed: return OnSetupDownloadFailed(m.wParam, m.lParam);
    case kMsgLoadSettings: return OnLoadSettings(m.wParam, m.lParam);
    case kMsgSettingsTry: return OnSettingsTry(m.wParam, m.lParam);
    case kMsgDownloadProgress: return OnDownloadProgress(m.wParam, m.lParam);
    case kWmTimer: OnTimer(m.wParam); return 0;
    case kWmLButtonDown: return OnLButtonDown(m.wParam, PointX(m.lParam), PointY(m.lParam));
    case kWmLButtonUp: return OnLButtonUp(m.wParam, PointX(m.lParam), PointY(m.lParam));
    case kWmMouseMove: return OnMouseMove(m.wParam, PointX(m.lParam), PointY(m.lParam));
    case kWmCommand: return OnCommand(m.wParam, m.lParam);
    case kWmClose:
      // The default handling: the modal loop ends and the window takes no more work.
      closed_ = true;
      StopWorkers();  // their waits for the end count from here
      host_.EndDialog();
      return 0;
    default: return 0;
  }
}

int64_t InstallerDialog::OnCommand(uint64_t wParam, int64_t) {
  // The whole wParam is compared: a notification code in its high half is another command.
  if (wParam == kCmdInstall) {
    // A command while the button is disabled (no configuration yet, or a
    // download already asked for) does what a click on it does: nothing.
    if (installButton.IsEnabled()) OnInstall();
    return 1;
  }
  if (wParam == kCmdClose) {
    PostClose();
    return 1;
  }
  return 0;  // default routing: nothing else has a handler (the press notification among them)
}

void InstallerDialog::OnSysCommand(uint64_t id, int64_t) {
  if ((id & ~uint64_t{0xF}) == kSysCmdAbout) host_.RunAboutBox();
}

ControlColors InstallerDialog::OnCtlColor(int kind) {
  ControlColors colors;
  if (kind == kCtlColorDialog || kind == kCtlColorStatic) {
    colors.overridden = true;
    colors.text = 0x000000;
    colors.background = 0xFFFFFF;
    colors.brush = 0x000000;  // the stock black brush
  }
  return colors;
}

void InstallerDialog::OnPaint(const PixelRect& area) {
  if (host_.IsIconic()) return;  // the program has no drag icon to draw
  // Everything is drawn to the page, then the painted rectangle goes to the
  // window in one copy, so the 2 s repaint never flickers.
  PutSprAuto(page, 0, 0, &WindowSprites(), 0, 0, 0, 0);
  installButton.Draw(0, 0);
  closeButton.Draw(0, 0);
  if (page.HasPixels()) host_.CopyToWindow(page.Pixels(), page.Pitch(), page.Width(), page.Height(), area);
}

// Mouse input, routed to the buttons first. A button that changes its frame
// gets the window repainted at once rather than at the next 2 s tick.
int64_t InstallerDialog::OnLButtonDown(uint64_t, int x, int y) {
  const FrameWatch watch(*this);
  if (const int taken = installButton.OnLButtonDown(x, y)) return taken;
  if (const int taken = closeButton.OnLButtonDown(x, y)) return taken;
  // A press outside the buttons moves the window, as a press on its caption would.
  host_.BeginWindowDrag(x, y);
  return 0;
}

int64_t InstallerDialog::OnLButtonUp(uint64_t, int x, int y) {
  const FrameWatch watch(*this);
  if (const int clicked = installButton.OnLButtonUp(x, y)) return clicked;
  return closeButton.OnLButtonUp(x, y);
}

int64_t InstallerDialog::OnMouseMove(uint64_t, int x, int y) {
  const FrameWatch watch(*this);
  installButton.OnMouseMove(x, y);
  closeButton.OnMouseMove(x, y);
  return 0;
}

InstallerDialog::FrameWatch::FrameWatch(InstallerDialog& dialog)
    : dialog_(dialog),
      installFrame_(dialog.installButton.CurrentFrame()),
      closeFrame_(dialog.closeButton.CurrentFrame()) {}

InstallerDialog::FrameWatch::~FrameWatch() {
  if (dialog_.closed_) return;
  if (dialog_.installButton.CurrentFrame() != installFrame_ || dialog_.closeButton.CurrentFrame() != closeFrame_) {
    dialog_.host_.Invalidate();
  }
}

void InstallerDialog::PostClose() { host_.Post(kWmClose, 0, 0); }

void InstallerDialog::DisableInstallButton() {
  installButton.Enable(0);
  host_.Invalidate();  // show the disabled frame now
}

void InstallerDialog::EnableInstallButton() {
  installButton.Enable(1);
  host_.Invalidate();  // show the usable frame now
}
