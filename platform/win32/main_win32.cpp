// Entry point of the Windows program: the Win32 host runs the installer's
// window.
#include "SelectLanguage/InstallerApp.h"
#include "SelectLanguage/SingleInstance.h"
#include "SelectLanguage/WorkerThread.h"
#include "net/Files.h"
#include "platform/win32/Win32DialogHost.h"
#include "platform/win32/WinHandles.h"

#include <commctrl.h>

#include <optional>

namespace {

// The program runs elevated next to a downloaded file: every library loaded
// from here on comes from the system folder only.
void RestrictLibrarySearch() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto set = kernel != nullptr ? reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
                                           ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                     : nullptr;
  if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
  ::SetDllDirectoryW(L"");  // and never the current folder
  // The DLLs the program delay-loads are also loaded by name as dependencies
  // of system DLLs, and such a load may still look beside the program (wine's
  // crypt32 does, for bcrypt). Loaded now from the system folder, each is
  // the module that every later load by that name finds; they stay loaded
  // for the life of the process.
  for (const wchar_t* name : {L"bcrypt.dll", L"wininet.dll"}) {
    ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
}

int RunInstaller() {
  RestrictLibrarySearch();
  // Before anything is shown or written: a second installer would replace
  // the running one's setup program and empty its log.
  std::optional<SingleInstance> instance(std::in_place);
  // A running one that cannot be reached may just have ended: claim again.
  // One that is still there but did not come forward is named in a box.
  if (instance->Outcome() == SingleInstance::Claim::Second && !instance->BringRunningToFront()) {
    instance.emplace();
    if (instance->Outcome() == SingleInstance::Claim::Second) {
      const std::u16string caption = GetApplicationName();
      ::MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(std::u16string(kAnotherInstallerRuns).c_str()),
                    reinterpret_cast<const wchar_t*>(caption.c_str()), MB_OK | MB_ICONINFORMATION);
      return 0;
    }
  }
  if (instance->Outcome() == SingleInstance::Claim::Second) return 0;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  const std::unique_ptr<DialogHost> host = CreateWin32DialogHost();
  InstallerApp app;
  app.InitInstance(*host);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The window, its host and the lock are gone here; a worker that was let
  // go (a transfer WinINet cannot cut) must not meet the exit handlers.
  const int code = RunInstaller();
  EndProcessIfWorkersRun(code);
  return code;
}
