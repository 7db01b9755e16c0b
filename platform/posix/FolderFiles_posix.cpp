// The POSIX half: the folder held open, every folder below it opened inside
// its parent with O_NOFOLLOW, and the file reached by fstatat and utimensat
// relative to its folder without following a link. The folders opened stay
// open for later names, up to kMaxHeldFolders (then they are let go and
// opened anew as names need them).
#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <unordered_map>

#include "net/FolderFiles.h"
#include "net/Text.h"
#include "platform/posix/PosixFd.h"

namespace {

constexpr std::size_t kMaxHeldFolders = 64;
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// A part that names the folder itself or its parent never passes, whoever
// gave the name.
bool IsPlainPart(const std::string& part) { return !part.empty() && part != "." && part != ".."; }

}  // namespace

struct FolderFiles::Platform {
  UniqueFd root;
  // Folders below the root by their relative byte path; -1 for one that
  // could not be opened, so that a missing folder is asked for once.
  std::unordered_map<std::string, UniqueFd> folders;
  // The file of the last call, which the next call most often names again.
  std::u16string lastRelative;
  int lastFolder = -1;
  std::string lastName;

  // The descriptor of the folder `path` ("" for the root), or -1.
  int Folder(const std::string& path) {
    if (path.empty()) return root.Get();
    if (const auto held = folders.find(path); held != folders.end()) return held->second.Get();
    const auto slash = path.rfind('/');
    const int parent = Folder(slash == std::string::npos ? std::string() : path.substr(0, slash));
    const std::string part = slash == std::string::npos ? path : path.substr(slash + 1);
    UniqueFd fd(parent < 0 || !IsPlainPart(part) ? -1 : RetryInterrupted([&] {
      return ::openat(parent, part.c_str(), kFolderFlags | O_NOFOLLOW);
    }));
    if (folders.size() >= kMaxHeldFolders) {
      folders.clear();
      lastRelative.clear();
    }
    return folders.emplace(path, std::move(fd)).first->second.Get();
  }

  // Finds the file's folder and name once per name; false when the folder
  // cannot be reached.
  bool Locate(std::u16string_view relative) {
    if (relative != lastRelative || lastRelative.empty()) {
      const std::string path = Utf16ToBytesEscaped(relative);
      const auto slash = path.rfind('/');
      lastName = slash == std::string::npos ? path : path.substr(slash + 1);
      lastFolder = Folder(slash == std::string::npos ? std::string() : path.substr(0, slash));
      lastRelative.assign(relative);
    }
    return lastFolder >= 0 && IsPlainPart(lastName);
  }
};

void FolderFiles::PlatformDeleter::operator()(Platform* platform) const { delete platform; }

FolderFiles::FolderFiles(std::u16string_view folder) : platform_(new Platform) {
  const std::string path = Utf16ToBytesEscaped(folder);
  platform_->root = UniqueFd(RetryInterrupted([&] { return ::open(path.c_str(), kFolderFlags); }));
}

FolderFiles::~FolderFiles() = default;

std::optional<int64_t> FolderFiles::ModifiedTime(std::u16string_view relative) {
  struct stat st {};
  if (!platform_->Locate(relative) ||
      ::fstatat(platform_->lastFolder, platform_->lastName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return std::nullopt;
  }
  return static_cast<int64_t>(st.st_mtim.tv_sec);
}

void FolderFiles::SetModifiedTime(std::u16string_view relative, int64_t time) {
  if (!platform_->Locate(relative)) return;
  struct timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it was
  times[1].tv_sec = static_cast<time_t>(time);
  ::utimensat(platform_->lastFolder, platform_->lastName.c_str(), times, AT_SYMLINK_NOFOLLOW);
}
