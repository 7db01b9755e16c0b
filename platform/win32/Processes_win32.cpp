// Program starts on Windows. The path is both the application name and the
// quoted command line, so a path with blanks can never start another
// program ("C:\Program Files\x.exe" is not read as "C:\Program").
#include <optional>
#include <string>
#include <string_view>

#include "net/HeldFile.h"
#include "net/Processes.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinProcess.h"

#include <tlhelp32.h>

namespace {

// The file at `path`, opened for its attributes only and shared with every
// other open, as the volume and file ID that tell it from any other file.
std::optional<FileIdentity> FileIdOf(const std::wstring& path) {
  const KernelHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
  auto identity = IdentityOf(reinterpret_cast<intptr_t>(file.get()));
  if (identity) identity->lastWrite = 0;  // the same file, whenever it was written
  return identity;
}

// The part of a path that names its volume ("C:\", "\\server\share\"), or
// nothing for a path of another form.
std::wstring_view RootOf(std::wstring_view path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return path.substr(0, 3);
  if (path.rfind(L"\\\\", 0) != 0) return {};
  std::size_t end = path.find(L'\\', 2);
  if (end != std::wstring_view::npos) end = path.find(L'\\', end + 1);
  return end == std::wstring_view::npos ? std::wstring_view() : path.substr(0, end + 1);
}

bool SameRoot(std::wstring_view a, std::wstring_view b) {
  const std::wstring_view ra = RootOf(a);
  const std::wstring_view rb = RootOf(b);
  if (ra.empty() || rb.empty()) return true;  // cannot tell: look
  return ::CompareStringOrdinal(ra.data(), static_cast<int>(ra.size()), rb.data(), static_cast<int>(rb.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

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

// Only the images on the game's own volume are opened: a program run from a
// network share whose server has gone would hold this call up for nothing.
bool ProgramRuns(std::u16string_view path) {
  const std::wstring program = ToWide(path);
  const auto wanted = FileIdOf(program);
  if (!wanted) return false;
  const KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  const DWORD self = ::GetCurrentProcessId();
  std::wstring image(32768, L'\0');
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self || entry.th32ProcessID == 0) continue;
    const KernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    DWORD size = static_cast<DWORD>(image.size());
    if (!process || !::QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) continue;
    const std::wstring name = image.substr(0, size);
    if (!SameRoot(name, program)) continue;
    if (FileIdOf(name) == wanted) return true;
  }
  return false;
}

bool MakeExecutable(std::u16string_view) { return true; }  // every file may run
