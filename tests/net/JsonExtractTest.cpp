#include <gtest/gtest.h>

#include <string>

#include "net/JsonExtract.h"

namespace {

std::u16string Normalized(std::u16string text) {
  NormalizeJsonNulls(text.data());
  return text.substr(0, text.find(u'\0'));
}

TEST(NormalizeJsonNulls, ReplacesSpacedNullsOnly) {
  EXPECT_EQ(Normalized(u"{\"a\": null,\"b\": null}"), u"{\"a\": \"\",\"b\": \"\"}");
  EXPECT_EQ(Normalized(u"{\"a\":null}"), u"{\"a\":null}");
  EXPECT_EQ(Normalized(u"\": null"), u"\": \"\"");
  EXPECT_EQ(Normalized(u"x\": nul"), u"x\": nul");
  // The scan goes on after each replacement; it never re-reads what it wrote.
  EXPECT_EQ(Normalized(u"\"a\": null: null"), u"\"a\": \"\": null");
  EXPECT_EQ(Normalized(u""), u"");
  NormalizeJsonNulls(nullptr);
}

TEST(ExtractBetween, ClientIpMarkersLeaveTheCursorOnTheComma) {
  std::u16string answer = u"{\"client_ip\":\"10.1.2.3\",\"country\":\"CN\"}";
  char16_t* cursor = answer.data();
  const char16_t* ip = ExtractBetween(u"{\"client_ip\":\"", u"\"", cursor);
  ASSERT_NE(ip, nullptr);
  EXPECT_EQ(std::u16string(ip), u"10.1.2.3");
  EXPECT_EQ(std::u16string(cursor), u",\"country\":\"CN\"}");
  const char16_t* country = ExtractBetween(u",\"country\":\"", u"\"}", cursor);
  ASSERT_NE(country, nullptr);
  EXPECT_EQ(std::u16string(country), u"CN");
  EXPECT_EQ(*cursor, u'\0');
}

TEST(ExtractBetween, MissingMarkersGiveNothing) {
  std::u16string answer = u"{\"CountryId\": \"CN\",\"CityId\":1}";
  char16_t* cursor = answer.data();
  EXPECT_EQ(ExtractBetween(u"{\"CountryId\":\"", u"\",\"CityId", cursor), nullptr);  // blank after colon
  EXPECT_EQ(cursor, answer.data());
  EXPECT_EQ(ExtractBetween(u"{\"CountryId\": \"", u"\"}", cursor), nullptr);  // no end marker
  EXPECT_EQ(answer, u"{\"CountryId\": \"CN\",\"CityId\":1}");                 // nothing was cut
}

TEST(ExtractBetween, WithoutStartMarkerTheValueBeginsAtTheCursor) {
  std::u16string text = u"abc;def;";
  char16_t* cursor = text.data();
  EXPECT_EQ(std::u16string(ExtractBetween(nullptr, u";", cursor)), u"abc");
  EXPECT_EQ(std::u16string(ExtractBetween(u"", u";", cursor)), u"def");
  EXPECT_EQ(ExtractBetween(nullptr, u";", cursor), nullptr);
}

}  // namespace
