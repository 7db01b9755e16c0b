// Reads the installer's window from another program as a screen reader
// does (Active Accessibility across processes), prints each child of the
// dialog's object (name, role, state), waits until Install is available and
// presses it with its default action.
// Usage: win_a11y_probe.exe   (exits 0 once Install was pressed)
#include <cstdio>

#include "tests/windows/AccessibleChildren.h"

int main() {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result = 1;
  for (int i = 0; i < 600 && result != 0; ++i, ::Sleep(100)) {
    const HWND window = ::FindWindowW(nullptr, L"Select language");
    if (window == nullptr || !::IsWindowVisible(window)) continue;
    IAccessible* install = nullptr;
    const std::vector<AccessibleChild> children = ReadAccessibleChildren(window, L"Install", &install);
    if (install == nullptr) continue;
    VARIANT state;
    ::VariantInit(&state);
    if (install->get_accState(SelfChild(), &state) == S_OK && state.vt == VT_I4 &&
        (state.lVal & STATE_SYSTEM_UNAVAILABLE) == 0) {
      for (const AccessibleChild& child : children) {
        char name[256] = {};
        ::WideCharToMultiByte(CP_UTF8, 0, child.name.c_str(), -1, name, sizeof name, nullptr, nullptr);
        std::printf("\"%s\" role %ld state 0x%lx\n", name, child.role, child.state);
      }
      const HRESULT pressed = install->accDoDefaultAction(SelfChild());
      std::printf("Install's default action: 0x%lx\n", static_cast<long>(pressed));
      result = SUCCEEDED(pressed) ? 0 : 1;
    }
    install->Release();
    std::fflush(stdout);
  }
  ::CoUninitialize();
  return result;
}
