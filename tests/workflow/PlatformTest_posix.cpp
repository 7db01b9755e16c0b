// The POSIX registry store, program starts and descriptor transfers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "SelectLanguage/Registry.h"
#include "net/Files.h"
#include "net/Processes.h"
#include "net/Text.h"
#include "platform/posix/PosixFd.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TempDir.h"
#include "tests/workflow/ChildProcesses.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("ZK_REGISTRY_ROOT", dir_.Path().c_str(), 1); }
  void Value(const std::string& key, const std::string& bytes) {
    const fs::path path = dir_.Path() / "HKEY_LOCAL_MACHINE" / key;
    fs::create_directories(path.parent_path());
    WriteFileBytes(path, bytes);
  }
  bool Read(std::u16string_view key, std::u16string_view name, std::u16string& value) {
    return ReadRegistryValue(key, name, value, 1024, RegistryRoot::kLocalMachine);
  }
  TempDir dir_;
};

TEST_F(RegistryTest, ValuesAreUtf8FilesUnderTheirKeys) {
  Value("SOFTWARE/ZK/Path", "/opt/게임");
  std::u16string value;
  ASSERT_TRUE(Read(u"SOFTWARE\\ZK", u"Path", value));
  EXPECT_EQ(value, u"/opt/게임");
  EXPECT_FALSE(Read(u"SOFTWARE\\ZK", u"localfolder", value));
  EXPECT_FALSE(Read(u"SOFTWARE\\Other", u"Path", value));
  EXPECT_EQ(value, u"/opt/게임");  // a failed read leaves the buffer alone
  Value("SOFTWARE/ZK/Empty", "");
  ASSERT_TRUE(Read(u"SOFTWARE\\ZK", u"Empty", value));
  EXPECT_EQ(value, u"");
}

TEST_F(RegistryTest, ValuesMustFitTheirBufferWithTheTerminator) {
  Value("K/fits", std::string(511, 'a'));
  Value("K/long", std::string(512, 'a'));
  std::u16string value;
  EXPECT_TRUE(Read(u"K", u"fits", value));
  EXPECT_EQ(value.size(), 511u);
  EXPECT_FALSE(Read(u"K", u"long", value));
}

// 511 units of three UTF-8 bytes each are the longest value that fits; a
// value file is never read past that, whatever it claims, and never waited on.
TEST_F(RegistryTest, AValueFileIsReadWithinItsLimitAndNeverWaitedOn) {
  std::string longest;
  for (int i = 0; i < 511; ++i) longest += "한";
  Value("K/longest", longest);
  Value("K/over", longest + "a");
  std::u16string value;
  EXPECT_TRUE(Read(u"K", u"longest", value));
  EXPECT_EQ(value.size(), 511u);
  EXPECT_FALSE(Read(u"K", u"over", value));

  PlantSparseFile(dir_.Path() / "HKEY_LOCAL_MACHINE" / "K" / "giant", 64ull << 30);
  EXPECT_FALSE(Read(u"K", u"giant", value));
  PlantFifo(dir_.Path() / "HKEY_LOCAL_MACHINE" / "K" / "fifo");
  bool read = true;
  EXPECT_TRUE(FinishesWithoutWaitingOn(dir_.Path() / "HKEY_LOCAL_MACHINE" / "K" / "fifo",
                                       [&] { read = Read(u"K", u"fifo", value); }));
  EXPECT_FALSE(read);
  EXPECT_EQ(value.size(), 511u);  // failed reads left it alone
}

TEST_F(RegistryTest, KeysCannotLeaveTheStore) {
  WriteFileBytes(dir_.Path() / "secret", "x");
  std::u16string value;
  EXPECT_FALSE(Read(u"..", u"secret", value));
  EXPECT_FALSE(Read(u"A\\..\\..", u"secret", value));
  EXPECT_FALSE(Read(u"", u"Path", value));
  EXPECT_FALSE(Read(u"A/../..", u"secret", value));
}

// Nobody waits for a started program (the game outlives the installer), so
// the installer reaps it itself: it never stays a zombie. A running
// program's file can be deleted on POSIX; whether a setup still needs its
// file is SetupProgram's question.
TEST(Processes, AStartedProgramIsReapedWhenItEnds) {
  TempDir dir;
  const fs::path program = dir.Path() / "game.sh";
  WriteFileBytes(program, "#!/bin/sh\necho $$ > \"$0.pid\"\nsleep 0.3\n");
  ASSERT_TRUE(MakeExecutable(Utf8ToUtf16(program.string())));
  ASSERT_TRUE(StartProgram(Utf8ToUtf16(program.string())));
  // Once the shell has written this, it has opened its script.
  const auto written = [&] {
    std::error_code missing;
    return fs::exists(program.string() + ".pid") && fs::file_size(program.string() + ".pid", missing) > 1;
  };
  ASSERT_TRUE(WaitUntil(written, 5s));
  EXPECT_TRUE(DeleteFilePath(Utf8ToUtf16(program.string())));
  pid_t pid = 0;
  std::ifstream(program.string() + ".pid") >> pid;
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsRunning(pid); }, 5s));
  EXPECT_TRUE(WaitUntil([] { return ZombieChildren().empty(); }, 5s)) << "the program was left a zombie";
}

TEST(Processes, NothingIsStartedFromAMissingOrNonProgramFile) {
  TempDir dir;
  EXPECT_FALSE(StartProgram(dir.U16("missing")));
  WriteFileBytes(dir.Path() / "text", "not a program\n");
  ASSERT_TRUE(MakeExecutable(dir.U16("text")));
  EXPECT_FALSE(StartProgram(dir.U16("text")));
  EXPECT_TRUE(DeleteFilePath(dir.U16("text")));
  EXPECT_FALSE(StartProgram(u""));
}

TEST(Processes, ThePathIsOneArgumentAndTheEnvironmentIsKept) {
  TempDir dir;
  const fs::path program = dir.Path() / "echo args; touch pwned";
  WriteFileBytes(program, "#!/bin/sh\nprintf '%s|%s|%s' \"$#\" \"$0\" \"$ZK_PROBE\" > \"$(dirname \"$0\")/out\"\n");
  ::setenv("ZK_PROBE", "kept", 1);
  ASSERT_TRUE(MakeExecutable(Utf8ToUtf16(program.string())));
  ASSERT_TRUE(StartProgram(Utf8ToUtf16(program.string())));
  for (int i = 0; i < 50 && !fs::exists(dir.Path() / "out"); ++i) std::this_thread::sleep_for(50ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "out"), "0|" + program.string() + "|kept");
  EXPECT_FALSE(fs::exists(dir.Path() / "pwned"));
}

// A program runs while a process runs its very file, under whatever name: a
// running copy of the same bytes elsewhere is another file.
TEST(Processes, AProgramRunsWhileAProcessRunsItsVeryFile) {
  TempDir dir;
  const fs::path game = dir.Path() / "game";
  const fs::path moved = dir.Path() / "moved";
  fs::copy_file("/bin/sleep", game);
  fs::copy_file("/bin/sleep", dir.Path() / "twin");
  EXPECT_FALSE(ProgramRuns(Utf8ToUtf16(game.string())));
  pid_t pid = 0;
  char* argv[] = {const_cast<char*>("game"), const_cast<char*>("30"), nullptr};
  ASSERT_EQ(::posix_spawn(&pid, game.c_str(), nullptr, nullptr, argv, environ), 0);
  EXPECT_TRUE(WaitUntil([&] { return ProgramRuns(Utf8ToUtf16(game.string())); }, 5s));
  EXPECT_FALSE(ProgramRuns(dir.U16("twin")));
  fs::rename(game, moved);
  EXPECT_TRUE(ProgramRuns(Utf8ToUtf16(moved.string())));
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  EXPECT_FALSE(ProgramRuns(Utf8ToUtf16(moved.string())));
  EXPECT_FALSE(ProgramRuns(dir.U16("missing")));
  EXPECT_FALSE(ProgramRuns(u""));
}

// A pipe whose blocked reads and writes a signal interrupts: the handler is
// installed without SA_RESTART, so the interrupted call fails with EINTR or
// returns what it moved so far.
class InterruptedTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    struct sigaction action {};
    action.sa_handler = [](int) { ++signals; };
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous_), 0);
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    readEnd_ = UniqueFd(ends[0]);
    writeEnd_ = UniqueFd(ends[1]);
  }
  void TearDown() override { ::sigaction(SIGUSR1, &previous_, nullptr); }

  // Signals the thread a few times, each after it had time to block again.
  static void Interrupt(std::thread& thread, int times) {
    for (int i = 0; i < times; ++i) {
      std::this_thread::sleep_for(20ms);
      ASSERT_EQ(::pthread_kill(thread.native_handle(), SIGUSR1), 0);
    }
  }

  static inline std::atomic<int> signals{0};
  struct sigaction previous_ {};
  UniqueFd readEnd_;
  UniqueFd writeEnd_;
};

TEST_F(InterruptedTransfer, AReadGoesOnAfterSignalsAndShortReadsUntilEveryByteIsIn) {
  char buffer[6] = {};
  bool whole = false;
  std::thread reader([&] { whole = ReadAll(readEnd_.Get(), buffer, sizeof buffer); });
  const int before = signals;
  Interrupt(reader, 2);
  ASSERT_TRUE(WriteAll(writeEnd_.Get(), "abc", 3));
  Interrupt(reader, 2);
  ASSERT_TRUE(WriteAll(writeEnd_.Get(), "def", 3));
  reader.join();
  EXPECT_GE(signals - before, 4);
  EXPECT_TRUE(whole);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "abcdef");
}

TEST_F(InterruptedTransfer, AWriteLargerThanThePipeGoesOnAfterSignals) {
  std::string sent(1 << 20, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7 + i / 4096);
  bool whole = false;
  std::thread writer([&] {
    whole = WriteAll(writeEnd_.Get(), sent.data(), sent.size());
    writeEnd_.Reset();  // a writer that gave up ends the read too
  });
  Interrupt(writer, 3);  // the pipe is full: the writer is blocked
  std::string received(sent.size(), '\0');
  const bool readWhole = ReadAll(readEnd_.Get(), received.data(), received.size());
  writer.join();
  EXPECT_TRUE(whole);
  EXPECT_TRUE(readWhole);
  EXPECT_TRUE(received == sent);
}

TEST_F(InterruptedTransfer, AReadFailsWhenTheOtherEndClosesFirst) {
  ASSERT_TRUE(WriteAll(writeEnd_.Get(), "abc", 3));
  writeEnd_.Reset();
  char buffer[6] = {};
  EXPECT_FALSE(ReadAll(readEnd_.Get(), buffer, sizeof buffer));
  EXPECT_EQ(std::string(buffer, 3), "abc");
}

}  // namespace
