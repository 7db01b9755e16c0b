// Code page 949 through the system's converter (MultiByteToWideChar, code
// page 949). The converter is asked one character at a time with
// MB_ERR_INVALID_CHARS, so that a byte which is no character of its own
// (a lone lead byte, or 0x80 and 0xFF, which Windows maps to private-use
// points) becomes U+FFFD and decoding goes on with the next byte, as on
// every other platform.
#include <string>

#include "net/Text.h"
#include "platform/win32/WinHandles.h"

namespace {

constexpr UINT kCodePage = 949;
constexpr char16_t kReplacement = 0xFFFD;

// The UTF-16 unit of one double-byte character, or 0 when it is none.
char16_t DecodePair(const char* pair) {
  wchar_t unit = 0;
  const int n = ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, pair, 2, &unit, 1);
  return n == 1 ? static_cast<char16_t>(unit) : 0;
}

}  // namespace

std::u16string Cp949ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) {
      out.push_back(byte);
      ++i;
      continue;
    }
    if (i + 1 < bytes.size() && ::IsDBCSLeadByteEx(kCodePage, byte)) {
      if (const char16_t unit = DecodePair(bytes.data() + i)) {
        out.push_back(unit);
        i += 2;
        continue;
      }
    }
    out.push_back(kReplacement);
    ++i;
  }
  return out;
}
