// Code page 949 through glibc's iconv. iconv stops at a bad sequence; we put
// U+FFFD in its place, skip one byte and go on, so decoding never fails.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "net/Text.h"

namespace {

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

}  // namespace

std::u16string Cp949ToUtf16(std::string_view bytes) {
  std::u16string out;
  iconv_t raw = iconv_open("UTF-16LE", "CP949");
  if (raw == reinterpret_cast<iconv_t>(-1)) {
    // No converter: keep ASCII, replace everything else.
    for (unsigned char c : bytes) out.push_back(c < 0x80 ? c : 0xFFFD);
    return out;
  }
  std::unique_ptr<void, IconvCloser> cd(raw);
  std::string input(bytes);
  char* in = input.data();
  std::size_t inLeft = input.size();
  char chunk[4096];
  while (inLeft > 0) {
    char* outPtr = chunk;
    std::size_t outLeft = sizeof chunk;
    const std::size_t rc = iconv(raw, &in, &inLeft, &outPtr, &outLeft);
    const std::size_t produced = sizeof chunk - outLeft;
    for (std::size_t i = 0; i + 1 < produced; i += 2) {
      out.push_back(static_cast<char16_t>(static_cast<unsigned char>(chunk[i]) |
                                          (static_cast<unsigned char>(chunk[i + 1]) << 8)));
    }
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (an invalid or truncated sequence): replace one byte.
    out.push_back(0xFFFD);
    ++in;
    --inLeft;
    iconv(raw, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}
