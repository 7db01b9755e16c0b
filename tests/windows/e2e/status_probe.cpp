// Writes each text that the installer's status line takes, as another
// program reads it (the control's window text), one UTF-8 line a change,
// until the window has come and gone or 300 s have passed.
// Usage: win_status_probe.exe <output file>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <string>

#include "resources/ResourceIds.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  std::wstring last;
  bool seen = false;
  for (int i = 0; i < 300 * 50; ++i, ::Sleep(20)) {
    const HWND window = ::FindWindowW(nullptr, L"Select language");
    const HWND line = window != nullptr ? ::GetDlgItem(window, ZK_CONTROL_STATUS_LINE) : nullptr;
    if (line == nullptr || !::IsWindowVisible(window)) {
      if (seen) break;
      continue;
    }
    seen = true;
    wchar_t text[512] = {};
    ::GetWindowTextW(line, text, 512);
    if (text == last) continue;
    last = text;
    char utf8[2048] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    std::fprintf(out, "%s\n", utf8);
    std::fflush(out);
  }
  std::fclose(out);
  return seen ? 0 : 1;
}
