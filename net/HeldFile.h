// A downloaded file held as it was when its download ended and its bytes were
// checked, so that what is started later is that very file, not whatever has
// been put at its name since. Implemented per platform (HeldFile_posix.cpp:
// a read-only descriptor of the file, from which it is started;
// HeldFile_win32.cpp: the file's identity, compared again when the file is
// reopened to start it).
//
// Taken in two steps: the identity from the download's own handle before the
// file is put in place, then (Confirm) the file at its name once it is there,
// which must be the same file. A descriptor opened by that name makes the
// started program see its own file under it (/proc/self/exe), as a program
// started by its path does.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

// What tells one file from another and from a later version of itself.
struct FileIdentity {
  uint64_t volume = 0;  // device or volume serial number
  uint64_t fileIdHigh = 0;
  uint64_t fileIdLow = 0;  // inode or file index
  int64_t lastWrite = 0;   // in the platform's own units
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file behind an open handle (a descriptor on POSIX).
std::optional<FileIdentity> IdentityOf(intptr_t handle);

class HeldFile {
 public:
  static constexpr intptr_t kNone = -1;

  HeldFile() = default;
  ~HeldFile() { Release(); }
  HeldFile(HeldFile&& other) noexcept { *this = std::move(other); }
  HeldFile& operator=(HeldFile&& other) noexcept {
    if (this != &other) {
      Release();
      std::swap(handle_, other.handle_);
      std::swap(identity_, other.identity_);
    }
    return *this;
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Records the identity of the file behind `writeHandle` (a partial file's
  // own handle) before that handle is closed: false when it cannot, and then
  // nothing is held.
  bool Take(intptr_t writeHandle);
  // Once the file is in place at `path`: takes hold of what is there, when
  // it is the file taken; else lets go and returns false.
  bool Confirm(std::u16string_view path);
  bool IsHeld() const { return identity_.has_value(); }
  // A read-only descriptor of the file (close-on-exec) where the platform
  // keeps one; kNone elsewhere.
  intptr_t Handle() const { return handle_; }
  // The file's identity when it was taken.
  const std::optional<FileIdentity>& Identity() const { return identity_; }
  // Lets go of the file.
  void Release();

 private:
  intptr_t handle_ = kNone;
  std::optional<FileIdentity> identity_;
};
