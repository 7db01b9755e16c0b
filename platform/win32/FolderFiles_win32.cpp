// The Windows half: each file's folder, links and junctions resolved, must
// lie inside the folder (FolderBoundary, which remembers the last folder).
#include <string>

#include "net/FolderFiles.h"
#include "net/Files.h"

struct FolderFiles::Platform {
  explicit Platform(std::u16string_view folder) : folder(folder), boundary(folder) {}
  std::u16string folder;
  FolderBoundary boundary;

  // The file's full path, or nothing when its folder lies elsewhere.
  std::optional<std::u16string> Path(std::u16string_view relative) {
    std::u16string path = JoinPath(folder, relative);
    if (!boundary.Contains(path)) return std::nullopt;
    return path;
  }
};

void FolderFiles::PlatformDeleter::operator()(Platform* platform) const { delete platform; }

FolderFiles::FolderFiles(std::u16string_view folder) : platform_(new Platform(folder)) {}

FolderFiles::~FolderFiles() = default;

std::optional<int64_t> FolderFiles::ModifiedTime(std::u16string_view relative) {
  const auto path = platform_->Path(relative);
  return path ? GetFileModifiedTime(*path) : std::nullopt;
}

void FolderFiles::SetModifiedTime(std::u16string_view relative, int64_t time) {
  if (const auto path = platform_->Path(relative)) SetFileModifiedTime(*path, time);
}
