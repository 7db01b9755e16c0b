#include <gtest/gtest.h>

#include "net/Text.h"

namespace {

TEST(Utf, RoundTripsEveryPlane) {
  const std::u16string text = u"English 简体中文 한국어 Россия 日本語 \U0001F0A1";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"a=b"), "a=b");
}

TEST(Utf, BadInputIsReplacedNotFatal) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE6\x97"), u"\uFFFD");            // truncated sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");      // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80x"), u"\uFFFDx");      // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Cp949, DecodesKoreanAndReplacesInvalidBytes) {
  EXPECT_EQ(Cp949ToUtf16("U_PATH=\xC7\xD1\xB1\xB9\xBE\xEE"), u"U_PATH=한국어");
  const std::u16string bad = Cp949ToUtf16("a\xFF" "b\xC7");
  EXPECT_EQ(bad, u"a\uFFFDb\uFFFD");
  EXPECT_EQ(Cp949ToUtf16(""), u"");
}

TEST(FormatText, FillsNumbersAndTextsInOrder) {
  EXPECT_EQ(FormatText(u"Your CODE(%d - %s).", {1LL, std::u16string_view(u"MAIN")}), u"Your CODE(1 - MAIN).");
  EXPECT_EQ(FormatText(u"Attempt to install game(%d).", {-1LL}), u"Attempt to install game(-1).");
  EXPECT_EQ(FormatText(u"%s%s", {std::u16string_view(u"http://h/p/"), std::u16string_view(u"s.exe")}),
            u"http://h/p/s.exe");
  // Missing or mismatched arguments leave the placeholder as it stands.
  EXPECT_EQ(FormatText(u"%d %s 100%%", {}), u"%d %s 100%");
  EXPECT_EQ(FormatText(u"%d", {std::u16string_view(u"x")}), u"%d");
}

}  // namespace
