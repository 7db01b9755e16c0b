// The files below one folder, reached only through it, so that no name
// leads out of the folder. On Linux the folder is held open and each folder
// on a name's way is opened inside the one before it with O_NOFOLLOW: a
// link is never followed (not even one that leads back inside), and nothing
// put at a name after it was looked up is used instead. On Windows each
// file's folder, links and junctions resolved, must lie inside the folder.
// The folders reached are kept for the names that follow: a list names many
// files of one folder, and looking the folder up again for each would cost
// more than the work done on the file.
// Implemented per platform (FolderFiles_posix.cpp, FolderFiles_win32.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

class FolderFiles {
 public:
  // Nothing below it is reached when the folder cannot be opened.
  explicit FolderFiles(std::u16string_view folder);
  ~FolderFiles();
  FolderFiles(const FolderFiles&) = delete;
  FolderFiles& operator=(const FolderFiles&) = delete;

  // The last-modification time, in seconds since 1970-01-01 UTC, of the file
  // at `relative` (parts joined by kPathSeparator, as RelativePathInside
  // gives them). A link as the last part is not followed: its own time is
  // read. Nothing when the file or a folder on the way is missing or may
  // not be passed.
  std::optional<int64_t> ModifiedTime(std::u16string_view relative);
  // Replaces only the last-modification time, as SetFileModifiedTime does;
  // failure is silent.
  void SetModifiedTime(std::u16string_view relative, int64_t time);

 private:
  struct Platform;
  struct PlatformDeleter {
    void operator()(Platform* platform) const;
  };
  std::unique_ptr<Platform, PlatformDeleter> platform_;
};
