// A little-endian reader over a byte span. Every read is checked against
// what is left: bytes past the end read as zero, and the caller can ask how
// much is left before it allocates anything sized by the data.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  size_t Position() const { return position_; }
  size_t Remaining() const { return data_.size() - position_; }
  bool AtEnd() const { return position_ >= data_.size(); }

  // Copies up to out.size() bytes; the rest of `out` is zeroed. Returns the
  // number of bytes that were really there.
  size_t Read(std::span<uint8_t> out) {
    const size_t n = std::min(out.size(), Remaining());
    if (n > 0) std::memcpy(out.data(), data_.data() + position_, n);
    if (n < out.size()) std::memset(out.data() + n, 0, out.size() - n);
    position_ += n;
    return n;
  }

  uint8_t U8() { return AtEnd() ? 0 : data_[position_++]; }
  uint16_t U16() {
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
  }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  uint32_t U32() {
    const uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }

  void Skip(size_t n) { position_ += std::min(n, Remaining()); }
  // The next n bytes, or fewer when the data ends first; does not advance.
  std::span<const uint8_t> Peek(size_t n) const { return data_.subspan(position_, std::min(n, Remaining())); }

 private:
  std::span<const uint8_t> data_;
  size_t position_ = 0;
};

// Field readers over a fixed-size record that has already been read whole.
inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline int16_t LoadI16(const uint8_t* p) { return static_cast<int16_t>(LoadU16(p)); }
inline uint32_t LoadU32(const uint8_t* p) { return LoadU16(p) | (static_cast<uint32_t>(LoadU16(p + 2)) << 16); }
inline void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  StoreU16(p, static_cast<uint16_t>(v));
  StoreU16(p + 2, static_cast<uint16_t>(v >> 16));
}
