// A child program for the Windows process tests. It writes its own path to
// "<its path>.ran", so a test sees which program really started, then stays
// alive for a while so the test can watch its file being held. With
// ZK_TEST_CHILD_RELAUNCH set it only starts its own file again (without the
// variable) and ends at once with exit code 7, as a setup program that hands
// its work to a copy of itself does. With ZK_TEST_CHILD_EXIT set it ends at
// once with that exit code.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdlib.h>

namespace {

bool StartCopy(wchar_t* self) {
  ::SetEnvironmentVariableW(L"ZK_TEST_CHILD_RELAUNCH", nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return false;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[1024];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, 1000);
  if (n == 0 || n >= 1000) return 1;
  if (::GetEnvironmentVariableW(L"ZK_TEST_CHILD_RELAUNCH", nullptr, 0) > 0) return StartCopy(self) ? 7 : 1;
  wchar_t code[16];
  const DWORD digits = ::GetEnvironmentVariableW(L"ZK_TEST_CHILD_EXIT", code, 16);
  if (digits > 0 && digits < 16) ::ExitProcess(static_cast<UINT>(::_wtoi(code)));
  wchar_t marker[1024];
  ::lstrcpyW(marker, self);
  ::lstrcatW(marker, L".ran");
  HANDLE file = ::CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD put = 0;
    ::WriteFile(file, self, n * sizeof(wchar_t), &put, nullptr);
    ::CloseHandle(file);
  }
  ::Sleep(1500);
  return 0;
}
