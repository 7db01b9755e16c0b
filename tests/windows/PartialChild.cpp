// A child program for the partial-file tests: opens the partial file of the
// destination named on its command line, writes to it, says so in
// "<destination>.ready" and waits to be killed.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "net/PartialFile.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring destination = argv[1];
  PartialFile file;
  const std::u16string target(reinterpret_cast<const char16_t*>(destination.c_str()), destination.size());
  if (!file.Open(target) || !file.Append("half a setup program", 20)) return 1;
  HANDLE ready = ::CreateFileW((destination + L".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 1;
  ::CloseHandle(ready);
  ::Sleep(60000);
  return 0;
}
