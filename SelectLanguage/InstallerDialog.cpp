#include "SelectLanguage/InstallerDialog.h"

#include "SelectLanguage/LanguageList.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/ProgressLog.h"
#include "net/Files.h"
#include "net/GameSettings.h"
#include "net/HttpRequest.h"
#include "net/Text.h"
#include "resources/ProgramResources.h"

InstallerDialog::InstallerDialog(DialogHost& host, DialogTimings timings)
    : host_(host), settingsRetryPause_(timings.settingsRetryPause), region(timings.region) {}

InstallerDialog::~InstallerDialog() {
  SetHttpMessageBoxHandler(nullptr);
  DownloadProgress::Instance().SetWindow(nullptr);
}

int InstallerDialog::OnInitDialog() {
  // The About item of the window menu, when the string exists.
  SetHttpMessageBoxHandler([this](const std::u16string& text) { host_.ShowMessageBox(text, GetApplicationName()); });

  const std::u16string about = LoadProgramString(kResourceAboutString);
  if (!about.empty()) host_.AddAboutItem(about);

  host_.SetIcons(FindProgramResource(u"ICON", kResourceIcon));

  thread = std::make_unique<DownloadThread>();
  thread->Start();

  folder.clear();
  GetCurrentDir(folder);

  FillLanguageList();

  // Artwork: the sprite set, the buttons, the page and the window size.

  host_.MoveControl(kComboLanguage, 115, 59);
  host_.MoveControl(kProgressBar, 115, 85);
  host_.CentreWindow();

  ProgressLog::Instance().Write(u"The program has been executed.\r\n", true);

  // Blocks while the region services answer, before the window is shown.
  const int source = region.Determine();
  LogEntry(FormatText(u"Your CODE(%d - %s).", {region.IsCN() ? 1LL : 0LL, RegionSourceLabel(source)}));

  host_.Post(kMsgLoadSettings, 0, 0);
  host_.StartTimer(kTimerSetupWait, kTimerPeriodMs);
  return 1;
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
    case kMsgDownloadProgress: return OnDownloadProgress(m.wParam, m.lParam);
    case kWmTimer: OnTimer(m.wParam); return 0;
    case kWmLButtonDown: return OnLButtonDown(m.wParam, PointX(m.lParam), PointY(m.lParam));
    case kWmLButtonUp: return OnLButtonUp(m.wParam, PointX(m.lParam), PointY(m.lParam));
    case kWmMouseMove: return OnMouseMove(m.wParam, PointX(m.lParam), PointY(m.lParam));
    case kWmCommand: return OnCommand(m.wParam, m.lParam);
    case kWmClose:
      // The default handling: the modal loop ends and the window takes no more work.
      closed_ = true;
      host_.EndDialog();
      return 0;
    default: return 0;
  }
}

int64_t InstallerDialog::OnCommand(uint64_t wParam, int64_t) {
  // The whole wParam is compared: a notification code in its high half is another command.
  if (wParam == kCmdInstall) {
    OnInstall();
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

void InstallerDialog::OnPaint(const PixelRect&) {
  // The artwork is drawn here once the window has a page.
}

int64_t InstallerDialog::OnLButtonDown(uint64_t, int x, int y) {
  // A press outside the buttons moves the window, as a press on its caption would.
  host_.BeginWindowDrag(x, y);
  return 0;
}

int64_t InstallerDialog::OnLButtonUp(uint64_t, int, int) { return 0; }

int64_t InstallerDialog::OnMouseMove(uint64_t, int, int) { return 0; }

void InstallerDialog::PostClose() { host_.Post(kWmClose, 0, 0); }

void InstallerDialog::DisableInstallButton() {}
