#include "net/Base64.h"

namespace {

// The value of one alphabet character, or -1.
int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  if (!text.empty() && text.back() == '=') padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    const std::size_t letters = last ? 4 - padding : 4;
    uint32_t group = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      int value = 0;
      if (i < letters) {
        value = Sextet(text[at + i]);
        if (value < 0) return std::nullopt;  // "=" inside the text lands here too
      }
      group = group << 6 | static_cast<uint32_t>(value);
    }
    const std::size_t bytes = letters - 1;  // 4 letters: 3 bytes, 3: 2, 2: 1
    // The bits that no byte takes must be zero.
    if (bytes < 3 && (group & ((1u << (8 * (3 - bytes))) - 1)) != 0) return std::nullopt;
    for (std::size_t i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(group >> (16 - 8 * i)));
  }
  return out;
}
