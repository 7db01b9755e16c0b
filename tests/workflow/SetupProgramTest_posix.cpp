// The setup program's seam on POSIX, with shell scripts as setup programs:
// the shell reads its script from the file while it runs, so a script that
// still runs holds its file open, under whatever name it now has.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>

#include "SelectLanguage/SetupProgram.h"
#include "net/Text.h"
#include "tests/support/TempDir.h"
#include "tests/workflow/ChildProcesses.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using Use = SetupProgram::FileUse;

class SetupProgramTest : public ::testing::Test {
 protected:
  // A setup program made of a shell script; "$0" is its path.
  fs::path Script(const std::string& name, const std::string& body) {
    const fs::path file = dir_.Path() / name;
    WriteFileBytes(file, "#!/bin/sh\n" + body);
    ::chmod(file.c_str(), 0755);
    return file;
  }
  static std::unique_ptr<SetupProgram> Start(const fs::path& file, std::function<void()> onEnded = {}) {
    return SetupProgram::Start(Utf8ToUtf16(file.string()), std::move(onEnded));
  }
  // Asks as the installer's ticks do, until the setup has ended and its file is free.
  static bool WaitForEnd(SetupProgram& setup) {
    return WaitUntil([&] { return setup.ExitCode().has_value() && setup.FileInUse() == Use::kFree; }, 15s);
  }
  // What a look begun now finds, once it has finished: each finished look
  // wakes. Asked after the process's end has woken, with no answer unread.
  static bool LookNow(SetupProgram& setup, const std::atomic<int>& wakes) {
    const int before = wakes.load();
    EXPECT_EQ(setup.FileInUse(), Use::kLooking) << "an answer was waiting";
    EXPECT_TRUE(WaitUntil([&] { return wakes.load() > before; }, 10s));
    return setup.FileInUse() == Use::kInUse;
  }
  // The sample setup program at `file`, to run in `mode`, installing into
  // the test's folder.
  void SampleSetup(const fs::path& file, const char* mode) {
    fs::copy_file(ZK_SAMPLE_SETUP, file);
    ::setenv("ZK_SETUP_MODE", mode, 1);
    ::setenv("ZK_SETUP_SECONDS", "0", 1);
    ::setenv("ZK_GAME_DIR", (dir_.Path() / "games").c_str(), 1);
    ::setenv("ZK_REGISTRY_ROOT", (dir_.Path() / "registry").c_str(), 1);
  }
  // The end stamps that the sample setup's processes left.
  std::vector<pid_t> SetupEnds() {
    std::ifstream ends(dir_.Path() / "games" / "setup-ended.txt");
    std::vector<pid_t> pids;
    long long stamp = 0;
    pid_t pid = 0;
    while (ends >> stamp >> pid) pids.push_back(pid);
    return pids;
  }
  // The process id that a script wrote to "<its path>.pid".
  static pid_t PidIn(const fs::path& file) {
    pid_t pid = 0;
    std::ifstream(file.string() + ".pid") >> pid;
    return pid;
  }
  static bool IsSubreaper() {
    int on = 0;
    ::prctl(PR_GET_CHILD_SUBREAPER, &on, 0, 0, 0);
    return on != 0;
  }
  static void ExpectReaped(pid_t pid) {
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsRunning(pid); }, 15s));
    EXPECT_TRUE(WaitUntil([] { return ZombieChildren().empty(); }, 5s)) << "a child was left a zombie";
  }
  // The file written as a download writes it, and held as the download
  // holds it once its bytes are checked (not executable yet, as downloaded).
  HeldFile Written(const fs::path& file, const std::string& bytes) {
    HeldFile held;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    EXPECT_TRUE(held.Take(fd));
    ::close(fd);
    EXPECT_TRUE(held.Confirm(Utf8ToUtf16(file.string())));
    return held;
  }
  TempDir dir_;
};

// The wake comes once at the process's end and once after each look, which
// answers "in use" until it has finished.
TEST_F(SetupProgramTest, GivesTheExitCodeAndWakesAtTheEndAndAfterEachLook) {
  const fs::path file = Script("set up.sh", "sleep 0.5\nexit 7\n");  // a blank must not split the path
  std::atomic<int> calls{0};
  auto setup = Start(file, [&] { ++calls; });
  ASSERT_NE(setup, nullptr);
  EXPECT_TRUE(IsSubreaper());
  EXPECT_EQ(setup->ExitCode(), std::nullopt);
  ASSERT_TRUE(WaitUntil([&] { return calls.load() > 0; }, 10s));
  EXPECT_EQ(setup->ExitCode(), 7);
  EXPECT_EQ(setup->FileInUse(), Use::kLooking) << "no look has finished yet";
  ASSERT_TRUE(WaitUntil([&] { return calls.load() == 2; }, 10s));
  EXPECT_EQ(setup->FileInUse(), Use::kFree);
  EXPECT_TRUE(setup->RemoveFile());
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(setup->RemoveFile());  // already gone is gone
  setup.reset();
  EXPECT_EQ(calls.load(), 2);
  EXPECT_FALSE(IsSubreaper());
}

TEST_F(SetupProgramTest, AProcessEndedByASignalGivesTheShellsCode) {
  auto setup = Start(Script("killed.sh", "kill -9 $$\n"));
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(WaitForEnd(*setup));
  EXPECT_EQ(setup->ExitCode(), 128 + 9);
}

// Each script starts a copy in a new session and ends at once; the copy,
// its parent gone, works on for a second and leaves "copy.done".
struct CopyCase {
  const char* name;
  const char* firstProcess;  // what the started process does first
  const char* copyOf;        // the file that the copy runs
};

void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.name; }

class SetupCopyTest : public SetupProgramTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(SetupCopyTest, TheFileStaysInUseUntilTheCopyEnds) {
  const std::string copyWork =
      "echo $$ > \"$(dirname \"$0\")/copy.pid\"\nsleep 1\ntouch \"$(dirname \"$0\")/copy.done\"\n";
  WriteFileBytes(dir_.Path() / "next.sh", "#!/bin/sh\n" + copyWork);
  const fs::path file =
      Script("setup.sh", std::string("if [ \"$1\" != copy ]; then\n") + GetParam().firstProcess + "\nsetsid \"" +
                             GetParam().copyOf + "\" copy &\nexit 3\nfi\n" + copyWork);
  auto setup = Start(file);
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return setup->ExitCode().has_value(); }, 10s));
  EXPECT_EQ(setup->ExitCode(), 3);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir_.Path() / "copy.pid"); }, 10s));
  EXPECT_NE(setup->FileInUse(), Use::kFree) << "the copy runs, yet its file counts as free";
  ASSERT_TRUE(WaitForEnd(*setup));
  EXPECT_TRUE(fs::exists(dir_.Path() / "copy.done"));
  EXPECT_TRUE(setup->RemoveFile());
  EXPECT_FALSE(fs::exists(file));
  setup.reset();
  ExpectReaped(PidIn(dir_.Path() / "copy"));
}

INSTANTIATE_TEST_SUITE_P(
    Copies, SetupCopyTest,
    ::testing::Values(CopyCase{"FromItsOwnFile", ":", "$0"},
                      CopyCase{"FromItsFileMovedElsewhere", "mv \"$0\" \"$(dirname \"$0\")/moved.sh\"",
                               "$(dirname \"$0\")/moved.sh"},
                      CopyCase{"FromAnotherFileNowAtItsName",
                               "rm \"$0\"; cp \"$(dirname \"$0\")/next.sh\" \"$0\"; chmod +x \"$0\"", "$0"}),
    [](const auto& info) { return std::string(info.param.name); });

// A copy that starts the next copy and ends, many times over: at every
// moment some process runs the file, though none of them for long, and the
// processes change while they are looked at.
TEST_F(SetupProgramTest, AChainOfCopiesHoldsTheFileUntilItsLastLink) {
  constexpr int kHops = 40;
  const fs::path file = dir_.Path() / "setup";
  SampleSetup(file, "relaunch");
  ::setenv("ZK_SETUP_HOPS", std::to_string(kHops).c_str(), 1);
  auto setup = Start(file);
  ::unsetenv("ZK_SETUP_MODE");
  ::unsetenv("ZK_SETUP_HOPS");
  ASSERT_NE(setup, nullptr);
  // Asked without a pause, as often as the answers come.
  const auto until = std::chrono::steady_clock::now() + 30s;
  while (!(setup->ExitCode().has_value() && setup->FileInUse() == Use::kFree) &&
         std::chrono::steady_clock::now() < until) {
  }
  // The first process, each copy that started the next, and the last one.
  const std::vector<pid_t> ends = SetupEnds();
  EXPECT_EQ(ends.size(), kHops + 2u) << "the file was found free while a copy still ran";
  ASSERT_FALSE(ends.empty());
  const pid_t pid = ends.back();
  EXPECT_TRUE(fs::exists(dir_.Path() / "games" / "ZKGame" / "ZKGame.lst"));
  setup.reset();
  ExpectReaped(pid);
}

// A setup that asks a process outside the installer's tree (a service that
// was there before it) to start its file again, then ends: the copy, which
// holds no descriptor of its file but runs it, keeps it in use.
TEST_F(SetupProgramTest, ACopyStartedOutsideTheInstallersTreeHoldsTheFile) {
  const fs::path file = dir_.Path() / "setup";
  const fs::path requests = dir_.Path() / "service";
  ASSERT_EQ(::mkfifo(requests.c_str(), 0600), 0);
  SampleSetup(file, "outside");
  ::setenv("ZK_SETUP_SERVICE", requests.c_str(), 1);
  ::setenv("ZK_SETUP_SECONDS", "1", 1);
  // The service, let go at once: neither this process's child nor the setup's.
  ASSERT_EQ(std::system(
                ("sh -c 'read -r f < \"$0\" && ZK_SETUP_MODE=normal exec \"$f\"' " + requests.string() + " &").c_str()),
            0);
  std::atomic<int> wakes{0};
  auto setup = Start(file, [&] { ++wakes; });
  ::unsetenv("ZK_SETUP_MODE");
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return wakes.load() > 0 && setup->ExitCode().has_value(); }, 10s));
  EXPECT_EQ(setup->ExitCode(), 0);
  ASSERT_EQ(SetupEnds().size(), 1u) << "the copy ended already";
  EXPECT_TRUE(LookNow(*setup, wakes)) << "the copy runs, yet its file counts as free";
  ASSERT_TRUE(WaitForEnd(*setup));
  EXPECT_EQ(SetupEnds().size(), 2u);
  EXPECT_TRUE(fs::exists(dir_.Path() / "games" / "ZKGame" / "ZKGame.lst"));
}

TEST_F(SetupProgramTest, NothingStartsFromAMissingOrNonProgramFile) {
  EXPECT_EQ(Start(dir_.Path() / "missing"), nullptr);
  WriteFileBytes(dir_.Path() / "text", "not a program\n");
  ::chmod((dir_.Path() / "text").c_str(), 0755);
  EXPECT_EQ(Start(dir_.Path() / "text"), nullptr);
  EXPECT_EQ(SetupProgram::Start(u""), nullptr);
  EXPECT_FALSE(IsSubreaper());
  EXPECT_TRUE(ZombieChildren().empty());
}

TEST_F(SetupProgramTest, LettingGoNeitherStopsTheProgramNorLeavesAZombie) {
  const fs::path file = Script("long.sh", "echo $$ > \"$0.pid\"\nsleep 1\ntouch \"$0.done\"\n");
  auto setup = Start(file);
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(file.string() + ".pid"); }, 10s));
  setup.reset();
  EXPECT_FALSE(IsSubreaper());
  EXPECT_TRUE(fs::exists(file));
  EXPECT_TRUE(IsRunning(PidIn(file)));
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(file.string() + ".done"); }, 10s)) << "the program was stopped";
  ExpectReaped(PidIn(file));
}

// The checked file runs through its descriptor: a "#!" script too (its
// shell reads it through the descriptor, kept open across the start), and
// its end is seen as a path-started setup's is. What was put at its name
// meanwhile never runs.
TEST_F(SetupProgramTest, TheHeldFileRunsNotWhatWasPutAtItsNameSince) {
  const fs::path file = dir_.Path() / "_Set_UpZK.exe";
  HeldFile held = Written(file, "#!/bin/sh\necho $$ > \"" + file.string() + ".pid\"\nsleep 0.5\nexit 3\n");
  fs::rename(Script("other.sh", "touch \"$0.ran\"\n"), file);
  bool replaced = true;
  auto setup = SetupProgram::Start(Utf8ToUtf16(file.string()), std::move(held), replaced);
  ASSERT_NE(setup, nullptr);
  EXPECT_FALSE(replaced);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(file.string() + ".pid"); }, 10s)) << "the held script ran";
  EXPECT_NE(setup->FileInUse(), Use::kFree);
  ASSERT_TRUE(WaitForEnd(*setup));
  EXPECT_EQ(setup->ExitCode(), 3);
  EXPECT_TRUE(setup->RemoveFile());
  EXPECT_FALSE(fs::exists(dir_.Path() / "other.sh.ran"));
  EXPECT_FALSE(fs::exists(file.string() + ".ran")) << "the file put at its name ran";
  const pid_t pid = PidIn(file);
  setup.reset();
  ExpectReaped(pid);
}

// A held script shares its descriptor with every program it starts. Only
// the interpreter and a process that opens the file itself hold the setup's
// file; one that merely inherited the descriptor (a game the script starts
// at its end) does not. Each script leaves "<file>.pid" for its leftover.
struct HeldScriptCase {
  const char* name;
  const char* leftover;  // run in the background by the script, which then ends
  bool holds;            // whether the leftover holds the file while it runs
};

void PrintTo(const HeldScriptCase& c, std::ostream* os) { *os << c.name; }

class HeldScriptTest : public SetupProgramTest, public ::testing::WithParamInterface<HeldScriptCase> {};

TEST_P(HeldScriptTest, OnlyWhatOpensTheFileItselfHoldsIt) {
  const fs::path file = dir_.Path() / "_Set_UpZK.exe";
  const std::string pid = "\"" + file.string() + ".pid\"";
  std::atomic<int> wakes{0};
  bool replaced = true;
  auto setup = SetupProgram::Start(
      Utf8ToUtf16(file.string()),
      Written(file, std::string("#!/bin/sh\n") + GetParam().leftover + " &\necho $! > " + pid + "\nexit 0\n"), replaced,
      [&] { ++wakes; });
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(WaitUntil(
      [&] { return wakes.load() > 0 && setup->ExitCode().has_value() && fs::exists(file.string() + ".pid"); }, 10s));
  const pid_t leftover = PidIn(file);
  ASSERT_TRUE(IsRunning(leftover));
  EXPECT_EQ(LookNow(*setup, wakes), GetParam().holds);
  EXPECT_TRUE(IsRunning(leftover));
  ::kill(leftover, SIGKILL);
  EXPECT_TRUE(WaitForEnd(*setup));
  setup.reset();
  ExpectReaped(leftover);
}

INSTANTIATE_TEST_SUITE_P(Leftovers, HeldScriptTest,
                         ::testing::Values(HeldScriptCase{"AProgramItStarted", "sleep 30", false},
                                           HeldScriptCase{"AProcessThatOpensTheScript",
                                                          "exec sh -c 'exec 5<\"$0\"; exec sleep 30' \"$0\"", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A setup's file that an earlier run left stays while a process runs it or
// holds it open (started from it, or with it opened, before the look).
class LeftoverTest : public SetupProgramTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LeftoverTest, StaysWhileAProcessRunsOrHoldsIt) {
  const bool runs = GetParam();
  const fs::path file = dir_.Path() / "_Set_UpZK.exe";
  fs::copy_file("/bin/sleep", file);
  std::string program = runs ? file.string() : "/bin/sleep";
  char seconds[] = "30";
  char* argv[] = {program.data(), seconds, nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!runs) posix_spawn_file_actions_addopen(&actions, 5, file.c_str(), O_RDONLY, 0);
  pid_t user = -1;
  ASSERT_EQ(::posix_spawn(&user, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  const std::atomic<bool> stop{false};
  EXPECT_FALSE(SetupProgram::RemoveLeftover(Utf8ToUtf16(file.string()), stop));
  EXPECT_TRUE(fs::exists(file));
  ::kill(user, SIGKILL);
  ::waitpid(user, nullptr, 0);
  EXPECT_TRUE(SetupProgram::RemoveLeftover(Utf8ToUtf16(file.string()), stop));
  EXPECT_FALSE(fs::exists(file));
}

INSTANTIATE_TEST_SUITE_P(Users, LeftoverTest, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "ARunner" : "AHolder"); });

TEST_F(SetupProgramTest, AHeldProgramOtherThanAScriptRunsToo) {
  std::string program = ReadFileBytes("/bin/sh");
  const fs::path file = dir_.Path() / "_Set_UpZK.exe";
  HeldFile held = Written(file, program);
  ASSERT_TRUE(fs::remove(file)) << "gone from its name altogether";
  bool replaced = true;
  auto setup = SetupProgram::Start(Utf8ToUtf16(file.string()), std::move(held), replaced);
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(WaitForEnd(*setup));
  EXPECT_EQ(setup->ExitCode(), 0) << "a shell with no script ends at once";
  EXPECT_EQ(SetupProgram::Start(Utf8ToUtf16(file.string()), HeldFile(), replaced), nullptr) << "nothing held";
}

}  // namespace
