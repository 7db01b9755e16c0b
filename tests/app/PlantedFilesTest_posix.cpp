// Names that someone else prepared where the installer creates, appends to
// or reads a file: links, second names, FIFOs and sparse giants. A created
// file replaces what stands at its name, an append goes only to the file
// itself, and no open ever waits.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SelectLanguage/ProgressLog.h"
#include "net/Files.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// The two ways the installer creates a file: a whole file (the
// configuration's working file) and a log entry that starts the log.
struct Creator {
  const char* name;
  int (*create)(std::u16string_view path, const std::string& bytes);
};

void PrintTo(const Creator& c, std::ostream* os) { *os << c.name; }

const Creator kCreators[] = {
    {"WholeFile",
     [](std::u16string_view path, const std::string& b) { return WriteWholeFile(path, b.data(), b.size()); }},
    {"LogEntry", [](std::u16string_view path,
                    const std::string& b) { return WriteFileEntry(path, b.data(), b.size(), EntryMode::kTruncate); }},
};

class CreatedFileTest : public ::testing::TestWithParam<Creator> {
 protected:
  int Create(const std::string& bytes) { return GetParam().create(dir_.U16("name"), bytes); }
  fs::path Name() const { return dir_.Path() / "name"; }
  fs::path Victim() const { return dir_.Path() / "victim"; }
  void ExpectFreshFile(const std::string& bytes) {
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(Name())));  // reading anything else might wait
    EXPECT_EQ(fs::hard_link_count(Name()), 1u);
    EXPECT_EQ(ReadFileBytes(Name()), bytes);
  }
  TempDir dir_;
};

TEST_P(CreatedFileTest, ALinkAtTheNameIsReplacedNotWrittenThrough) {
  WriteFileBytes(Victim(), "precious");
  fs::create_symlink(Victim(), Name());
  ASSERT_EQ(Create("new"), 1);
  ExpectFreshFile("new");
  EXPECT_EQ(ReadFileBytes(Victim()), "precious");
}

TEST_P(CreatedFileTest, ADanglingLinkNeverCreatesItsTarget) {
  fs::create_symlink(dir_.Path() / "elsewhere", Name());
  ASSERT_EQ(Create("new"), 1);
  ExpectFreshFile("new");
  EXPECT_FALSE(fs::exists(dir_.Path() / "elsewhere"));
}

TEST_P(CreatedFileTest, ASecondNameOfAnotherFileKeepsItsBytes) {
  WriteFileBytes(Victim(), "precious");
  fs::create_hard_link(Victim(), Name());
  ASSERT_EQ(Create("new"), 1);
  ExpectFreshFile("new");
  EXPECT_EQ(ReadFileBytes(Victim()), "precious");
}

TEST_P(CreatedFileTest, AFifoAtTheNameIsReplacedWithoutWaiting) {
  PlantFifo(Name());
  int created = 0;
  EXPECT_TRUE(FinishesWithoutWaitingOn(Name(), [&] { created = Create("new"); }));
  EXPECT_EQ(created, 1);
  ExpectFreshFile("new");
}

INSTANTIATE_TEST_SUITE_P(Planted, CreatedFileTest, ::testing::ValuesIn(kCreators),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AppendedEntry, GoesOnlyToTheRegularFileAtTheName) {
  TempDir dir;
  const fs::path victim = dir.Path() / "victim";
  WriteFileBytes(victim, "precious");
  const auto append = [&](const char* name) {
    return WriteFileEntry(dir.U16(name), "+", 1, EntryMode::kAppendExisting);
  };

  fs::create_symlink(victim, dir.Path() / "link");
  EXPECT_EQ(append("link"), 0);
  fs::create_hard_link(victim, dir.Path() / "second");
  EXPECT_EQ(append("second"), 0);
  EXPECT_EQ(ReadFileBytes(victim), "precious");

  PlantFifo(dir.Path() / "fifo");
  int appended = 1;
  EXPECT_TRUE(FinishesWithoutWaitingOn(dir.Path() / "fifo", [&] { appended = append("fifo"); }));
  EXPECT_EQ(appended, 0);

  WriteFileBytes(dir.Path() / "log", "a");
  EXPECT_EQ(append("log"), 1);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "log"), "a+");
}

TEST(ProgressLog, ANewRunNeverWritesThroughALinkAtTheLogsName) {
  TempDir dir(true);
  WriteFileBytes(dir.Path() / "victim", "precious");
  fs::create_symlink(dir.Path() / "victim", dir.Path() / "ZK_Progress_Installer.log");
  ProgressLog::Instance().Write(u"The program has been executed.\r\n", true);
  ProgressLog::Instance().Write(u"Your CODE(1 - MAIN).", false);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "victim"), "precious");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.Path() / "ZK_Progress_Installer.log")));
  EXPECT_EQ(ReadFileBytes(dir.Path() / "ZK_Progress_Installer.log").size(), 2u * (2 + 32 + 2 + 20 + 2));
}

TEST(FileHandle, ReadingAFifoFailsWithoutWaiting) {
  TempDir dir;
  PlantFifo(dir.Path() / "fifo");
  int64_t size = 0;
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(FinishesWithoutWaitingOn(dir.Path() / "fifo", [&] { size = FileHandle().OpenForRead(dir.U16("fifo")); }));
  EXPECT_EQ(size, -1);
  EXPECT_TRUE(
      FinishesWithoutWaitingOn(dir.Path() / "fifo", [&] { size = ReadWholeFile(dir.U16("fifo"), bytes, 10, 100); }));
  EXPECT_EQ(size, -1);
}

TEST(ReadWholeFile, AFileOverItsLimitIsRefusedBeforeAnythingIsAllocated) {
  TempDir dir;
  PlantSparseFile(dir.Path() / "giant", 64ull << 30);
  ASSERT_EQ(fs::file_size(dir.Path() / "giant"), 64ull << 30);
  std::vector<uint8_t> bytes{1};
  EXPECT_EQ(ReadWholeFile(dir.U16("giant"), bytes, 10, 1 << 20), -1);
  EXPECT_TRUE(bytes.empty());
  WriteFileBytes(dir.Path() / "small", "abc");
  EXPECT_EQ(ReadWholeFile(dir.U16("small"), bytes, 0, 3), 3);
  EXPECT_EQ(ReadWholeFile(dir.U16("small"), bytes, 0, 2), -1);
}

}  // namespace
