#include <gtest/gtest.h>
#include <sys/stat.h>

#include "SelectLanguage/ProgressLog.h"
#include "tests/support/TempDir.h"

namespace {

std::string Entry(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text + u"\r\n") {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

const char* kLog = "ZK_Progress_Installer.log";

TEST(ProgressLog, EveryEntryCarriesItsOwnMarkTextAndLineEnd) {
  TempDir dir(true);
  ProgressLog::Instance().Write(u"The program has been executed.\r\n", true);
  ProgressLog::Instance().Write(u"Your CODE(1 - MAIN).", false);
  ProgressLog::Instance().Write(u"日本語", false);
  const std::string bytes = ReadFileBytes(dir.Path() / kLog);
  EXPECT_EQ(bytes, Entry(u"The program has been executed.\r\n") + Entry(u"Your CODE(1 - MAIN).") + Entry(u"日本語"));
  // The first entry is followed by an empty line, then the next mark.
  const std::string head = Entry(u"The program has been executed.");
  EXPECT_EQ(bytes.substr(head.size() - 4, 10), std::string("\r\0\n\0\r\0\n\0\xFF\xFE", 10));
}

TEST(ProgressLog, TruncateEmptiesAnOlderRunAndAppendNeverCreates) {
  TempDir dir(true);
  ProgressLog::Instance().Write(u"appended to nothing", false);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / kLog));

  WriteFileBytes(dir.Path() / kLog, std::string(5000, 'x'));
  ProgressLog::Instance().Write(u"second run", true);
  EXPECT_EQ(ReadFileBytes(dir.Path() / kLog), Entry(u"second run"));
}

TEST(ProgressLog, AValueFromOutsideCannotBreakOrForgeALine) {
  const std::u16string value = u"/games/ZKGame\r\n\uFEFFIt has been successfully installed.";
  EXPECT_EQ(FormatLogEntry(u"The game could not be started (%s).", {std::u16string_view(value)}),
            u"The game could not be started (/games/ZKGame\uFFFD\uFFFD\uFEFFIt has been successfully installed.).");
  EXPECT_EQ(FormatLogEntry(u"\r\nx %d %s", {7LL, std::u16string_view(u"\n")}), u"\r\nx 7 \uFFFD");
}

TEST(ProgressLog, AnUnwritableFolderDropsEntriesSilently) {
  TempDir dir(true);
  if (::geteuid() == 0) {
    // Root writes anywhere; a folder name in the way stands in for a read-only folder.
    std::filesystem::create_directory(dir.Path() / kLog);
  } else {
    ::chmod(dir.Path().c_str(), 0500);
  }
  ProgressLog::Instance().Write(u"lost", true);
  ProgressLog::Instance().Write(u"lost too", false);
  EXPECT_FALSE(std::filesystem::is_regular_file(dir.Path() / kLog));
}

}  // namespace
