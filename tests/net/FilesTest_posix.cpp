#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include "net/Files.h"
#include "net/Text.h"
#include "tests/support/TempDir.h"

namespace {

TEST(ReadWholeFile, EmptyOrMissingFilesFailWithoutAllocating) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "empty", "");
  std::vector<uint8_t> buffer{1, 2, 3};
  EXPECT_EQ(ReadWholeFile(dir.U16("empty"), buffer, 10, 100), -1);
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(ReadWholeFile(dir.U16("missing"), buffer, 10, 100), -1);
  EXPECT_TRUE(buffer.empty());
}

TEST(ReadWholeFile, ExtraBytesBehindTheDataAreZero) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "four", "abcd");
  std::vector<uint8_t> buffer;
  ASSERT_EQ(ReadWholeFile(dir.U16("four"), buffer, 10, 4), 4);
  ASSERT_EQ(buffer.size(), 14u);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 4), "abcd");
  for (std::size_t i = 4; i < 14; ++i) EXPECT_EQ(buffer[i], 0) << i;
}

TEST(ReadWholeFile, CallerBufferIsFilledOrRefusedWhenTooSmall) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "four", "abcd");
  std::vector<uint8_t> memory(14, 0xEE);
  EXPECT_EQ(ReadWholeFile(dir.U16("four"), std::span<uint8_t>(memory), 10), 4);
  EXPECT_EQ(memory, std::vector<uint8_t>({'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  std::vector<uint8_t> small(13, 0xEE);
  EXPECT_EQ(ReadWholeFile(dir.U16("four"), std::span<uint8_t>(small), 10), -1);
  EXPECT_EQ(small, std::vector<uint8_t>(13, 0xEE));
}

TEST(FileHandle, AFileHeldElsewhereCannotBeOpened) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "held", "data");
  FileHandle holder;
  ASSERT_EQ(holder.OpenForRead(dir.U16("held")), 4);
  FileHandle other;
  EXPECT_EQ(other.OpenForRead(dir.U16("held")), -1);
  EXPECT_EQ(other.OpenForWrite(dir.U16("held")), 0);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "held"), "data");  // not truncated by the refused open
  holder.Close();
  EXPECT_EQ(other.OpenForRead(dir.U16("held")), 4);
}

TEST(FileHandle, ReadExactNeedsEveryByte) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "three", "xyz");
  FileHandle file;
  ASSERT_EQ(file.OpenForRead(dir.U16("three")), 3);
  char buffer[8];
  EXPECT_EQ(file.ReadExact(buffer, 4), 0);
}

TEST(WriteWholeFile, ReplacesContentsAndFailsInAMissingFolder) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "f", "a much longer old content");
  EXPECT_EQ(WriteWholeFile(dir.U16("f"), "new", 3), 1);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "f"), "new");
  EXPECT_EQ(WriteWholeFile(dir.U16("no/such/f"), "new", 3), 0);
}

TEST(Paths, DirectoryPartCutsAtTheLastSeparator) {
  std::u16string out;
  EXPECT_EQ(GetDirectoryPart(out, u"/Games/x/inst.exe"), 16);
  EXPECT_EQ(out, u"/Games/x");
  EXPECT_EQ(GetDirectoryPart(out, u"inst.exe"), -1);
  EXPECT_EQ(GetDirectoryPart(out, u"/inst.exe"), -1);
  EXPECT_EQ(GetDirectoryPart(out, std::u16string(1024, u'a') + u"/b"), -1);  // longer than supported
}

TEST(Paths, OnlyARootedPathIsAbsolute) {
  EXPECT_TRUE(IsAbsolutePath(u"/opt/games"));
  EXPECT_FALSE(IsAbsolutePath(u"games"));
  EXPECT_FALSE(IsAbsolutePath(u"./games"));
  EXPECT_FALSE(IsAbsolutePath(u""));
}

TEST(Paths, ModuleAndCurrentDirectory) {
  std::u16string module;
  const int bytes = GetModulePath(module);
  ASSERT_GT(bytes, 0);
  EXPECT_EQ(bytes, static_cast<int>(2 * module.size()));
  std::u16string folder;
  ASSERT_GT(GetModuleDirectory(folder), 0);
  EXPECT_EQ(module.substr(0, folder.size() + 1), folder + u"/");
  EXPECT_EQ(GetApplicationName(), u"zk_net_unit_tests");  // this test program's name

  TempDir dir(true);
  std::u16string current;
  const int units = GetCurrentDir(current);
  EXPECT_EQ(units, static_cast<int>(current.size()));
  EXPECT_EQ(std::filesystem::path(Utf16ToUtf8(current)), std::filesystem::canonical(dir.Path()));
}

TEST(FileTimes, OnlyTheModificationTimeChanges) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "t", "x");
  struct stat before {};
  ::stat((dir.Path() / "t").c_str(), &before);
  SetFileModifiedTime(dir.U16("t"), 4102444800);  // 2100-01-01, past 32 bits signed
  EXPECT_EQ(GetFileModifiedTime(dir.U16("t")), 4102444800);
  struct stat after {};
  ::stat((dir.Path() / "t").c_str(), &after);
  EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec);
  EXPECT_FALSE(GetFileModifiedTime(dir.U16("missing")).has_value());
  SetFileModifiedTime(dir.U16("missing"), 1);  // silent
}

}  // namespace
