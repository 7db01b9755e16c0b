// The file a download grows in until it is whole. It lies in its
// destination's folder, so that putting it in place is a link or a rename on
// the same file system, and nothing of it is ever at the destination before
// Commit. Implemented per platform (PartialFile_posix.cpp; on Windows,
// PartialFile_win32.cpp, a fixed name marked for deletion until Commit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class PartialFile {
 public:
  enum class Naming {
    // No name at all until Commit where the file system allows it (a crash
    // or a kill leaves nothing behind), else the fixed name.
    kUnnamedWherePossible,
    // The destination's name followed by kPartialSuffix, made afresh.
    kFixedName,
  };

  PartialFile() = default;
  // An uncommitted file is removed, whatever it holds.
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  // Creates the empty file for `destination`; false when its folder cannot
  // take a new file.
  bool Open(std::u16string_view destination, Naming naming = Naming::kUnnamedWherePossible);
  // Writes at the end: true only when every byte was written.
  bool Append(const char* data, std::size_t size);
  // Empties the file, to start over.
  bool Truncate();
  uint64_t Size() const { return size_; }
  // Bytes that the file's folder can still take, when the platform says.
  std::optional<uint64_t> FreeSpace() const;
  // Puts the file at its destination, replacing whatever stands there, and
  // closes it: true when it is there.
  bool Commit();
  // Whether the file has a name of its own while it grows (the fixed name).
  bool HasName() const { return !partialPath_.empty(); }
  // The open file's own handle (a descriptor on POSIX), for a look at the
  // file it is; kClosed once committed or discarded.
  intptr_t Handle() const { return handle_; }

 private:
  static constexpr intptr_t kClosed = -1;
  void Discard();

  intptr_t handle_ = kClosed;
  std::u16string destination_;
  std::u16string partialPath_;  // empty while the file has no name
  uint64_t size_ = 0;
};

inline constexpr std::u16string_view kPartialSuffix = u".part";
