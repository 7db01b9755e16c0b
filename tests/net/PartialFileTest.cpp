// The partial file on real folders: nothing at the destination (nor, where
// the file system allows, anywhere) until the file is committed.
#include <gtest/gtest.h>

#include "net/PartialFile.h"
#include "net/Text.h"
#include "tests/support/PartialFileFolder.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

using PartialFileTest = PartialFileFolderTest;

TEST_F(PartialFileTest, AnUnnamedFileAppearsOnlyWhenCommitted) {
  PartialFile file;
  ASSERT_TRUE(file.Open(Destination16()));
  ASSERT_FALSE(file.HasName()) << "this file system has unnamed files";
  ASSERT_TRUE(file.Append("old bytes", 9));
  ASSERT_TRUE(file.Truncate());
  ASSERT_TRUE(file.Append("MZ", 2));
  ASSERT_TRUE(file.Append(" setup", 6));
  EXPECT_EQ(file.Size(), 8u);
  EXPECT_TRUE(Entries().empty()) << "nothing has a name while the file grows";
  ASSERT_TRUE(file.FreeSpace());
  EXPECT_GT(*file.FreeSpace(), 0u);
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadFileBytes(Destination()), "MZ setup");
  EXPECT_EQ(Entries(), std::vector<std::string>{"_Set_UpZK.exe"});
}

// A link planted at the setup's name, symbolic or hard, is replaced; the file
// it leads to keeps its bytes.
TEST_F(PartialFileTest, WhatStandsAtTheDestinationIsReplacedNeverWrittenThrough) {
  WriteFileBytes(dir_.Path() / "victim", "precious");
  for (bool hard : {false, true}) {
    for (auto naming : {PartialFile::Naming::kUnnamedWherePossible, PartialFile::Naming::kFixedName}) {
      fs::remove(Destination());
      if (hard) {
        fs::create_hard_link(dir_.Path() / "victim", Destination());
      } else {
        fs::create_symlink(dir_.Path() / "victim", Destination());
      }
      PartialFile file;
      ASSERT_TRUE(file.Open(Destination16(), naming));
      ASSERT_TRUE(file.Append("new", 3));
      ASSERT_TRUE(file.Commit());
      EXPECT_FALSE(fs::is_symlink(Destination()));
      EXPECT_EQ(ReadFileBytes(Destination()), "new");
      EXPECT_EQ(ReadFileBytes(dir_.Path() / "victim"), "precious") << (hard ? "hard link" : "symbolic link");
      EXPECT_EQ(fs::hard_link_count(dir_.Path() / "victim"), 1u);
    }
  }
  EXPECT_EQ(Entries(), (std::vector<std::string>{"_Set_UpZK.exe", "victim"}));
}

TEST_F(PartialFileTest, TheFixedNameIsMadeAfreshAndRemovedUnlessCommitted) {
  // A stale partial file of an earlier run, planted as a link of each kind.
  WriteFileBytes(dir_.Path() / "elsewhere", "keep");
  for (bool hard : {false, true}) {
    if (hard) {
      fs::create_hard_link(dir_.Path() / "elsewhere", dir_.Path() / "_Set_UpZK.exe.part");
    } else {
      fs::create_symlink(dir_.Path() / "elsewhere", dir_.Path() / "_Set_UpZK.exe.part");
    }
    PartialFile file;
    ASSERT_TRUE(file.Open(Destination16(), PartialFile::Naming::kFixedName));
    EXPECT_TRUE(file.HasName());
    ASSERT_TRUE(file.Append("half", 4));
    EXPECT_EQ(ReadFileBytes(dir_.Path() / "_Set_UpZK.exe.part"), "half");
  }
  EXPECT_EQ(ReadFileBytes(dir_.Path() / "elsewhere"), "keep");
  EXPECT_EQ(fs::hard_link_count(dir_.Path() / "elsewhere"), 1u);
  EXPECT_EQ(Entries(), std::vector<std::string>{"elsewhere"}) << "the abandoned file is gone";
}

TEST_F(PartialFileTest, AFolderThatCannotTakeAFileFailsAtOpen) {
  PartialFile file;
  EXPECT_FALSE(file.Open(Utf8ToUtf16((dir_.Path() / "missing" / "s.exe").string())));
  EXPECT_FALSE(file.Open(Utf8ToUtf16((dir_.Path() / "missing" / "s.exe").string()), PartialFile::Naming::kFixedName));
  EXPECT_FALSE(file.Append("x", 1));
  EXPECT_FALSE(file.Commit());
  EXPECT_TRUE(Entries().empty());
}

}  // namespace
