// The sample setup program for Windows. It takes a few seconds
// (ZK_SETUP_SECONDS, default 3), installs the sample game (the file named by
// ZK_SAMPLE_GAME) into %ZK_GAME_DIR%\ZKGame, writes the game's list file in
// code page 949 with the files' recorded times (the installed files get other
// times, for the installer to reset), and the registry values
// HKLM\SOFTWARE\ZKGame "Path" and HKLM\SOFTWARE\ZKGame\Game "localfolder".
// As its last act every process of it appends its end time (100 ns units
// since 1601) to %ZK_GAME_DIR%\setup-ended.txt. With ZK_SETUP_MODE=relaunch
// it starts its own file again and ends at once; the copy installs.
// ZK_SETUP_EXIT sets the code it ends with.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr long long kRecordedTime = 1700000000;  // 2023-11-14 22:13:20 UTC

std::wstring Env(const wchar_t* name, const wchar_t* fallback) {
  const wchar_t* value = _wgetenv(name);
  return (value != nullptr && *value != L'\0') ? value : fallback;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void SetTime(const fs::path& path, long long seconds) {
  HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const unsigned long long ticks = static_cast<unsigned long long>(seconds) * 10000000ULL + 116444736000000000ULL;
  FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  ::SetFileTime(file, nullptr, nullptr, &written);
  ::CloseHandle(file);
}

std::string ToCp949(const std::wstring& text) {
  const int n =
      ::WideCharToMultiByte(949, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  ::WideCharToMultiByte(949, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

bool SetValue(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LONG rc = ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(handle);
  return rc == ERROR_SUCCESS;
}

bool StartOwnFileAgain() {
  wchar_t self[1024];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, 1024);
  if (n == 0 || n >= 1024) return false;
  ::SetEnvironmentVariableW(L"ZK_SETUP_MODE", L"normal");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return false;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

void AppendEndStamp(const fs::path& root) {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  std::error_code ignored;
  fs::create_directories(root, ignored);
  std::ofstream(root / L"setup-ended.txt", std::ios::app)
      << ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) << '\n';
}

int Install(const fs::path& root) {
  if (Env(L"ZK_SETUP_MODE", L"normal") == L"relaunch") return StartOwnFileAgain() ? 0 : 4;
  ::Sleep(static_cast<DWORD>(_wtoi(Env(L"ZK_SETUP_SECONDS", L"3").c_str())) * 1000);
  const fs::path game = root / L"ZKGame";
  std::error_code error;
  fs::create_directories(game / L"data", error);
  if (!fs::copy_file(Env(L"ZK_SAMPLE_GAME", L""), game / L"ZKUpdate.exe", fs::copy_options::overwrite_existing,
                     error)) {
    return 2;
  }
  WriteBytes(game / L"data" / L"카드.dat", "cards");
  WriteBytes(game / L"data" / L"table.dat", "table");
  // As unpacked: an hour after the recorded time (reset), 30 s after (kept).
  SetTime(game / L"data" / L"카드.dat", kRecordedTime + 3600);
  SetTime(game / L"data" / L"table.dat", kRecordedTime + 30);
  const std::wstring t = std::to_wstring(kRecordedTime);
  WriteBytes(game / L"ZKGame.lst", ToCp949(t + L" 2 \\data\\카드.dat\r\n" + t + L" 1 \\data\\table.dat"));
  if (!SetValue(L"SOFTWARE\\ZKGame", L"Path", root.wstring()) ||
      !SetValue(L"SOFTWARE\\ZKGame\\Game", L"localfolder", L"ZKGame")) {
    return 3;
  }
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const fs::path root = Env(L"ZK_GAME_DIR", L"C:\\ZKGames");
  const int code = Install(root);
  AppendEndStamp(root);
  return _wtoi(Env(L"ZK_SETUP_EXIT", std::to_wstring(code).c_str()).c_str());
}
