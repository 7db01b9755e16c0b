// The code page 949 decoder against Python's codec, over every two-byte
// value: each pair alone (a lead byte may end the text) and followed by
// "A\r\n" (a bad pair must not take the bytes after it).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "net/Text.h"

namespace {

std::string PythonsReading() {
  std::string bytes;
  std::FILE* python = ::popen(ZK_PYTHON3 " " ZK_CP949_REFERENCE, "r");
  if (python == nullptr) return bytes;
  char piece[65536];
  for (std::size_t got; (got = std::fread(piece, 1, sizeof piece, python)) > 0;) bytes.append(piece, got);
  ::pclose(python);
  return bytes;
}

TEST(Cp949, EveryPairDecodesAsPythonsCodecDoes) {
  const std::string expected = PythonsReading();
  std::size_t at = 0;
  int differences = 0;
  for (unsigned pair = 0; pair < 0x10000; ++pair) {
    const std::string bytes{static_cast<char>(pair >> 8), static_cast<char>(pair & 0xFF)};
    for (const std::string& text : {bytes, bytes + "A\r\n"}) {
      ASSERT_LT(at, expected.size()) << "Python's reading ends early";
      const std::size_t units = static_cast<unsigned char>(expected[at++]);
      ASSERT_LE(at + 2 * units, expected.size());
      std::u16string python;
      for (std::size_t i = 0; i < units; ++i, at += 2) {
        python.push_back(static_cast<char16_t>(static_cast<unsigned char>(expected[at]) |
                                               static_cast<unsigned char>(expected[at + 1]) << 8));
      }
      const std::u16string ours = Cp949ToUtf16(text);
      if (ours != python && ++differences <= 10) {
        ADD_FAILURE() << "bytes " << std::hex << pair << (text.size() > 2 ? " A CR LF" : "") << ": "
                      << Utf16ToUtf8(ours) << " instead of " << Utf16ToUtf8(python);
      }
    }
  }
  EXPECT_EQ(at, expected.size());
  EXPECT_EQ(differences, 0);
}

}  // namespace
