// The list file's line rules and time rules, and RestoreFileTimes over a real
// registry store and real files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "SelectLanguage/ListFile.h"
#include "net/GameSettings.h"
#include "tests/support/FileTimes.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

// The sanitizers reserve address space by the terabyte, so a limit on it
// cannot be set under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZK_ADDRESS_SPACE_RESERVED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define ZK_ADDRESS_SPACE_RESERVED 1
#endif
#endif

namespace {

// Runs the list step of RestoreTest's settings in a fresh process that may
// grow its address space by `headroom` bytes at most; its wait status.
int RunProbeWithHeadroom(std::size_t headroom) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const std::string bytes = std::to_string(headroom);
    ::execl(ZK_RESTORE_PROBE, ZK_RESTORE_PROBE, bytes.c_str(), "SOFTWARE\\ZK", "SOFTWARE\\ZK\\Game", "files.lst",
            nullptr);
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

std::vector<std::u16string_view> Lines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  ForEachListLine(text, [&](std::u16string_view line) { lines.push_back(line); });
  return lines;
}

TEST(ListLine, ReadsTimeSizeAndName) {
  const auto entry = ParseListLine(u"1700000000 5 \\data\\cards.dat");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->time, 1700000000);
  EXPECT_EQ(entry->relativeName, u"data\\cards.dat");
  // Anything that is not a digit separates; the first "\" starts the name.
  EXPECT_TRUE(ParseListLine(u"t=1700000000,s=1;\\a"));
}

TEST(ListLine, BrokenRulesSkipTheLine) {
  EXPECT_FALSE(ParseListLine(u"1700000000 5 data"));           // no "\"
  EXPECT_FALSE(ParseListLine(u"1700000000 \\data"));           // only one number
  EXPECT_FALSE(ParseListLine(u"1700000000 5\\data"));          // no separator after the size
  EXPECT_FALSE(ParseListLine(u"1700000000 5 \\"));             // empty name
  EXPECT_FALSE(ParseListLine(u"0 5 \\data"));                  // time 0
  EXPECT_FALSE(ParseListLine(u"1700000000 0 \\data"));         // size 0
  EXPECT_FALSE(ParseListLine(u"99999999999999999999 1 \\a"));  // time beyond 64 bits
}

TEST(ListLine, NamesNeverLeaveTheListsFolder) {
  EXPECT_FALSE(ParseListLine(u"1700000000 1 \\..\\outside"));
  EXPECT_FALSE(ParseListLine(u"1700000000 1 \\data\\..\\..\\outside"));
  EXPECT_FALSE(ParseListLine(u"1700000000 1 \\\\etc\\passwd"));  // absolute after the first "\"
  EXPECT_FALSE(ParseListLine(u"1700000000 1 \\C:\\Windows"));
  EXPECT_FALSE(ParseListLine(u"1700000000 1 \\a/../../b"));
  EXPECT_TRUE(ParseListLine(u"1700000000 1 \\..data"));  // only a whole ".." part climbs
}

TEST(ListLine, OnlyCompleteLinesCount) {
  EXPECT_EQ(Lines(u"a\r\nb\r\nc"), (std::vector<std::u16string_view>{u"a", u"b"}));
  EXPECT_EQ(Lines(u"a\nb\n"), std::vector<std::u16string_view>{});
}

TEST(TimeRule, EarlierOrWholeMinutesLaterAreReset) {
  const int64_t t = 1700000000;
  EXPECT_TRUE(ShouldResetTime(t + 3600, t));  // one hour later
  EXPECT_TRUE(ShouldResetTime(t + 61, t));    // a minute and a second
  EXPECT_FALSE(ShouldResetTime(t + 30, t));   // 30 s later
  EXPECT_FALSE(ShouldResetTime(t + 62, t));
  EXPECT_TRUE(ShouldResetTime(t - 1000, t));  // earlier
  EXPECT_TRUE(ShouldResetTime(t - 59, t));
  EXPECT_FALSE(ShouldResetTime(t, t));                 // already right
  EXPECT_TRUE(ShouldResetTime(INT64_MIN, INT64_MAX));  // no overflow
}

class RestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("ZK_REGISTRY_ROOT", (dir_.Path() / "registry").c_str(), 1);
    const fs::path keys = dir_.Path() / "registry" / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "ZK";
    fs::create_directories(keys / "Game");
    WriteFileBytes(keys / "Path", (dir_.Path() / "games").string());
    WriteFileBytes(keys / "Game" / "localfolder", "Zirod");
    fs::create_directories(game_ / "data");
    std::memset(&settings_, 0, sizeof settings_);
    ASSERT_TRUE(StoreInField(settings_.rPathRoot, u"SOFTWARE\\ZK"));
    ASSERT_TRUE(StoreInField(settings_.rPathGame, u"SOFTWARE\\ZK\\Game"));
    ASSERT_TRUE(StoreInField(settings_.fNameLst, u"files.lst"));
  }
  void File(const std::string& name, int64_t time) {
    WriteFileBytes(game_ / name, "x");
    ASSERT_TRUE(SetModifiedTime(game_ / name, time));
  }
  TempDir dir_;
  fs::path game_ = dir_.Path() / "games" / "Zirod";
  GameSettings settings_;
};

TEST_F(RestoreTest, AppliesTheTimeRulesLineByLine) {
  const int64_t t = 1700000000;
  File("hour.dat", t + 3600);
  File("half.dat", t + 30);
  File("early.dat", t - 1000);
  File("data/카드.dat", t + 120);
  File("unlisted.dat", t + 3600);
  // Code page 949 text; a malformed line, a missing file and a traversal are skipped.
  WriteFileBytes(game_ / "files.lst",
                 "1700000000 1 \\hour.dat\r\n1700000000 1 \\half.dat\r\n"
                 "garbage\r\n1700000000 1 \\missing.dat\r\n1700000000 1 \\..\\outside.dat\r\n"
                 "1700000000 1 \\data\\\xC4\xAB\xB5\xE5.dat\r\n1700000000 1 \\early.dat");
  WriteFileBytes(dir_.Path() / "games" / "outside.dat", "x");
  const int64_t outsideBefore = ModifiedTime(dir_.Path() / "games" / "outside.dat");
  RestoreFileTimes(settings_);
  EXPECT_EQ(ModifiedTime(game_ / "hour.dat"), t);
  EXPECT_EQ(ModifiedTime(game_ / "half.dat"), t + 30);
  EXPECT_EQ(ModifiedTime(game_ / "early.dat"), t);
  EXPECT_EQ(ModifiedTime(game_ / "data" / "카드.dat"), t);
  EXPECT_EQ(ModifiedTime(game_ / "unlisted.dat"), t + 3600);
  EXPECT_EQ(ModifiedTime(dir_.Path() / "games" / "outside.dat"), outsideBefore);
}

// A pair that is no character right before a line end keeps the CR: the
// next line stays a line of its own, in the middle of the list and where
// the list is cut into slices for decoding. At the list's very end it is
// decoded like any other (the system's converter read past the text there).
TEST_F(RestoreTest, ABadPairBeforeALineEndNeitherMergesNorLosesALine) {
  const int64_t t = 1700000000;
  const std::string bad = "\xA2\xE8", replaced = "\xEF\xBF\xBD\xEF\xBF\xBD";  // two U+FFFD
  const std::string names[] = {"next.dat", "cut.dat" + replaced, "after.dat"};
  for (const std::string& name : names) File(name, t + 60);
  std::string list = "1700000000 1 \\first.dat" + bad + "\r\n1700000000 1 \\next.dat\r\n";
  const std::string cutLine = "1700000000 1 \\cut.dat" + bad + "\r\n";
  while (list.size() + cutLine.size() - 2 < 64 * 1024) list += "#\r\n";  // its line end is the slice's first
  WriteFileBytes(game_ / "files.lst", list + cutLine + "1700000000 1 \\after.dat\r\n#" + bad);
  RestoreFileTimes(settings_);
  for (const std::string& name : names) EXPECT_EQ(ModifiedTime(game_ / name), t) << name;
}

TEST_F(RestoreTest, ALargeListIsReadWhole) {
  const int64_t t = 1700000000;
  std::string list;
  while (list.size() < 300000) list += "1700000000 1 \\data\\padding-line-that-names-no-file.dat\r\n";
  list += "1700000000 1 \\last.dat\r\n";
  File("last.dat", t + 600);
  WriteFileBytes(game_ / "files.lst", list);
  RestoreFileTimes(settings_);
  EXPECT_EQ(ModifiedTime(game_ / "last.dat"), t);
}

TEST_F(RestoreTest, AZeroByteEndsTheListAndMissingPiecesEndQuietly) {
  const int64_t t = 1700000000;
  File("a.dat", t + 60);
  File("b.dat", t + 60);
  // The length is counted from the literal: the zero inside would cut a C string.
  static constexpr char kList[] =
      "1700000000 1 \\a.dat\r\n\0"
      "1700000000 1 \\b.dat\r\n";
  WriteFileBytes(game_ / "files.lst", std::string(kList, sizeof kList - 1));
  RestoreFileTimes(settings_);
  EXPECT_EQ(ModifiedTime(game_ / "a.dat"), t);
  EXPECT_EQ(ModifiedTime(game_ / "b.dat"), t + 60);

  fs::remove(game_ / "files.lst");
  RestoreFileTimes(settings_);  // no list: nothing happens
  fs::remove_all(dir_.Path() / "registry");
  RestoreFileTimes(settings_);  // no registry values: nothing happens
  EXPECT_EQ(ModifiedTime(game_ / "b.dat"), t + 60);
}

TEST_F(RestoreTest, AListThatIsAFifoOrAGiantIsTreatedAsMissing) {
  const int64_t t = 1700000000;
  File("a.dat", t + 60);
  PlantFifo(game_ / "files.lst");
  EXPECT_TRUE(FinishesWithoutWaitingOn(game_ / "files.lst", [&] { RestoreFileTimes(settings_); }));
  fs::remove(game_ / "files.lst");
  PlantSparseFile(game_ / "files.lst", 64ull << 30);
  RestoreFileTimes(settings_);
  EXPECT_EQ(ModifiedTime(game_ / "a.dat"), t + 60);
}

// A 48 MiB list is read once and decoded a slice at a time: it fits in
// 96 MiB more address space (whole-text copies would take over 200). With
// too little memory even for the list, the step ends quietly instead of
// ending the program.
TEST_F(RestoreTest, ALargeListTakesOneCopyAndRunningOutOfMemoryEndsOnlyTheStep) {
#ifdef ZK_ADDRESS_SPACE_RESERVED
  GTEST_SKIP() << "the sanitizer's reserved address space leaves no room for a limit";
#endif
  const int64_t t = 1700000000;
  File("a.dat", t + 3600);
  std::string list;
  const std::string filler = "# " + std::string(96, '-') + "\r\n";
  list.reserve((48 << 20) + 64);
  while (list.size() < (48u << 20)) list += filler;
  list += "1700000000 1 \\a.dat";
  WriteFileBytes(game_ / "files.lst", list);
  list = std::string();

  const int tight = RunProbeWithHeadroom(16u << 20);
  EXPECT_TRUE(WIFEXITED(tight) && WEXITSTATUS(tight) == 0) << "wait status " << tight;
  EXPECT_EQ(ModifiedTime(game_ / "a.dat"), t + 3600);

  const int enough = RunProbeWithHeadroom(96u << 20);
  EXPECT_TRUE(WIFEXITED(enough) && WEXITSTATUS(enough) == 0) << "wait status " << enough;
  EXPECT_EQ(ModifiedTime(game_ / "a.dat"), t);
}

TEST_F(RestoreTest, LinksInsideTheFolderNeverLeadOut) {
  const int64_t t = 1700000000;
  const fs::path outside = dir_.Path() / "outside";
  fs::create_directories(outside);
  WriteFileBytes(outside / "victim.dat", "x");
  WriteFileBytes(outside / "deep.dat", "x");
  ASSERT_TRUE(SetModifiedTime(outside / "victim.dat", t + 3600));
  ASSERT_TRUE(SetModifiedTime(outside / "deep.dat", t + 3600));
  fs::create_symlink(outside / "victim.dat", game_ / "link.dat");  // a file link
  fs::create_symlink(outside, game_ / "linked");                   // a folder link
  fs::create_symlink(game_ / "data", game_ / "alias");             // one back inside is not passed either
  File("data/real.dat", t + 3600);
  File("data/aliased.dat", t + 3600);
  WriteFileBytes(game_ / "files.lst",
                 "1700000000 1 \\link.dat\r\n1700000000 1 \\linked\\deep.dat\r\n1700000000 1 \\data\\real.dat\r\n"
                 "1700000000 1 \\alias\\aliased.dat");
  RestoreFileTimes(settings_);
  EXPECT_EQ(ModifiedTime(outside / "victim.dat"), t + 3600);
  EXPECT_EQ(ModifiedTime(outside / "deep.dat"), t + 3600);
  EXPECT_EQ(ModifiedTime(game_ / "data" / "real.dat"), t);
  EXPECT_EQ(ModifiedTime(game_ / "data" / "aliased.dat"), t + 3600);
  struct stat st {};
  ASSERT_EQ(::lstat((game_ / "link.dat").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

}  // namespace
