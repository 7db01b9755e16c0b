// Win32 half of the file helpers. "No sharing" is the share mode 0 of
// CreateFileW: while a handle is open, no other open of the file succeeds.
#include <cstring>
#include <string>

#include "net/Files.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinHandles.h"

const char16_t kPathSeparator = u'\\';

namespace {

// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

HANDLE OpenExclusive(std::u16string_view path, DWORD access, DWORD disposition) {
  return ::CreateFileW(ToWide(path).c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsValid(const KernelHandle& handle) { return handle && handle.get() != INVALID_HANDLE_VALUE; }

// A file the installer creates is created afresh: whatever stands at the name
// (a link, a second name of another file) is removed and a new file is made
// there exclusively, the name itself never followed. A file that another
// handle holds cannot be deleted, and the create then fails, as an open
// without sharing would.
KernelHandle CreateAfresh(std::u16string_view path) {
  const std::wstring name = ToWide(path);
  ::DeleteFileW(name.c_str());
  return KernelHandle(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Appends only to the file that stands at the name itself: no reparse point
// (a link put there later is opened as itself and refused) and no second name.
KernelHandle OpenForAppend(std::u16string_view path) {
  KernelHandle file(::CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!IsValid(file) || ::GetFileType(file.get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      info.nNumberOfLinks != 1) {
    return KernelHandle();
  }
  return file;
}

// Opened only for its attributes, shared with everyone (the game's files may
// be open elsewhere); folders too. A link is opened itself, never followed,
// so its target's times are never read or changed through it.
KernelHandle OpenForAttributes(std::u16string_view path, DWORD access, DWORD follow = FILE_FLAG_OPEN_REPARSE_POINT) {
  return KernelHandle(::CreateFileW(ToWide(path).c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | follow, nullptr));
}

// The folder's real path, with every link resolved; empty when it cannot be opened.
std::wstring RealPath(std::u16string_view path) {
  const KernelHandle folder = OpenForAttributes(path, 0, 0);
  if (folder.get() == INVALID_HANDLE_VALUE) return {};
  wchar_t buffer[32768];
  const DWORD n =
      ::GetFinalPathNameByHandleW(folder.get(), buffer, static_cast<DWORD>(std::size(buffer)), FILE_NAME_NORMALIZED);
  if (n == 0 || n >= std::size(buffer)) return {};
  return std::wstring(buffer, n);
}

bool WriteAll(HANDLE file, const void* data, std::size_t length) {
  const auto* in = static_cast<const char*>(data);
  while (length > 0) {
    const DWORD chunk = length > 0x40000000 ? 0x40000000 : static_cast<DWORD>(length);
    DWORD put = 0;
    if (!::WriteFile(file, in, chunk, &put, nullptr) || put == 0) return false;
    in += put;
    length -= put;
  }
  return true;
}

}  // namespace

int64_t FileHandle::OpenForRead(std::u16string_view path) {
  Close();
  HANDLE h = OpenExclusive(path, GENERIC_READ, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER size{};
  if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileSizeEx(h, &size)) {
    ::CloseHandle(h);
    return -1;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  return size.QuadPart;
}

int FileHandle::OpenForWrite(std::u16string_view path) {
  Close();
  KernelHandle file = CreateAfresh(path);
  if (!IsValid(file)) return 0;
  handle_ = reinterpret_cast<intptr_t>(file.release());
  return 1;
}

int FileHandle::ReadExact(void* buffer, std::size_t n) {
  if (!IsOpen()) return 0;
  auto* out = static_cast<char*>(buffer);
  while (n > 0) {
    const DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    DWORD got = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), out, chunk, &got, nullptr) || got == 0) return 0;
    out += got;
    n -= got;
  }
  return 1;
}

int FileHandle::WriteExact(const void* buffer, std::size_t n) {
  if (!IsOpen()) return 0;
  return WriteAll(reinterpret_cast<HANDLE>(handle_), buffer, n) ? 1 : 0;
}

void FileHandle::Close() {
  if (IsOpen()) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kClosed;
}

bool DeleteFilePath(std::u16string_view path) { return ::DeleteFileW(ToWide(path).c_str()) != 0; }

bool IsAbsolutePath(std::u16string_view path) {
  const auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
  const bool drive = path.size() >= 3 &&
                     ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
                     path[1] == u':' && separator(path[2]);
  const bool share = path.size() >= 3 && separator(path[0]) && separator(path[1]) && !separator(path[2]);
  return drive || share;
}

int GetModulePath(std::u16string& out) {
  wchar_t buffer[kMaxPathUnits + 2];
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
  if (n == 0 || n > kMaxPathUnits) return -1;  // a cut path is no path
  out = FromWide(buffer, n);
  return static_cast<int>(2 * n);
}

int GetCurrentDir(std::u16string& out) {
  wchar_t buffer[kMaxPathUnits + 1];
  const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(std::size(buffer)), buffer);
  if (n == 0 || n > kMaxPathUnits) return -1;
  out = FromWide(buffer, n);
  return static_cast<int>(n);
}

std::optional<int64_t> GetFileModifiedTime(std::u16string_view path) {
  const KernelHandle file = OpenForAttributes(path, FILE_READ_ATTRIBUTES);
  if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
  FILETIME written{};
  if (!::GetFileTime(file.get(), nullptr, nullptr, &written)) return std::nullopt;
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime);
  // Whole seconds, rounded towards the past also before 1970.
  const int64_t since1970 = ticks - kUnixEpochTicks;
  return since1970 >= 0 ? since1970 / kTicksPerSecond : -((-since1970 + kTicksPerSecond - 1) / kTicksPerSecond);
}

void SetFileModifiedTime(std::u16string_view path, int64_t time) {
  // A tick count outside 0 ... INT64_MAX would wrap around and date the
  // file anywhere: such a time is refused.
  constexpr int64_t kEarliest = -kUnixEpochTicks / kTicksPerSecond;
  constexpr int64_t kLatest = (INT64_MAX - kUnixEpochTicks) / kTicksPerSecond;
  if (time < kEarliest || time > kLatest) return;
  const KernelHandle file = OpenForAttributes(path, FILE_WRITE_ATTRIBUTES);
  if (file.get() == INVALID_HANDLE_VALUE) return;
  const uint64_t ticks = static_cast<uint64_t>(time * kTicksPerSecond + kUnixEpochTicks);
  FILETIME written{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
  ::SetFileTime(file.get(), nullptr, nullptr, &written);  // creation and access times stay
}

struct FolderBoundary::Resolved {
  std::wstring path;
};

void FolderBoundary::ResolvedDeleter::operator()(Resolved* resolved) const { delete resolved; }

FolderBoundary::ResolvedPath FolderBoundary::Resolve(std::u16string_view path) {
  std::wstring resolved = RealPath(path);
  if (resolved.empty()) return nullptr;
  return ResolvedPath(new Resolved{std::move(resolved)});
}

bool FolderBoundary::Within(const Resolved& folder, const Resolved& path) {
  const std::wstring& base = folder.path;
  const std::wstring& resolved = path.path;
  if (resolved.size() < base.size()) return false;
  // Paths compare without regard to case, as the file system does.
  if (::CompareStringOrdinal(resolved.c_str(), static_cast<int>(base.size()), base.c_str(),
                             static_cast<int>(base.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  return resolved.size() == base.size() || resolved[base.size()] == L'\\';
}

int WriteFileEntry(std::u16string_view path, const void* data, std::size_t length, EntryMode mode) {
  const KernelHandle file = mode == EntryMode::kTruncate ? CreateAfresh(path) : OpenForAppend(path);
  if (!IsValid(file)) return 0;
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return 0;
  return WriteAll(file.get(), data, length) ? 1 : 0;
}
