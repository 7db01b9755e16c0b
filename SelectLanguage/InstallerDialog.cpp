#include "SelectLanguage/InstallerDialog.h"

#include "SelectLanguage/DisplayScale.h"
#include "SelectLanguage/LanguageList.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/StatusLine.h"
#include "SelectLanguage/WindowLayout.h"
#include "net/Files.h"
#include "net/HttpRequest.h"
#include "resources/ProgramResources.h"
#include "sprite/SpriteDraw.h"
#include "sprite/SpriteSet.h"

xSprite& WindowSprites() {
  static xSprite sprites;
  return sprites;
}

InstallerDialog::InstallerDialog(DialogHost& host, InstallationTimings timings)
    : host_(host), installation_(host, *this, timings) {}

InstallerDialog::~InstallerDialog() {
  installation_.Stop();
  SetHttpMessageBoxHandler(nullptr);
}

int InstallerDialog::OnInitDialog() {
  SetHttpMessageBoxHandler([this](const std::u16string& text) { ShowMessage(text); });
  // The About item of the window menu, when the string exists.
  const std::u16string about = LoadProgramString(kResourceAboutString);
  if (!about.empty()) host_.AddAboutItem(about);
  host_.SetIcons(FindProgramResource(u"ICON", kResourceIcon));

  installation_.Start();
  FillLanguageList();
  ComposeArtwork();
  PlaceControls();
  host_.CentreWindow();
  MoveFocus(kFocusLanguage, true);  // where the keyboard starts

  installation_.Begin();
  host_.StartTimer(kTimerSetupWait, kTimerPeriodMs);
  host_.StartTimer(kTimerStatus, kTimerStatusPeriodMs);
  return 1;
}

void InstallerDialog::ComposeArtwork() {
  // Straight from the resource: no temporary file is written. A set that does
  // not load stays empty, and the window then simply has no artwork. Where
  // the 2x file does not load, the 1x artwork serves every scale.
  xSprite& sprites = WindowSprites();
  const bool firstTime = !installButton_.IsCreated();
  const int installEnabled = firstTime ? 0 : installButton_.IsEnabled() ? 1 : 0;
  sprites.Clear();
  artworkScale_ = 1;
  if (ArtworkScaleFor(host_.DisplayScale()) == 2 &&
      sprites.LoadFromMemory(FindProgramResource(u"MTO", kResourceSpriteFile2x)) == 1) {
    artworkScale_ = 2;
  } else {
    sprites.Clear();
    sprites.LoadFromMemory(FindProgramResource(u"MTO", kResourceSpriteFile));
  }
  const int a = artworkScale_;
  installButton_.Create(this, &page_, kInstallButtonPlace.x * a, kInstallButtonPlace.y * a, &sprites, 1, kCmdInstall,
                        4);
  closeButton_.Create(this, &page_, kCloseButtonPlace.x * a, kCloseButtonPlace.y * a, &sprites, 5, kCmdClose, 4);
  page_.Create(sprites.GetWidth(0) + 10 * a, sprites.GetHeight(0) + 10 * a, 16);
  host_.SetPageScale(a);
  host_.SetClientSize(sprites.GetWidth(0), sprites.GetHeight(0));
  // Install stays disabled until the installation says otherwise. A
  // disabled button shows it, takes no click and sends no command.
  installButton_.Enable(installEnabled);
}

void InstallerDialog::PlaceControls() {
  // Widths in pixels: the template's dialog units follow the system's font,
  // and the substitute for the template's font may be wider than the artwork.
  // The layout is in 1x pixels; the page's are the artwork's.
  const int a = artworkScale_;
  const int artworkWidth = WindowSprites().GetWidth(0) / a;
  host_.MoveControl(kComboLanguage, kComboPlace.x * a, kComboPlace.y * a,
                    ControlWidthOverArtwork(kComboPlace.x, ZK_COMBO_WIDTH, artworkWidth) * a);
  host_.MoveControl(kProgressBar, kProgressPlace.x * a, kProgressPlace.y * a,
                    ControlWidthOverArtwork(kProgressPlace.x, ZK_PROGRESS_WIDTH, artworkWidth) * a);
  const ClientPoint line = barShown_ ? kStatusBelowButtons : kStatusPlace;
  host_.MoveControl(kStatusLine, line.x * a, line.y * a, ZK_STATUS_CLIENT_WIDTH * a);
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
  if (IsWorkflowMessage(m.id)) return installation_.OnMessage(m);
  switch (m.id) {
    case kWmSysCommand: OnSysCommand(m.wParam, m.lParam); return 0;
    case kWmPaint: OnPaint(m.area); return 0;
    case kWmQueryDragIcon: return !OnQueryDragIcon().empty();
    case kWmCtlColor: return OnCtlColor(static_cast<int>(m.wParam)).brush;
    case kWmTimer:
      if (m.wParam == kTimerStatus) RefreshStatus();  // countdowns, and a late figure or language
      if (m.wParam != kTimerSetupWait) return 0;
      host_.Invalidate();  // every tick repaints the artwork and the buttons
      installation_.OnMessage(m);
      return 0;
    case kWmLButtonDown: return OnLButtonDown(m.wParam, PointX(m.lParam), PointY(m.lParam));
    case kWmLButtonUp: return OnLButtonUp(m.wParam, PointX(m.lParam), PointY(m.lParam));
    case kWmMouseMove: return OnMouseMove(m.wParam, PointX(m.lParam), PointY(m.lParam));
    case kWmCommand: return OnCommand(m.wParam, m.lParam);
    case kWmDpiChanged:
      ComposeArtwork();
      MoveFocus(focus_, false);  // the buttons are made anew: the focus goes back on its button
      PlaceControls();
      host_.Invalidate();
      return 0;
    case kWmKeyDown: return OnKeyDown(m.wParam, m.lParam);
    case kWmKeyUp: return OnKeyUp(m.wParam);
    case kWmSetFocus: return OnSetFocus(m.wParam);
    case kWmButtonClick: return OnButtonClick(m.wParam);
    case kWmClose:
      // The default handling: the modal loop ends and the window takes no more work.
      closed_ = true;
      installation_.Stop();  // the workers' waits for their end count from here
      host_.EndDialog();
      return 0;
    default: return 0;
  }
}

int64_t InstallerDialog::OnCommand(uint64_t wParam, int64_t) {
  // The whole wParam is compared: a notification code in its high half is another command.
  if (wParam == kCmdInstall) {
    installation_.Install(host_.ComboGetSelection());
    return 1;
  }
  if (wParam == kCmdClose) {
    Close();
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
    // A player who asked for high contrast reads the line in the system's colours.
    const ContrastColors contrast = host_.HighContrast();
    if (contrast.active) colors.text = contrast.text, colors.background = contrast.background;
  }
  return colors;
}

void InstallerDialog::EnableInstall(bool enabled) {
  {
    const FrameWatch watch(*this);  // tells the host when the state changed
    installButton_.Enable(enabled ? 1 : 0);
  }
  host_.Invalidate();  // show the frame now
}

void InstallerDialog::ShowStatus(const InstallStatus& status) {
  const bool figures = status.phase == InstallPhase::kDownloading || status.phase == InstallPhase::kChecking;
  if (figures && status.total != 0) {  // the bar never gets an empty range
    host_.ComboEnable(false);
    comboEnabled_ = false;
    host_.ProgressSetRange(status.total);
    host_.ProgressSetPosition(status.done);
    ShowBar(true);
  } else if (status.phase == InstallPhase::kSetupRunning || status.phase == InstallPhase::kDownloadRetry ||
             status.phase == InstallPhase::kAnotherServer || status.phase == InstallPhase::kFailed) {
    // The bar would only stand still: its row gives the line room for two
    // lines, and the bar comes back with the next figures.
    ShowBar(false);
    host_.Invalidate();  // the artwork where the bar was
  }
  status_ = status;
  RefreshStatus();
}

void InstallerDialog::ShowBar(bool visible) {
  host_.ProgressShow(visible);
  if (visible == barShown_) return;
  barShown_ = visible;
  // The line leaves the bar's row to the bar, for the band below the buttons.
  const ClientPoint place = visible ? kStatusBelowButtons : kStatusPlace;
  const int a = artworkScale_;
  host_.MoveControl(kStatusLine, place.x * a, place.y * a, ZK_STATUS_CLIENT_WIDTH * a);
}

void InstallerDialog::RefreshStatus() {
  // At most 4 changes a second; the timer brings what waited. A failure is
  // said at once, before its box.
  const auto now = std::chrono::steady_clock::now();
  if (status_.phase != InstallPhase::kFailed &&
      now - statusShownAt_ < std::chrono::milliseconds(kTimerStatusPeriodMs)) {
    return;
  }
  // The line speaks the language chosen in the list, and follows it.
  const std::u16string text = StatusLine(status_, host_.ComboGetSelection(), now);
  if (text == statusText_) return;
  statusText_ = text;
  statusShownAt_ = now;
  host_.SetStatusText(text);
}

void InstallerDialog::ShowMessage(const std::u16string& text) { host_.ShowMessageBox(text, GetApplicationName()); }

void InstallerDialog::OnPaint(const PixelRect& area) {
  if (host_.IsIconic()) return;  // the program has no drag icon to draw
  // Everything is drawn to the page, then the painted rectangle goes to the
  // window in one copy, so the 2 s repaint never flickers.
  PutSprAuto(page_, 0, 0, &WindowSprites(), 0, 0, 0, 0);
  installButton_.Draw(0, 0);
  closeButton_.Draw(0, 0);
  const auto [outer, inner] = FocusRingPixels();
  installButton_.DrawFocusRing(outer, inner, artworkScale_);
  closeButton_.DrawFocusRing(outer, inner, artworkScale_);
  if (page_.HasPixels()) host_.CopyToWindow(page_.Pixels(), page_.Pitch(), page_.Width(), page_.Height(), area);
}

// Mouse input, routed to the buttons first. A button that changes its frame
// gets the window repainted at once rather than at the next 2 s tick.
int64_t InstallerDialog::OnLButtonDown(uint64_t, int x, int y) {
  const FrameWatch watch(*this);
  if (const int taken = installButton_.OnLButtonDown(x, y)) return taken;
  if (const int taken = closeButton_.OnLButtonDown(x, y)) return taken;
  // A press outside the buttons moves the window, as a press on its caption would.
  host_.BeginWindowDrag(x, y);
  return 0;
}

int64_t InstallerDialog::OnLButtonUp(uint64_t, int x, int y) {
  const FrameWatch watch(*this);
  if (const int clicked = installButton_.OnLButtonUp(x, y)) return clicked;
  return closeButton_.OnLButtonUp(x, y);
}

int64_t InstallerDialog::OnMouseMove(uint64_t, int x, int y) {
  const FrameWatch watch(*this);
  installButton_.OnMouseMove(x, y);
  closeButton_.OnMouseMove(x, y);
  return 0;
}
