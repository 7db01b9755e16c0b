#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "net/GameSettings.h"
#include "net/Text.h"

namespace {

const std::vector<std::string> kKeys = {
    "U_PATH_ZKEN=", "U_PATH_ZKSC=", "U_PATH_ZKTC=",   "U_PATH_ZKRU=", "U_PATH_ZKJP=",
    "F_NAME_ZKEN=", "F_NAME_ZKSC=", "F_NAME_ZKTC=",   "F_NAME_ZKRU=", "F_NAME_ZKJP=",
    "F_NAME_Lst=",  "F_NAME_Game=", "F_NAME_Update=", "R_PATH_Root=", "R_PATH_Game="};

// Field i of the key table, all its units.
std::span<const char16_t> FieldUnits(const GameSettings& s, int i) {
  if (i < 5) return s.uPath[i];
  if (i < 10) return s.fName[i - 5];
  const std::span<const char16_t> rest[] = {s.fNameLst, s.fNameGame, s.fNameUpdate, s.rPathRoot, s.rPathGame};
  return rest[i - 10];
}

// Field i of the key table, as text.
std::u16string Field(const GameSettings& s, int i) { return std::u16string(FieldText(FieldUnits(s, i))); }

std::string Value(int i) { return "value" + std::to_string(i) + (i < 5 ? "/dl/" : ".exe"); }

std::vector<std::string> Lines() {
  std::vector<std::string> lines;
  for (int i = 0; i < 15; ++i) lines.push_back(kKeys[i] + Value(i));
  return lines;
}

std::string Join(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
  std::string text;
  for (const auto& l : lines) text += l + end;
  return text;
}

// A record whose every unit is a sentinel, to see which fields were written.
GameSettings Poisoned() {
  GameSettings s;
  std::fill_n(reinterpret_cast<char16_t*>(&s), sizeof s / 2, u'#');
  return s;
}

bool Untouched(const GameSettings& s, int i) {
  const std::span<const char16_t> field = FieldUnits(s, i);
  return std::all_of(field.begin(), field.end(), [](char16_t c) { return c == u'#'; });
}

TEST(ParseGameSettings, AllKeysInAnyOrderAmongOtherLines) {
  std::vector<std::string> lines = Lines();
  std::mt19937 shuffle(42);
  std::shuffle(lines.begin(), lines.end(), shuffle);
  lines.insert(lines.begin() + 3, "; a comment");
  lines.insert(lines.begin() + 7, "[Section]");
  lines.push_back("OTHER=1");
  GameSettings s = Poisoned();
  ASSERT_TRUE(ParseGameSettings(Join(lines), s));
  for (int i = 0; i < 15; ++i) EXPECT_EQ(Field(s, i), Utf8ToUtf16(Value(i))) << kKeys[i];
}

TEST(ParseGameSettings, FirstOccurrenceWinsEvenInsideAComment) {
  std::vector<std::string> lines = Lines();
  lines.insert(lines.begin(), "#U_PATH_ZKEN=http://commented/");
  lines.push_back("XF_NAME_Lst=inside-another-line");
  std::rotate(lines.begin() + 1, lines.end() - 1, lines.end());  // that line first among the keys
  GameSettings s = Poisoned();
  ASSERT_TRUE(ParseGameSettings(Join(lines), s));
  EXPECT_EQ(Field(s, 0), u"http://commented/");
  EXPECT_EQ(Field(s, 10), u"inside-another-line");
}

TEST(ParseGameSettings, KeysAreCaseSensitive) {
  std::vector<std::string> lines = Lines();
  lines[7] = "f_name_zktc=" + Value(7);
  GameSettings s = Poisoned();
  EXPECT_FALSE(ParseGameSettings(Join(lines), s));
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Field(s, i), Utf8ToUtf16(Value(i)));
  for (int i = 7; i < 15; ++i) EXPECT_TRUE(Untouched(s, i)) << i;
}

TEST(ParseGameSettings, ValuesAreTakenVerbatim) {
  std::vector<std::string> lines = Lines();
  lines[1] = "U_PATH_ZKSC= http://x/ ";
  lines[2] = "U_PATH_ZKTC=\t\"a=b\"";
  lines[12] = "F_NAME_Update=";
  GameSettings s = Poisoned();
  ASSERT_TRUE(ParseGameSettings(Join(lines), s));
  EXPECT_EQ(Field(s, 1), u" http://x/ ");
  EXPECT_EQ(Field(s, 2), u"\t\"a=b\"");
  EXPECT_EQ(Field(s, 12), u"");
}

TEST(ParseGameSettings, LastLineNeedsNoLineEnd) {
  std::string text = Join(Lines());
  text.resize(text.size() - 2);
  GameSettings s = Poisoned();
  ASSERT_TRUE(ParseGameSettings(text, s));
  EXPECT_EQ(Field(s, 14), Utf8ToUtf16(Value(14)));
}

TEST(ParseGameSettings, LfOnlyValuesRunToTheEndOfTheText) {
  std::vector<std::string> lines;
  for (const auto& key : kKeys) lines.push_back(key + "v");
  const std::string text = Join(lines, "\n");
  GameSettings s = Poisoned();
  // Values now hold the rest of the file; the first one still fits its
  // 256 units, the first file name does not fit 128 and ends the attempt.
  EXPECT_FALSE(ParseGameSettings(text, s));
  const std::string rest = text.substr(kKeys[0].size());
  ASSERT_LT(rest.size(), kUrlFieldUnits);
  EXPECT_EQ(Field(s, 0), Utf8ToUtf16(rest));
  EXPECT_EQ(Field(s, 4), Utf8ToUtf16(text.substr(text.find("U_PATH_ZKJP=") + 12)));
  ASSERT_GE(text.size() - text.find("F_NAME_ZKEN=") - 12, kNameFieldUnits);
  EXPECT_TRUE(Untouched(s, 5));
}

TEST(ParseGameSettings, Utf16FileAndByteOrderMark) {
  const std::string text = Join(Lines());
  std::string utf16;
  for (char c : text) utf16 += std::string{c, '\0'};
  GameSettings s = Poisoned();
  EXPECT_FALSE(ParseGameSettings(utf16, s));
  EXPECT_TRUE(Untouched(s, 0));

  // The mark's last byte pairs with the "U" of the first key under code page
  // 949, so a key on the first line is lost; a comment line first is harmless.
  EXPECT_FALSE(ParseGameSettings("\xEF\xBB\xBF" + text, s));
  EXPECT_TRUE(ParseGameSettings("\xEF\xBB\xBF; first line\r\n" + text, s));
}

TEST(ParseGameSettings, MissingLastKeyAfterFourteenFilled) {
  std::vector<std::string> lines = Lines();
  lines.pop_back();
  GameSettings s = Poisoned();
  EXPECT_FALSE(ParseGameSettings(Join(lines), s));
  for (int i = 0; i < 14; ++i) EXPECT_EQ(Field(s, i), Utf8ToUtf16(Value(i)));
  EXPECT_TRUE(Untouched(s, 14));
}

TEST(ParseGameSettings, ValueMustFitItsFieldWithTerminator) {
  for (auto [index, length, fits] : {std::tuple{0, kUrlFieldUnits - 1, true}, std::tuple{0, kUrlFieldUnits, false},
                                     std::tuple{5, kNameFieldUnits - 1, true}, std::tuple{5, kNameFieldUnits, false},
                                     std::tuple{14, kNameFieldUnits, false}}) {
    SCOPED_TRACE(std::to_string(index) + "/" + std::to_string(length));
    std::vector<std::string> lines = Lines();
    lines[index] = kKeys[index] + std::string(length, 'v');
    GameSettings s = Poisoned();
    EXPECT_EQ(ParseGameSettings(Join(lines), s), fits);
    if (fits) {
      EXPECT_EQ(Field(s, index), std::u16string(length, u'v'));
    } else {
      EXPECT_TRUE(Untouched(s, index));  // nothing cut, nothing written
    }
  }
}

TEST(ParseGameSettings, DecodesCodePage949AndSurvivesBadBytes) {
  std::vector<std::string> lines = Lines();
  lines[13] = "R_PATH_Root=SOFTWARE\\\xC7\xD1\xB1\xDB";  // Hangul "hangeul"
  lines.insert(lines.begin(), "\x80\xFF\xC7 broken bytes");
  GameSettings s = Poisoned();
  ASSERT_TRUE(ParseGameSettings(Join(lines), s));
  EXPECT_EQ(Field(s, 13), u"SOFTWARE\\\uD55C\uAE00");
}

// A pair that is no character takes nothing after it: the key right behind
// it is found there, so its first occurrence still wins.
TEST(ParseGameSettings, ABadPairNeverHidesTheKeyBehindIt) {
  std::vector<std::string> lines = Lines();
  lines.insert(lines.begin(), {"; \xA2\xE8U_PATH_ZKEN=http://good/", "U_PATH_ZKEN=http://evil/"});
  GameSettings s = Poisoned();
  ASSERT_TRUE(ParseGameSettings(Join(lines), s));
  EXPECT_EQ(Field(s, 0), u"http://good/");
}

TEST(ParseGameSettings, ZeroByteEndsTheText) {
  std::vector<std::string> lines = Lines();
  std::string text = Join(std::vector<std::string>(lines.begin(), lines.begin() + 10));
  text += std::string(1, '\0') + Join(std::vector<std::string>(lines.begin() + 10, lines.end()));
  GameSettings s = Poisoned();
  EXPECT_FALSE(ParseGameSettings(text, s));
  EXPECT_EQ(Field(s, 9), Utf8ToUtf16(Value(9)));
  EXPECT_TRUE(Untouched(s, 10));
}

TEST(ParseGameSettings, RejectsTextOverOneMebibyte) {
  std::string text = Join(Lines());
  GameSettings s = Poisoned();
  text.resize(kMaxGameConfigBytes, ';');
  EXPECT_TRUE(ParseGameSettings(text, s));
  text.push_back(';');
  EXPECT_FALSE(ParseGameSettings(text, s));
}

}  // namespace
