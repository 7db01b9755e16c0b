// Win32 half of the partial file. Windows has no unnamed files, so the file
// always has the fixed name beside its destination, made afresh and marked
// for deletion from the moment it exists: whether the program closes it, ends
// or is killed, the system removes it with the last handle. Commit moves it
// to its destination through the same handle and only then takes the mark
// away. (The delete disposition rather than FILE_FLAG_DELETE_ON_CLOSE: that
// flag cannot be taken back, and the file would vanish from its destination
// at the close. Measured under wine64 too.)
#include <cstring>
#include <string>
#include <vector>

#include "net/PartialFile.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinHandles.h"

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool MarkForDeletion(HANDLE file, bool deleteIt) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = deleteIt ? TRUE : FALSE;
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Gives the open file the name `to`, replacing a file (or a link itself,
// never its target) that stands there.
bool RenameOpenFile(HANDLE file, const std::wstring& to) {
  const std::size_t nameBytes = to.size() * sizeof(wchar_t);
  std::vector<unsigned char> block(sizeof(FILE_RENAME_INFO) + nameBytes + sizeof(wchar_t), 0);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(rename->FileName, to.c_str(), nameBytes + sizeof(wchar_t));
  return ::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(block.size())) != 0;
}

// The folder part of a path, with its final separator.
std::wstring FolderOf(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".\\") : path.substr(0, slash + 1);
}

}  // namespace

PartialFile::~PartialFile() { Discard(); }

void PartialFile::Discard() {
  // The mark removes the file with this handle.
  if (handle_ != kClosed) ::CloseHandle(AsHandle(handle_));
  handle_ = kClosed;
  partialPath_.clear();
  size_ = 0;
}

bool PartialFile::Open(std::u16string_view destination, Naming) {
  Discard();
  destination_ = destination;
  if (destination_.empty() || destination_.back() == u'\\' || destination_.back() == u'/') return false;
  const std::u16string partial = destination_ + std::u16string(kPartialSuffix);
  const std::wstring name = ToWide(partial);
  // Whatever stands at the name (a stale partial file, a link) goes; the
  // new file is made exclusively and a link put there meanwhile is not
  // followed.
  ::DeleteFileW(name.c_str());
  KernelHandle file(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file || file.get() == INVALID_HANDLE_VALUE) return false;
  if (!MarkForDeletion(file.get(), true)) {
    ::CloseHandle(file.release());
    ::DeleteFileW(name.c_str());
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(file.release());
  partialPath_ = partial;
  return true;
}

bool PartialFile::Append(const char* data, std::size_t size) {
  if (handle_ == kClosed) return false;
  const HANDLE file = AsHandle(handle_);
  std::size_t left = size;
  while (left > 0) {
    const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD put = 0;
    if (!::WriteFile(file, data, chunk, &put, nullptr) || put == 0) return false;
    data += put;
    left -= put;
  }
  size_ += size;
  return true;
}

bool PartialFile::Truncate() {
  if (handle_ == kClosed) return false;
  const HANDLE file = AsHandle(handle_);
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !::SetEndOfFile(file)) return false;
  size_ = 0;
  return true;
}

std::optional<uint64_t> PartialFile::FreeSpace() const {
  ULARGE_INTEGER available{};
  if (handle_ == kClosed ||
      !::GetDiskFreeSpaceExW(FolderOf(ToWide(destination_)).c_str(), &available, nullptr, nullptr)) {
    return std::nullopt;
  }
  return available.QuadPart;
}

bool PartialFile::Commit() {
  if (handle_ == kClosed) return false;
  const HANDLE file = AsHandle(handle_);
  const std::wstring destination = ToWide(destination_);
  // Renamed while still marked: a crash before the mark is taken away
  // leaves nothing, neither at the destination nor under the fixed name.
  // Where a marked file cannot be renamed, the mark goes first, and a crash
  // in between leaves the whole file under the fixed name (the next run
  // removes it).
  bool placed = RenameOpenFile(file, destination) && MarkForDeletion(file, false);
  if (!placed && MarkForDeletion(file, false)) {
    placed = RenameOpenFile(file, destination);
    if (!placed) MarkForDeletion(file, true);
  }
  if (!placed) {
    Discard();
    return false;
  }
  const bool closed = ::CloseHandle(file) != 0;
  handle_ = kClosed;
  partialPath_.clear();
  size_ = 0;
  return closed;
}
