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

const char16_t kPathSeparator = u'/';

namespace {

int OpenLocked(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string ToNativePath(std::u16string_view path) {
  const auto end = path.find(u'\0');
  return Utf16ToUtf8(end == std::u16string_view::npos ? path : path.substr(0, end));
}

int64_t FileHandle::OpenForRead(std::u16string_view path) {
  Close();
  const int fd = OpenLocked(ToNativePath(path), O_RDONLY);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  handle_ = fd;
  return st.st_size;
}

int FileHandle::OpenForWrite(std::u16string_view path) {
  Close();
  // Truncate only once the lock is ours, so a file held elsewhere keeps its bytes.
  const int fd = OpenLocked(ToNativePath(path), O_WRONLY | O_CREAT);
  if (fd < 0) return 0;
  if (::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return 0;
  }
  handle_ = fd;
  return 1;
}

int FileHandle::ReadExact(void* buffer, std::size_t n) {
  if (!IsOpen()) return 0;
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::read(static_cast<int>(handle_), out + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return 0;
    done += static_cast<std::size_t>(got);
  }
  return 1;
}

int FileHandle::WriteExact(const void* buffer, std::size_t n) {
  if (!IsOpen()) return 0;
  const auto* in = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t put = ::write(static_cast<int>(handle_), in + done, n - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return 0;
    done += static_cast<std::size_t>(put);
  }
  return 1;
}

void FileHandle::Close() {
  if (IsOpen()) ::close(static_cast<int>(handle_));
  handle_ = kClosed;
}

int GetModulePath(std::u16string& out) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return -1;
  std::u16string path = Utf8ToUtf16(std::string_view(buffer, static_cast<std::size_t>(n)));
  if (path.size() > kMaxPathUnits) return -1;
  out = std::move(path);
  return static_cast<int>(2 * out.size());
}

int GetCurrentDir(std::u16string& out) {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return -1;
  std::u16string path = Utf8ToUtf16(buffer);
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
  const int flags = mode == EntryMode::kTruncate ? (O_WRONLY | O_CREAT) : O_WRONLY;
  const int fd = OpenLocked(ToNativePath(path), flags);
  if (fd < 0) return 0;
  // Truncate only under the lock; then write at the end of the file.
  const bool ready = (mode != EntryMode::kTruncate || ::ftruncate(fd, 0) == 0) &&
                     ::lseek(fd, 0, SEEK_END) >= 0;
  int ok = 0;
  if (ready) {
    const auto* in = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < length) {
      const ssize_t put = ::write(fd, in + done, length - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
    }
    ok = done == length;
  }
  ::close(fd);
  return ok;
}
