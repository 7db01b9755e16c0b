#include <gtest/gtest.h>

#include "net/Text.h"

namespace {

TEST(Utf, RoundTripsEveryPlane) {
  const std::u16string text = u"English 简体中文 한국어 Россия 日本語 \U0001F0A1";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"a=b"), "a=b");
}

TEST(Utf, BadInputIsReplacedNotFatal) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE6\x97"), u"\uFFFD");        // truncated sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80x"), u"\uFFFDx");  // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// Byte paths that are not UTF-8 (a folder named in code page 949) survive
// the trip through UTF-16 byte for byte.
TEST(EscapedBytes, EveryByteStringRoundTrips) {
  const std::string cp949Folder = "/opt/\xB0\xD4\xC0\xD3/setup";  // "게임" in code page 949
  const std::u16string text = BytesToUtf16Escaped(cp949Folder);
  EXPECT_EQ(text, u"/opt/\xDCB0\xDCD4\xDCC0\xDCD3/setup");
  EXPECT_EQ(Utf16ToBytesEscaped(text), cp949Folder);
  for (const std::string& bytes :
       {std::string("\xC0\xAF"), std::string("\xED\xA0\x80x"), std::string("\xE6\x97"), std::string("\xF4\x90\x80\x80"),
        std::string("\x80\xBF\xFE\xFF"), std::string("\xE6\x97\xA5\xFF\xE6\x97\xA5")}) {
    EXPECT_EQ(Utf16ToBytesEscaped(BytesToUtf16Escaped(bytes)), bytes);
  }
  for (int byte = 0; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    EXPECT_EQ(Utf16ToBytesEscaped(BytesToUtf16Escaped(one)), one) << byte;
  }
  // UTF-8 decodes as ever; only a lone escaped unit turns back into a byte.
  EXPECT_EQ(BytesToUtf16Escaped("게임 \xF0\x9F\x82\xA1"), u"게임 \U0001F0A1");
  EXPECT_EQ(Utf16ToBytesEscaped(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(text), "/opt/\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD/setup");
}

TEST(SanitizeLogText, ControlsAndLoneSurrogatesBecomeReplacements) {
  EXPECT_EQ(SanitizeLogText(u"C:\\Games\r\nIt has been successfully installed.\x7F\t"),
            u"C:\\Games\uFFFD\uFFFDIt has been successfully installed.\uFFFD\uFFFD");
  EXPECT_EQ(SanitizeLogText(std::u16string(u"a\0b", 3)), u"a\uFFFDb");
  EXPECT_EQ(SanitizeLogText(u"/opt/\xDCB0\xDCD4 \U0001F0A1 日本語"), u"/opt/\uFFFD\uFFFD \U0001F0A1 日本語");
  EXPECT_EQ(SanitizeLogText(std::u16string(1, char16_t(0xD800)) + u"x"), u"\uFFFDx");
}

TEST(Cp949, DecodesKoreanAndReplacesInvalidBytes) {
  EXPECT_EQ(Cp949ToUtf16("U_PATH=\xC7\xD1\xB1\xB9\xBE\xEE"), u"U_PATH=한국어");
  const std::u16string bad = Cp949ToUtf16(
      "a\xFF"
      "b\xC7");
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

TEST(FixedField, TextEndsAtItsTerminatorOrAtTheFieldsEnd) {
  const char16_t terminated[6] = u"ab\0cd";
  EXPECT_EQ(FieldText(terminated), u"ab");
  // A field that lost its terminator is read to its last unit, never past it.
  const char16_t full[2][3] = {{u'x', u'y', u'z'}, {u'!', u'!', u'!'}};
  EXPECT_EQ(FieldText(full[0]), u"xyz");
  EXPECT_EQ(FieldText(std::span<const char16_t>()), u"");
}

TEST(FixedField, AValueIsStoredWholeWithItsTerminatorOrNotAtAll) {
  char16_t field[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_FALSE(StoreInField(field, u"four"));
  EXPECT_EQ(std::u16string_view(field, 4), u"####");  // nothing cut, nothing written
  EXPECT_TRUE(StoreInField(field, u"thr"));
  EXPECT_EQ(std::u16string_view(field, 4), std::u16string_view(u"thr\0", 4));
  EXPECT_TRUE(StoreInField(field, u""));
  EXPECT_EQ(field[0], u'\0');
  EXPECT_EQ(FieldText(field), u"");
  EXPECT_TRUE(FitsField(3, 4));
  EXPECT_FALSE(FitsField(4, 4));
}

}  // namespace
