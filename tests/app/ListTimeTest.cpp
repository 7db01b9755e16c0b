// The range of list times, the same on every platform: a time far past any
// real file's (Windows ticks overflow past 910,692,730,085 s, Linux file
// systems clamp) skips its line instead of dating a file wrongly.
#include <gtest/gtest.h>

#include "SelectLanguage/ListFile.h"

namespace {

std::optional<int64_t> TimeOf(std::u16string_view line) {
  const auto entry = ParseListLine(line);
  return entry ? std::optional<int64_t>(entry->time) : std::nullopt;
}

TEST(ListTime, OneSecondToTheYear3000IsRead) {
  EXPECT_EQ(TimeOf(u"1 1 \\a.dat"), 1);
  EXPECT_EQ(TimeOf(u"32503680000 1 \\a.dat"), 32503680000);  // 3000-01-01 00:00:00 UTC
  EXPECT_EQ(kLatestListTime, 32503680000);
}

TEST(ListTime, TimesBeyondTheYear3000SkipTheLine) {
  EXPECT_EQ(TimeOf(u"32503680001 1 \\a.dat"), std::nullopt);
  EXPECT_EQ(TimeOf(u"910692730086 1 \\a.dat"), std::nullopt);  // the first the Windows ticks cannot hold
  EXPECT_EQ(TimeOf(u"9223372036854775807 1 \\a.dat"), std::nullopt);
  EXPECT_EQ(TimeOf(u"0 1 \\a.dat"), std::nullopt);
}

}  // namespace
