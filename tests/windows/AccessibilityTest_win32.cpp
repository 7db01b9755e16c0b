// The real window run by the Win32 host, read as a screen reader reads it
// (Active Accessibility, in the same process) and driven with posted keys:
// the dialog's navigation reaches the sprite buttons' stand-ins, Space
// presses, the focus comes back after a message box and a restore, and the
// dialog's object has the two buttons among its children.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <oleacc.h>

#include <cstdlib>
#include <map>
#include <string>

#include "SelectLanguage/InstallerDialog.h"
#include "platform/win32/Win32DialogHost.h"
#include "tests/support/TempDir.h"

namespace {

struct Child {
  std::wstring name;
  LONG role = 0;
  LONG state = 0;
};

std::vector<Child> ChildrenOf(HWND dialog, IAccessible** buttonOut = nullptr, const wchar_t* wanted = nullptr) {
  std::vector<Child> children;
  IAccessible* root = nullptr;
  if (FAILED(::AccessibleObjectFromWindow(dialog, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&root)))) {
    return children;
  }
  LONG count = 0;
  root->get_accChildCount(&count);
  std::vector<VARIANT> found(count);
  LONG got = 0;
  ::AccessibleChildren(root, 0, count, found.data(), &got);
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  for (LONG i = 0; i < got; ++i) {
    Child child;
    IAccessible* object = nullptr;
    if (found[i].vt == VT_DISPATCH && found[i].pdispVal != nullptr) {
      found[i].pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&object));
    }
    if (object != nullptr) {
      BSTR name = nullptr;
      if (object->get_accName(self, &name) == S_OK && name != nullptr) child.name = name;
      ::SysFreeString(name);
      VARIANT value;
      ::VariantInit(&value);
      if (object->get_accRole(self, &value) == S_OK && value.vt == VT_I4) child.role = value.lVal;
      ::VariantInit(&value);
      if (object->get_accState(self, &value) == S_OK && value.vt == VT_I4) child.state = value.lVal;
      if (buttonOut != nullptr && wanted != nullptr && child.name == wanted) {
        *buttonOut = object;
      } else {
        object->Release();
      }
    }
    ::VariantClear(&found[i]);
    children.push_back(child);
  }
  root->Release();
  return children;
}

const Child* Named(const std::vector<Child>& children, const wchar_t* name) {
  for (const Child& child : children) {
    if (child.name == name) return &child;
  }
  return nullptr;
}

void PostKey(UINT key) {
  const HWND focus = ::GetFocus();
  ::PostMessageW(focus, WM_KEYDOWN, key, 1);
  ::PostMessageW(focus, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
}

// What each step saw, by name.
struct Seen {
  std::vector<Child> atStart;
  std::vector<Child> afterTab;
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
        seen.atStart = ChildrenOf(dialog);
        seen.focusAtStart = std::to_wstring(::GetDlgCtrlID(::GetFocus()));
        seen.labelBeforeList = TextOf(::GetWindow(::GetDlgItem(dialog, kComboLanguage), GW_HWNDPREV));
        PostKey(VK_TAB);  // Install is unavailable without a configuration: Close
        break;
      case 2: {
        seen.afterTab = ChildrenOf(dialog);
        seen.focusAfterTab = TextOf(::GetFocus());
        IAccessible* install = nullptr;
        ChildrenOf(dialog, &install, L"Install");
        VARIANT self;
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        seen.installAction = install != nullptr ? install->accDoDefaultAction(self) : E_POINTER;
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

TEST_F(Win32Accessibility, TheDialogsChildrenHoldBothButtons) {
  const Child* install = Named(seen_.atStart, L"Install");
  const Child* close = Named(seen_.atStart, L"Close");
  ASSERT_NE(install, nullptr);
  ASSERT_NE(close, nullptr);
  for (const Child* button : {install, close}) {
    EXPECT_EQ(button->role, ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_NE(button->state & STATE_SYSTEM_FOCUSABLE, 0);
    EXPECT_EQ(button->state & STATE_SYSTEM_FOCUSED, 0);
  }
  EXPECT_NE(install->state & STATE_SYSTEM_UNAVAILABLE, 0);  // no configuration here
  EXPECT_EQ(close->state & STATE_SYSTEM_UNAVAILABLE, 0);
  // Before them the system's own objects of the list and the status line
  // (wine's give every control the client role and no label's name); the
  // list's label comes just before it, never shown.
  ASSERT_EQ(seen_.atStart.size(), 4u);
  EXPECT_EQ(seen_.atStart[0].name, L"English");
  EXPECT_EQ(seen_.atStart[2].name, L"Install");
  EXPECT_EQ(seen_.atStart[3].name, L"Close");
  EXPECT_EQ(seen_.labelBeforeList, L"Language");
  EXPECT_EQ(seen_.focusAtStart, std::to_wstring(kComboLanguage));
}

TEST_F(Win32Accessibility, TabReachesCloseAndTheFocusComesBack) {
  EXPECT_EQ(seen_.focusAfterTab, L"Close");  // Install is passed over while unavailable
  const Child* close = Named(seen_.afterTab, L"Close");
  ASSERT_NE(close, nullptr);
  EXPECT_NE(close->state & STATE_SYSTEM_FOCUSED, 0);
  EXPECT_EQ(seen_.installAction, E_FAIL);  // an unavailable button takes no action
  EXPECT_EQ(seen_.focusAfterBox, L"Close");
  EXPECT_EQ(seen_.focusAfterRestore, L"Close");
  EXPECT_TRUE(seen_.closedBySpace);
}

}  // namespace
