// Names from the configuration that say where in the game's folder a file
// lies: a subfolder is fine, a way out is not.
#include <gtest/gtest.h>

#include "SelectLanguage/GameFolder.h"
#include "net/Files.h"

namespace {

std::u16string Platform(std::u16string text) {
  for (char16_t& c : text) {
    if (c == u'|') c = kPathSeparator;
  }
  return text;
}

TEST(RelativePathInside, KeepsSubfoldersInThePlatformsForm) {
  EXPECT_EQ(RelativePathInside(u"ZKUpdate.exe"), u"ZKUpdate.exe");
  EXPECT_EQ(RelativePathInside(u"bin\\ZKUpdate.exe"), Platform(u"bin|ZKUpdate.exe"));
  EXPECT_EQ(RelativePathInside(u"bin/x64\\ZKUpdate.exe"), Platform(u"bin|x64|ZKUpdate.exe"));
  EXPECT_EQ(RelativePathInside(u"..data"), u"..data");  // only a whole ".." part climbs
}

TEST(RelativePathInside, RefusesEveryWayOut) {
  for (const char16_t* name :
       {u"", u"../x", u"..\\x", u"bin\\..\\..\\x", u"/etc/passwd", u"\\Windows\\x", u"\\\\server\\share\\x", u"C:\\x",
        u"C:x", u"x:stream", u"a\\\\b", u"a\\.\\b", u"a\\", u".."}) {
    EXPECT_FALSE(RelativePathInside(name).has_value())
        << std::string(name, name + std::char_traits<char16_t>::length(name));
  }
  EXPECT_FALSE(RelativePathInside(std::u16string(u"a\0b", 3)).has_value());
}

}  // namespace
