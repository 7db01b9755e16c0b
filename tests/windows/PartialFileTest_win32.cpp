// The partial file on Windows: a fixed name beside the destination, made
// afresh, gone whenever the program lets go of it without committing (a
// close, an end, a kill), and put in place only by Commit.
#include <gtest/gtest.h>

#include "platform/win32/WinHandles.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "net/PartialFile.h"
#include "net/Text.h"
#include "tests/support/PartialFileFolder.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class PartialFileWin32Test : public PartialFileFolderTest {
 protected:
  fs::path Partial() const { return dir_.Path() / "_Set_UpZK.exe.part"; }
};

TEST_F(PartialFileWin32Test, TheFixedNameIsMadeAfreshAndCommittedIntoPlace) {
  WriteFileBytes(Partial(), "a stale partial file of an earlier run");
  WriteFileBytes(Destination(), "an older setup program");
  PartialFile file;
  ASSERT_TRUE(file.Open(Destination16()));
  EXPECT_TRUE(file.HasName());
  EXPECT_EQ(fs::file_size(Partial()), 0u) << "made afresh";
  ASSERT_TRUE(file.Append("old bytes", 9));
  ASSERT_TRUE(file.Truncate());
  ASSERT_TRUE(file.Append("MZ", 2));
  ASSERT_TRUE(file.Append(" setup", 6));
  EXPECT_EQ(file.Size(), 8u);
  EXPECT_EQ(ReadFileBytes(Destination()), "an older setup program") << "untouched until the commit";
  ASSERT_TRUE(file.FreeSpace());
  EXPECT_GT(*file.FreeSpace(), 0u);
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadFileBytes(Destination()), "MZ setup");
  EXPECT_EQ(Entries(), std::vector<std::string>{"_Set_UpZK.exe"});
}

TEST_F(PartialFileWin32Test, AFileLetGoWithoutACommitIsRemoved) {
  WriteFileBytes(Destination(), "an older setup program");
  {
    PartialFile file;
    ASSERT_TRUE(file.Open(Destination16(), PartialFile::Naming::kFixedName));
    ASSERT_TRUE(file.Append("half", 4));
    EXPECT_TRUE(fs::exists(Partial()));
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{"_Set_UpZK.exe"});
  EXPECT_EQ(ReadFileBytes(Destination()), "an older setup program");
}

// The system removes the file when the killed program's handles close.
TEST_F(PartialFileWin32Test, AKilledProgramLeavesNoPartialFile) {
  std::wstring command = L"\"" ZK_PARTIAL_CHILD L"\" \"" + Destination().wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(
      ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
  const fs::path ready = dir_.Path() / "_Set_UpZK.exe.ready";
  for (int i = 0; i < 200 && !fs::exists(ready); ++i) std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(fs::exists(ready)) << "the child did not open its partial file";
  EXPECT_TRUE(fs::exists(Partial()));
  ::TerminateProcess(child.hProcess, 9);
  EXPECT_EQ(::WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
  ::CloseHandle(child.hThread);
  ::CloseHandle(child.hProcess);
  for (int i = 0; i < 40 && fs::exists(Partial()); ++i) std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(fs::exists(Partial())) << "a kill left the partial file behind";
  EXPECT_FALSE(fs::exists(Destination()));
}

TEST_F(PartialFileWin32Test, AFolderThatCannotTakeAFileFailsAtOpen) {
  PartialFile file;
  EXPECT_FALSE(file.Open(Utf8ToUtf16((dir_.Path() / "missing" / "s.exe").string())));
  EXPECT_FALSE(file.Open(Utf8ToUtf16(dir_.Path().string() + "\\")));
  EXPECT_FALSE(file.Append("x", 1));
  EXPECT_FALSE(file.Commit());
  EXPECT_TRUE(Entries().empty());
}

}  // namespace
