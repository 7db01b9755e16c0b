#include "net/Sha256.h"

std::optional<Sha256Digest> Sha256(std::string_view bytes) {
  Sha256Hasher hasher;
  if (!hasher.Update(bytes)) return std::nullopt;
  return hasher.Final();
}

std::optional<Sha256Digest> ParseSha256Hex(std::u16string_view text) {
  Sha256Digest digest{};
  if (text.size() != digest.size() * 2) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    int value = 0;
    if (unit >= u'0' && unit <= u'9') {
      value = unit - u'0';
    } else if (unit >= u'a' && unit <= u'f') {
      value = unit - u'a' + 10;
    } else if (unit >= u'A' && unit <= u'F') {
      value = unit - u'A' + 10;
    } else {
      return std::nullopt;
    }
    digest[i / 2] = static_cast<uint8_t>(digest[i / 2] << 4 | value);
  }
  return digest;
}
