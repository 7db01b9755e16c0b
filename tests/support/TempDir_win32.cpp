// The test folders on Windows: no mkdtemp there, so a name made of the
// process, the time and a counter, tried until one is free.
#include <windows.h>

#include <string>

#include "tests/support/TempDir.h"

std::filesystem::path CreateUniqueTestFolder() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (unsigned attempt = 0;; ++attempt) {
    const std::wstring name = L"zk-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(attempt);
    std::error_code error;
    if (std::filesystem::create_directory(base / name, error)) return base / name;
  }
}
