// POSIX half of the partial file: unnamed (O_TMPFILE) in the destination's
// folder and linked into place when whole; where the file system has no
// unnamed files, the fixed name beside the destination, renamed into place.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "net/PartialFile.h"
#include "platform/posix/PosixFd.h"
#include "platform/posix/PosixPath.h"

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Kernels and file systems without unnamed files say so in one of these ways.
bool UnnamedUnsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// Whatever stands at the name (a link, a FIFO, a stale partial file) is
// removed, and a new file is made there exclusively.
UniqueFd CreateAfresh(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && ::unlink(path.c_str()) != 0 && errno != ENOENT) return UniqueFd();
  return UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
}

// 0, or the errno of the failed link. AT_EMPTY_PATH needs CAP_DAC_READ_SEARCH;
// the descriptor's /proc name works for every user.
int LinkOnce(int fd, const std::string& destination) {
  if (::linkat(fd, "", AT_FDCWD, destination.c_str(), AT_EMPTY_PATH) == 0) return 0;
  if (errno == EEXIST) return EEXIST;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, destination.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// A link cannot replace a name, so what stands at the destination goes first.
bool LinkInto(int fd, const std::string& destination) {
  int error = LinkOnce(fd, destination);
  if (error == EEXIST && (::unlink(destination.c_str()) == 0 || errno == ENOENT)) error = LinkOnce(fd, destination);
  return error == 0;
}

}  // namespace

PartialFile::~PartialFile() { Discard(); }

void PartialFile::Discard() {
  if (handle_ != kClosed) ::close(static_cast<int>(handle_));
  handle_ = kClosed;
  if (!partialPath_.empty()) ::unlink(ToNativePath(partialPath_).c_str());
  partialPath_.clear();
  size_ = 0;
}

bool PartialFile::Open(std::u16string_view destination, Naming naming) {
  Discard();
  destination_ = destination;
  const std::string native = ToNativePath(destination);
  if (native.empty() || native.back() == '/') return false;
  if (naming == Naming::kUnnamedWherePossible) {
    UniqueFd fd(::open(FolderOf(native).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644));
    if (fd) {
      handle_ = fd.Release();
      return true;
    }
    if (!UnnamedUnsupported(errno)) return false;
  }
  const std::u16string partial = destination_ + std::u16string(kPartialSuffix);
  UniqueFd fd = CreateAfresh(ToNativePath(partial));
  if (!fd) return false;
  handle_ = fd.Release();
  partialPath_ = partial;
  return true;
}

bool PartialFile::Append(const char* data, std::size_t size) {
  if (handle_ == kClosed || !WriteAll(static_cast<int>(handle_), data, size)) return false;
  size_ += size;
  return true;
}

bool PartialFile::Truncate() {
  const int fd = static_cast<int>(handle_);
  if (handle_ == kClosed || ::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return false;
  size_ = 0;
  return true;
}

std::optional<uint64_t> PartialFile::FreeSpace() const {
  struct statvfs fs {};
  if (handle_ == kClosed || ::fstatvfs(static_cast<int>(handle_), &fs) != 0) return std::nullopt;
  return static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
}

bool PartialFile::Commit() {
  if (handle_ == kClosed) return false;
  const std::string destination = ToNativePath(destination_);
  const int fd = static_cast<int>(handle_);
  handle_ = kClosed;
  if (partialPath_.empty()) {
    const bool linked = LinkInto(fd, destination);
    const bool closed = ::close(fd) == 0;
    if (linked && !closed) ::unlink(destination.c_str());  // the bytes may not all be there
    return linked && closed;
  }
  if (::close(fd) != 0 || ::rename(ToNativePath(partialPath_).c_str(), destination.c_str()) != 0) {
    Discard();
    return false;
  }
  partialPath_.clear();
  return true;
}
