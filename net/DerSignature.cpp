#include "net/DerSignature.h"

#include <algorithm>

namespace {

constexpr uint8_t kSequenceTag = 0x30;
constexpr uint8_t kIntegerTag = 0x02;

// The order n of P-256's base point.
constexpr uint8_t kCurveOrder[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
                                     0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17,
                                     0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};

// Reads one INTEGER at `at` into 32 big-endian bytes of `out`, moving `at`
// past it. False when it breaks a rule of the reader.
bool ReadScalar(std::span<const uint8_t> der, std::size_t& at, uint8_t* out) {
  if (der.size() - at < 2 || der[at] != kIntegerTag) return false;
  const std::size_t length = der[at + 1];
  at += 2;
  if (length == 0 || length > 33 || length > der.size() - at) return false;  // also every long-form length
  std::span<const uint8_t> value = der.subspan(at, length);
  at += length;
  if (value[0] & 0x80) return false;  // negative
  if (value[0] == 0x00 && value.size() > 1) {
    if ((value[1] & 0x80) == 0) return false;  // a zero byte that was not needed
    value = value.subspan(1);
  }
  if (value.size() > 32) return false;
  std::fill(out, out + 32, 0);
  std::copy(value.begin(), value.end(), out + (32 - value.size()));
  const bool zero = std::all_of(out, out + 32, [](uint8_t b) { return b == 0; });
  return !zero && std::lexicographical_compare(out, out + 32, kCurveOrder, kCurveOrder + 32);
}

}  // namespace

std::optional<P256Signature> ReadDerSignature(std::span<const uint8_t> der) {
  if (der.size() < 2 || der.size() > kMaxDerSignatureBytes) return std::nullopt;
  // Every length fits the short form here; a long form is refused as not
  // the shortest one.
  if (der[0] != kSequenceTag || der[1] >= 0x80 || der[1] != der.size() - 2) return std::nullopt;
  P256Signature signature{};
  std::size_t at = 2;
  if (!ReadScalar(der, at, signature.data()) || !ReadScalar(der, at, signature.data() + 32)) return std::nullopt;
  if (at != der.size()) return std::nullopt;  // bytes inside the SEQUENCE behind s
  return signature;
}
