// File descriptors on POSIX: an owned descriptor, closed when it goes out of
// scope, and the one loop that writes a whole buffer.
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

// Writes all n bytes, going on after interruptions and short writes; false
// on an error or a write that makes no progress.
inline bool WriteAll(int fd, const void* data, std::size_t n) {
  const auto* in = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t put = ::write(fd, in, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    in += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}
