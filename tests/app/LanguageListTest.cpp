#include <gtest/gtest.h>

#include "SelectLanguage/LanguageList.h"
#include "resources/ProgramResources.h"

namespace {

std::vector<uint8_t> Utf16Resource(const std::u16string& text) {
  std::vector<uint8_t> bytes{0xFF, 0xFE};
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

TEST(LanguageList, TheProgramsListGivesFiveLanguagesInOrder) {
  const auto names = ParseLanguageList(FindProgramResource(u"TxtFile", kResourceLanguageList));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"English", u"简体中文", u"繁體中文", u"Россия", u"日本語"}));
}

TEST(LanguageList, OnlyTheExactKoreanLineIsLeftOut) {
  const auto names = ParseLanguageList(Utf16Resource(u"English\r\n 한국어 \r\n한국어\r\nRussian\r\n"));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"English", u" 한국어 ", u"Russian"}));
}

TEST(LanguageList, TextAfterTheLastLineEndIsNotAName) {
  EXPECT_EQ(ParseLanguageList(Utf16Resource(u"English\r\nJapanese")), std::vector<std::u16string>{u"English"});
  EXPECT_EQ(ParseLanguageList(Utf16Resource(u"English\nJapanese\n")), std::vector<std::u16string>{});
}

TEST(LanguageList, EmptyOddOrZeroCutResourcesAreSafe) {
  EXPECT_TRUE(ParseLanguageList({}).empty());
  EXPECT_TRUE(ParseLanguageList(std::vector<uint8_t>{0xFF}).empty());
  auto bytes = Utf16Resource(u"A\r\nB\r\n");
  bytes[8] = 0;  // a zero unit ends the text: "A\r\n" then nothing
  bytes[9] = 0;
  EXPECT_EQ(ParseLanguageList(bytes), std::vector<std::u16string>{u"A"});
  bytes.push_back(0x41);  // an odd trailing byte is ignored
  EXPECT_EQ(ParseLanguageList(bytes), std::vector<std::u16string>{u"A"});
}

TEST(Resources, StringsAndIconAreFoundByTypeAndId) {
  EXPECT_EQ(LoadProgramString(kResourceAboutString), u"ZK Zirod Installer 정보(&A)...");
  EXPECT_EQ(LoadProgramString(999), u"");
  const auto icon = FindProgramResource(u"ICON", kResourceIcon);
  ASSERT_GT(icon.size(), 8u);
  EXPECT_EQ(icon[1], 'P');  // a PNG image
  EXPECT_TRUE(FindProgramResource(u"TxtFile", 134).empty());
  EXPECT_TRUE(FindProgramResource(u"MTX", kResourceLanguageList).empty());
}

}  // namespace
