// Reads the installer's window from another program as a screen reader
// does (Active Accessibility across processes), prints each child of the
// dialog's object (name, role, state), waits until Install is available and
// presses it with its default action.
// Usage: win_a11y_probe.exe   (exits 0 once Install was pressed)
#include <windows.h>

#include <oleacc.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

VARIANT Self() {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = CHILDID_SELF;
  return v;
}

std::string Utf8(const wchar_t* text) {
  char out[512] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
  return out;
}

// The dialog's children; Install's object kept in `install` when found.
void ReadChildren(IAccessible* root, IAccessible** install, bool print) {
  LONG count = 0;
  root->get_accChildCount(&count);
  std::vector<VARIANT> children(static_cast<std::size_t>(count));
  LONG got = 0;
  ::AccessibleChildren(root, 0, count, children.data(), &got);
  for (LONG i = 0; i < got; ++i) {
    IAccessible* child = nullptr;
    if (children[i].vt == VT_DISPATCH && children[i].pdispVal != nullptr) {
      children[i].pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&child));
    }
    ::VariantClear(&children[i]);
    if (child == nullptr) continue;
    BSTR name = nullptr;
    child->get_accName(Self(), &name);
    VARIANT role, state;
    ::VariantInit(&role);
    ::VariantInit(&state);
    child->get_accRole(Self(), &role);
    child->get_accState(Self(), &state);
    const std::wstring text = name != nullptr ? name : L"";
    ::SysFreeString(name);
    if (print) {
      std::printf("child %ld: \"%s\" role %ld state 0x%lx\n", i + 1, Utf8(text.c_str()).c_str(),
                  role.vt == VT_I4 ? role.lVal : -1L, state.vt == VT_I4 ? state.lVal : -1L);
    }
    if (text == L"Install" && *install == nullptr) {
      *install = child;
    } else {
      child->Release();
    }
  }
}

}  // namespace

int main() {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result = 1;
  for (int i = 0; i < 600 && result != 0; ++i, ::Sleep(100)) {
    const HWND window = ::FindWindowW(nullptr, L"Select language");
    if (window == nullptr || !::IsWindowVisible(window)) continue;
    IAccessible* root = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                            reinterpret_cast<void**>(&root)))) {
      continue;
    }
    IAccessible* install = nullptr;
    ReadChildren(root, &install, i % 50 == 0);
    VARIANT state;
    ::VariantInit(&state);
    if (install != nullptr && install->get_accState(Self(), &state) == S_OK && state.vt == VT_I4 &&
        (state.lVal & STATE_SYSTEM_UNAVAILABLE) == 0) {
      ReadChildren(root, &install, true);
      const HRESULT pressed = install->accDoDefaultAction(Self());
      std::printf("Install's default action: 0x%lx\n", static_cast<long>(pressed));
      result = SUCCEEDED(pressed) ? 0 : 1;
    }
    if (install != nullptr) install->Release();
    root->Release();
    std::fflush(stdout);
  }
  ::CoUninitialize();
  return result;
}
