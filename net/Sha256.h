// SHA-256, from the cryptography the platform already has (OpenSSL on POSIX,
// CNG on Windows), whole or piece by piece as a download arrives.
// Implemented per platform (Sha256_posix.cpp, Sha256_win32.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256Hasher {
 public:
  Sha256Hasher();
  ~Sha256Hasher();
  Sha256Hasher(const Sha256Hasher&) = delete;
  Sha256Hasher& operator=(const Sha256Hasher&) = delete;

  // Adds the next bytes; false once the platform has failed to hash.
  bool Update(std::string_view bytes);
  // The digest of everything added since the start or the last Reset;
  // nothing when the platform failed. The hasher then starts afresh.
  std::optional<Sha256Digest> Final();
  // Forgets everything added, to hash another text.
  void Reset();

 private:
  struct Platform;
  std::unique_ptr<Platform> platform_;
};

// The digest of `bytes`; nothing when the platform cannot hash.
std::optional<Sha256Digest> Sha256(std::string_view bytes);

// 64 hexadecimal digits, either case, and nothing else.
std::optional<Sha256Digest> ParseSha256Hex(std::u16string_view text);
