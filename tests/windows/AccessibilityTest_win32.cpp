// The real window run by the Win32 host, read as a screen reader reads it
// (Active Accessibility, in the same process) and driven with posted keys:
// the dialog's navigation reaches the sprite buttons' stand-ins, Space
// presses, the focus comes back after a message box and a restore, and the
// dialog's object has the two buttons among its children.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>

#include "SelectLanguage/InstallerDialog.h"
#include "platform/win32/Win32DialogHost.h"
#include "tests/windows/AccessibleChildren.h"
#include "tests/support/TempDir.h"

namespace {

void PostKey(UINT key) {
  const HWND focus = ::GetFocus();
  ::PostMessageW(focus, WM_KEYDOWN, key, 1);
  ::PostMessageW(focus, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
}

// What each step saw, by name.
struct Seen {
  std::vector<AccessibleChild> atStart;
  std::vector<AccessibleChild> afterTab;
  std::wstring focusAtStart, focusAfterTab, focusAfterBox, focusAfterRestore;
  std::wstring labelBeforeList;
  HRESULT installAction = S_OK;
  bool closedBySpace = false;
};

std::wstring TextOf(HWND window) {
  wchar_t text[64] = {};
  if (window != nullptr) ::GetWindowTextW(window, text, 64);
  return window == nullptr ? L"(none)" : text;
}

// Drives the real window step by step, a timer tick apart so that the posted
// keys go through the host's loop and the dialog manager first.
class KeysProbe : public DialogWindow {
 public:
  static constexpr uint32_t kStepTimer = 9002;
  KeysProbe(DialogHost& host, InstallerDialog& dialog) : host_(host), dialog_(dialog) {}

  int OnInitDialog() override { return dialog_.OnInitDialog(); }
  bool PreTranslateMessage(const DialogMessage& message) override { return dialog_.PreTranslateMessage(message); }
  ControlColors OnCtlColor(int kind) override { return dialog_.OnCtlColor(kind); }
  std::vector<ButtonState> Buttons() const override { return dialog_.Buttons(); }
  int64_t Dispatch(const DialogMessage& message) override {
    if (step_ == 0) {
      step_ = 1;
      host_.StartTimer(kStepTimer, 300);
    }
    if (message.id == kWmTimer && message.wParam == kStepTimer) {
      if (window_ == nullptr) window_ = ::GetActiveWindow();  // the dialog, shown and active
      Step(window_);
      return 0;
    }
    const int64_t result = dialog_.Dispatch(message);
    if (dialog_.IsClosed()) seen.closedBySpace = step_ == 6;
    return result;
  }

  Seen seen;

 private:
  void Step(HWND dialog) {
    if (inBox_) return;  // the steps' timer ticks inside the box's loop too
    switch (step_++) {
      case 1:
        seen.atStart = ReadAccessibleChildren(dialog);
        seen.focusAtStart = std::to_wstring(::GetDlgCtrlID(::GetFocus()));
        seen.labelBeforeList = TextOf(::GetWindow(::GetDlgItem(dialog, kComboLanguage), GW_HWNDPREV));
        PostKey(VK_TAB);  // Install is unavailable without a configuration: Close
        break;
      case 2: {
        seen.afterTab = ReadAccessibleChildren(dialog);
        seen.focusAfterTab = TextOf(::GetFocus());
        IAccessible* install = nullptr;
        ReadAccessibleChildren(dialog, L"Install", &install);
        seen.installAction = install != nullptr ? install->accDoDefaultAction(SelfChild()) : E_POINTER;
        if (install != nullptr) install->Release();
        // A box over the window, answered by a timer inside its own loop.
        ::SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
          ::KillTimer(nullptr, id);
          if (const HWND box = ::FindWindowW(L"#32770", L"Probe")) ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        inBox_ = true;
        host_.ShowMessageBox(u"A box", u"Probe");
        inBox_ = false;
        break;
      }
      case 3:
        seen.focusAfterBox = TextOf(::GetFocus());
        ::ShowWindow(dialog, SW_MINIMIZE);
        break;
      case 4: ::ShowWindow(dialog, SW_RESTORE); break;
      case 5:
        seen.focusAfterRestore = TextOf(::GetFocus());
        PostKey(VK_SPACE);  // Close
        break;
      default: host_.EndDialog(); break;  // Space did not close it
    }
  }

  DialogHost& host_;
  InstallerDialog& dialog_;
  int step_ = 0;
  bool inBox_ = false;
  HWND window_ = nullptr;
};

class Win32Accessibility : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    _putenv_s("ZK_REGION_HOST", "127.0.0.1:1");
    _putenv_s("ZK_CLIENT_IP_HOST", "127.0.0.1");
    _putenv_s("ZK_CONFIG_HOST", "127.0.0.1:1");
    TempDir dir(true);
    const std::unique_ptr<DialogHost> host = CreateWin32DialogHost();
    InstallationTimings slow;
    slow.region = {std::chrono::milliseconds(60000), std::chrono::milliseconds(1000)};
    InstallerDialog dialog(*host, slow);
    KeysProbe probe(*host, dialog);
    host->RunModal(probe);
    seen_ = probe.seen;
  }
  static inline Seen seen_;
};

TEST_F(Win32Accessibility, TheButtonsAreChildrenAndTheKeysReachThem) {
  // The system's objects of the list and the status line first (wine's give
  // every control the client role and no label's name), the buttons last.
  ASSERT_EQ(seen_.atStart.size(), 4u);
  ASSERT_EQ(seen_.afterTab.size(), 4u);
  EXPECT_EQ(seen_.atStart[0].name, L"English");
  for (int i : {2, 3}) {
    const AccessibleChild& button = seen_.atStart[i];
    EXPECT_EQ(button.name, i == 2 ? L"Install" : L"Close");
    EXPECT_EQ(button.role, ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_EQ(button.state & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED), STATE_SYSTEM_FOCUSABLE);
    // Install is unavailable without a configuration, and Tab passes over it.
    EXPECT_EQ((button.state & STATE_SYSTEM_UNAVAILABLE) != 0, i == 2);
    EXPECT_EQ((seen_.afterTab[i].state & STATE_SYSTEM_FOCUSED) != 0, i == 3);
  }
  EXPECT_EQ(seen_.labelBeforeList, L"Language");  // the list's label, never shown
  EXPECT_EQ(seen_.focusAtStart, std::to_wstring(kComboLanguage));
  EXPECT_EQ(seen_.focusAfterTab, L"Close");
  EXPECT_EQ(seen_.installAction, E_FAIL);  // an unavailable button takes no action
  EXPECT_EQ(seen_.focusAfterBox, L"Close");
  EXPECT_EQ(seen_.focusAfterRestore, L"Close");
  EXPECT_TRUE(seen_.closedBySpace);
}

}  // namespace
