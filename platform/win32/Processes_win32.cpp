// Program starts on Windows. The path is both the application name and the
// quoted command line, so a path with blanks can never start another
// program ("C:\Program Files\x.exe" is not read as "C:\Program").
#include <string>

#include "net/Processes.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinProcess.h"

KernelHandle StartProcess(std::u16string_view path) {
  const std::wstring application = ToWide(path);
  if (application.empty() || application.find(L'"') != std::wstring::npos) return {};
  std::wstring commandLine = L"\"" + application + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    return {};
  }
  ::CloseHandle(info.hThread);
  return KernelHandle(info.hProcess);
}

bool StartProgram(std::u16string_view path) { return StartProcess(path) != nullptr; }

bool MakeExecutable(std::u16string_view) { return true; }  // every file may run
