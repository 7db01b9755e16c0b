// File, path and system helpers. All paths are UTF-16. The helpers show
// nothing and log nothing; failure is only ever a return value.
// Implemented per platform (Files_posix.cpp, Files_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The separator of the platform's paths ("\" on Windows, "/" on POSIX). Every
// path join of the program uses it.
extern const char16_t kPathSeparator;

// Longest path, in UTF-16 units without the terminator, that the module and
// directory helpers accept.
inline constexpr std::size_t kMaxPathUnits = 1023;

// An exclusively opened file: while one FileHandle holds a file, no other
// FileHandle (in this or another process) can open it.
class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Size in bytes, or -1 when the file cannot be opened. Only a regular file
  // opens, and the open never waits (a FIFO at the name is refused at once).
  int64_t OpenForRead(std::u16string_view path);
  // Creates the file afresh: whatever stands at the name (a link, a FIFO, a
  // second name of another file) is removed and a new file is created
  // exclusively. 1 when opened, else 0; a file held elsewhere stays intact.
  int OpenForWrite(std::u16string_view path);
  // 1 only when exactly n bytes were read / written.
  int ReadExact(void* buffer, std::size_t n);
  int WriteExact(const void* buffer, std::size_t n);
  void Close();
  bool IsOpen() const { return handle_ != kClosed; }

 private:
  static constexpr intptr_t kClosed = -1;
  intptr_t handle_ = kClosed;
};

// Reads a whole file and puts `extra` zero bytes behind the data. Returns the
// size, or -1 for a missing, unopenable, empty or unreadable file, or one of
// more than maxBytes (refused before anything is allocated); on failure
// `buffer` is left empty.
int64_t ReadWholeFile(std::u16string_view path, std::vector<uint8_t>& buffer, uint32_t extra, uint64_t maxBytes);
// The same into the caller's memory, which must hold size + extra bytes;
// a buffer that is too small fails with -1 and nothing is written.
int64_t ReadWholeFile(std::u16string_view path, std::span<uint8_t> buffer, uint32_t extra);

// Creates the file afresh (as FileHandle::OpenForWrite) and writes all
// bytes: 1, else 0.
int WriteWholeFile(std::u16string_view path, const void* data, std::size_t length);

// Deletes a file: true when it was deleted.
bool DeleteFilePath(std::u16string_view path);

// Full path of the running program: its length in bytes (2 per unit), or -1.
int GetModulePath(std::u16string& out);
// Everything before the last separator: length in bytes, or -1 when the
// path has no separator, its only separator is its first character, or it
// is longer than kMaxPathUnits.
int GetDirectoryPart(std::u16string& out, std::u16string_view path);
// The folder of the running program: GetDirectoryPart(GetModulePath()).
int GetModuleDirectory(std::u16string& out);
// The process's current directory: its length in units, or -1.
int GetCurrentDir(std::u16string& out);

// Last-modification time in seconds since 1970-01-01 UTC. A symbolic link
// is not followed: its own time is read and written, never its target's.
std::optional<int64_t> GetFileModifiedTime(std::u16string_view path);
// Replaces only the last-modification time; failure is silent. A time the
// platform's own count cannot hold is refused (on Windows, before 1601 or
// past 910,692,730,085 s): the file keeps its time.
void SetFileModifiedTime(std::u16string_view path, int64_t time);
// A folder, with every link in it resolved once, that many paths are tested
// against. The folder of the last path tested is remembered too: a list
// names the files of one folder in a row, and resolving each file's folder
// anew would cost more than the work done on the file.
class FolderBoundary {
 public:
  explicit FolderBoundary(std::u16string_view folder) : folder_(Resolve(folder)) {}
  FolderBoundary(const FolderBoundary&) = delete;
  FolderBoundary& operator=(const FolderBoundary&) = delete;

  // Whether `path`'s folder, links resolved, is the folder or lies inside
  // it. False when either cannot be resolved.
  bool Contains(std::u16string_view path);
  // Whether `path` itself, every link in it resolved (its last part's too),
  // is the folder or lies inside it. False when either cannot be resolved.
  bool ContainsResolved(std::u16string_view path) const;

 private:
  struct Resolved;  // the platform's form of a resolved path
  struct ResolvedDeleter {
    void operator()(Resolved* resolved) const;
  };
  using ResolvedPath = std::unique_ptr<Resolved, ResolvedDeleter>;
  // Per platform: the path with every link resolved, or null; and whether
  // a resolved path is a resolved folder or lies inside it.
  static ResolvedPath Resolve(std::u16string_view path);
  static bool Within(const Resolved& folder, const Resolved& path);

  ResolvedPath folder_;        // null when it could not be resolved
  std::u16string lastParent_;  // empty before the first path
  bool lastParentInside_ = false;
};

// Whether the path names the same file from any current folder: on POSIX it
// starts with "/"; on Windows it starts with a drive and its root ("C:\")
// or names a share ("\\server\share").
bool IsAbsolutePath(std::u16string_view path);

// Joins with kPathSeparator.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// How WriteFileEntry opens its file.
enum class EntryMode {
  kTruncate,        // create the file afresh, as FileHandle::OpenForWrite
  kAppendExisting,  // open only a regular file that exists at the name itself
                    // (no link) and has no other name; keep its contents
};
// Opens the file exclusively, writes the bytes at its end, closes it:
// 1 when all bytes were written, else 0.
int WriteFileEntry(std::u16string_view path, const void* data, std::size_t length, EntryMode mode);

// The application's name: the base name of the program's file without its
// extension ("SelectLanguage"). Empty when the module path is unknown.
std::u16string GetApplicationName();
