// The sample game for Windows: records each start in "started.txt" next to
// its own file (the time, the time of its start in 100 ns units since 1601,
// and its current folder), and exits.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <ctime>
#include <filesystem>
#include <fstream>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  FILETIME start{};
  ::GetSystemTimeAsFileTime(&start);  // first: the moment the game began
  wchar_t self[1024];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, 1024);
  if (n == 0 || n >= 1024) return 1;
  std::ofstream out(std::filesystem::path(self).parent_path() / "started.txt", std::ios::app);
  out << std::time(nullptr) << ' '
      << ((static_cast<unsigned long long>(start.dwHighDateTime) << 32) | start.dwLowDateTime) << ' '
      << std::filesystem::current_path().string() << '\n';
  return out ? 0 : 1;
}
