#include "platform/win32/ProxyCredentials.h"

#include <mutex>
#include <string>
#include <vector>

namespace {

struct Given {
  std::mutex lock;
  bool declined = false;
  std::wstring user;
  std::wstring password;
};

Given& TheGiven() {
  static Given given;
  return given;
}

BOOL CALLBACK TakeOwnWindow(HWND window, LPARAM found) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER) != nullptr) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The program's visible top-level window. The request runs on a worker,
// which has no window of its own to hand the dialog.
HWND ProgramWindow() {
  HWND found = nullptr;
  ::EnumWindows(TakeOwnWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring TextOption(HINTERNET request, DWORD option) {
  DWORD size = 0;
  ::InternetQueryOptionW(request, option, nullptr, &size);
  if (size == 0) return {};
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
  if (!::InternetQueryOptionW(request, option, text.data(), &size)) return {};
  return std::wstring(text.data());
}

void SetTextOption(HINTERNET request, DWORD option, const std::wstring& text) {
  ::InternetSetOptionW(request, option, const_cast<wchar_t*>(text.c_str()), static_cast<DWORD>(text.size()));
}

}  // namespace

void ApplyGivenProxyCredentials(HINTERNET request) {
  Given& given = TheGiven();
  const std::lock_guard<std::mutex> hold(given.lock);
  if (given.user.empty()) return;
  SetTextOption(request, INTERNET_OPTION_PROXY_USERNAME, given.user);
  SetTextOption(request, INTERNET_OPTION_PROXY_PASSWORD, given.password);
}

bool AskForProxyCredentials(HINTERNET request) {
  Given& given = TheGiven();
  {
    const std::lock_guard<std::mutex> hold(given.lock);
    if (given.declined) return false;
  }
  const HWND owner = ProgramWindow();
  if (owner == nullptr) return false;
  // The dialog looks at the request's status itself, and sets what the
  // player types in the request's options.
  const DWORD answer = ::InternetErrorDlg(
      owner, request, ERROR_INTERNET_INCORRECT_PASSWORD,
      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
      nullptr);
  const std::lock_guard<std::mutex> hold(given.lock);
  if (answer != ERROR_INTERNET_FORCE_RETRY) {
    given.declined = true;
    return false;
  }
  given.user = TextOption(request, INTERNET_OPTION_PROXY_USERNAME);
  given.password = TextOption(request, INTERNET_OPTION_PROXY_PASSWORD);
  return true;
}
