// File descriptors on POSIX: an owned descriptor, closed when it goes out of
// scope, and the one loop that goes on after a signal interrupted a call.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// Calls a system call again for as long as a signal interrupts it; the
// result of the first call that was not interrupted.
template <typename SystemCall>
auto RetryInterrupted(SystemCall call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

// Moves all n bytes through `step(at, left)`, a read, write or send that
// returns how many bytes it moved, going on after interruptions and short
// transfers; false on an error, an end of file or a step that moves nothing.
template <typename Byte, typename Step>
bool TransferAll(Byte* at, std::size_t n, Step step) {
  while (n > 0) {
    const ssize_t moved = RetryInterrupted([&] { return step(at, n); });
    if (moved <= 0) return false;
    at += moved;
    n -= static_cast<std::size_t>(moved);
  }
  return true;
}

// Writes all n bytes.
inline bool WriteAll(int fd, const void* data, std::size_t n) {
  return TransferAll(static_cast<const char*>(data), n,
                     [fd](const char* at, std::size_t left) { return ::write(fd, at, left); });
}

// Reads exactly n bytes; false when the file ends first.
inline bool ReadAll(int fd, void* data, std::size_t n) {
  return TransferAll(static_cast<char*>(data), n, [fd](char* at, std::size_t left) { return ::read(fd, at, left); });
}
