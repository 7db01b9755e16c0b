// POSIX half of the file helpers. "No sharing" is an exclusive advisory lock
// (flock) held for as long as the handle is open.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "net/Files.h"
#include "net/Text.h"
#include "platform/posix/PosixPath.h"
#include "platform/posix/PosixFd.h"

const char16_t kPathSeparator = u'/';

namespace {

// Opens without blocking (a FIFO planted at the name must never hang the
// window's thread) and takes only a regular file, under the exclusive lock.
UniqueFd OpenRegularLocked(const std::string& path, int flags) {
  UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0644));
  struct stat st {};
  if (!fd || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return UniqueFd();
  return fd;
}

// A file the installer creates is created afresh: whatever stands at the name
// (a link, a FIFO, a file with a second name elsewhere) is removed, and a new
// file is made there exclusively, so nothing is ever written through a name
// someone else prepared. A regular file that another handle holds stays as
// it is, and the create fails, as an open without sharing would.
UniqueFd CreateAfresh(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISREG(st.st_mode) && !OpenRegularLocked(path, O_RDONLY | O_NOFOLLOW)) return UniqueFd();
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return UniqueFd();
  }
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return UniqueFd();
  return fd;
}

// Appends only to the regular file that stands at the name itself, with no
// second name: a link put there later never carries an entry elsewhere.
UniqueFd OpenForAppend(const std::string& path) {
  UniqueFd fd = OpenRegularLocked(path, O_WRONLY | O_APPEND | O_NOFOLLOW);
  struct stat st {};
  if (!fd || ::fstat(fd.Get(), &st) != 0 || st.st_nlink != 1) return UniqueFd();
  return fd;
}

}  // namespace

std::string ToNativePath(std::u16string_view path) {
  const auto end = path.find(u'\0');
  return Utf16ToBytesEscaped(end == std::u16string_view::npos ? path : path.substr(0, end));
}

int64_t FileHandle::OpenForRead(std::u16string_view path) {
  Close();
  UniqueFd fd = OpenRegularLocked(ToNativePath(path), O_RDONLY);
  struct stat st {};
  if (!fd || ::fstat(fd.Get(), &st) != 0) return -1;
  handle_ = fd.Release();
  return st.st_size;
}

int FileHandle::OpenForWrite(std::u16string_view path) {
  Close();
  UniqueFd fd = CreateAfresh(ToNativePath(path));
  if (!fd) return 0;
  handle_ = fd.Release();
  return 1;
}

int FileHandle::ReadExact(void* buffer, std::size_t n) {
  return IsOpen() && ReadAll(static_cast<int>(handle_), buffer, n) ? 1 : 0;
}

int FileHandle::WriteExact(const void* buffer, std::size_t n) {
  return IsOpen() && WriteAll(static_cast<int>(handle_), buffer, n) ? 1 : 0;
}

void FileHandle::Close() {
  if (IsOpen()) ::close(static_cast<int>(handle_));
  handle_ = kClosed;
}

bool IsAbsolutePath(std::u16string_view path) { return !path.empty() && path.front() == u'/'; }

bool DeleteFilePath(std::u16string_view path) { return ::unlink(ToNativePath(path).c_str()) == 0; }

int GetModulePath(std::u16string& out) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return -1;
  std::u16string path = BytesToUtf16Escaped(std::string_view(buffer, static_cast<std::size_t>(n)));
  if (path.size() > kMaxPathUnits) return -1;
  out = std::move(path);
  return static_cast<int>(2 * out.size());
}

int GetCurrentDir(std::u16string& out) {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return -1;
  std::u16string path = BytesToUtf16Escaped(buffer);
  if (path.size() > kMaxPathUnits) return -1;
  out = std::move(path);
  return static_cast<int>(out.size());
}

std::optional<int64_t> GetFileModifiedTime(std::u16string_view path) {
  struct stat st {};
  if (::lstat(ToNativePath(path).c_str(), &st) != 0) return std::nullopt;
  return static_cast<int64_t>(st.st_mtim.tv_sec);
}

void SetFileModifiedTime(std::u16string_view path, int64_t time) {
  struct timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it was
  times[1].tv_sec = static_cast<time_t>(time);
  ::utimensat(AT_FDCWD, ToNativePath(path).c_str(), times, AT_SYMLINK_NOFOLLOW);
}

struct FolderBoundary::Resolved {
  std::string path;
};

void FolderBoundary::ResolvedDeleter::operator()(Resolved* resolved) const { delete resolved; }

FolderBoundary::ResolvedPath FolderBoundary::Resolve(std::u16string_view path) {
  struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
  };
  const std::unique_ptr<char, FreeDeleter> resolved(::realpath(ToNativePath(path).c_str(), nullptr));
  if (!resolved) return nullptr;
  return ResolvedPath(new Resolved{resolved.get()});
}

bool FolderBoundary::Within(const Resolved& folder, const Resolved& path) {
  const std::string& b = folder.path;
  const std::string& r = path.path;
  return r == b || (r.size() > b.size() && r.starts_with(b) && (b == "/" || r[b.size()] == '/'));
}

int WriteFileEntry(std::u16string_view path, const void* data, std::size_t length, EntryMode mode) {
  const std::string native = ToNativePath(path);
  const UniqueFd fd = mode == EntryMode::kTruncate ? CreateAfresh(native) : OpenForAppend(native);
  return fd && WriteAll(fd.Get(), data, length) ? 1 : 0;
}
