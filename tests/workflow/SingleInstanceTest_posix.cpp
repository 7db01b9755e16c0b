// The one-installer lock on Linux with real files, sockets and processes:
// one claim at a time and none handed down to the programs the installer
// starts; later starts heard on the main loop; and, without a runtime
// folder, a lock in /tmp that follows no planted link and trusts nothing
// another user left there.
#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "SelectLanguage/SingleInstance.h"
#include "platform/posix/PosixFd.h"
#include "tests/support/TempDir.h"
#include "tests/workflow/PrivateMount.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Claim = SingleInstance::Claim;
extern char** environ;

namespace {

// A process this test started, ended with the test.
struct Child {
  pid_t pid = -1;
  ~Child() {
    if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
  }
};

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

void SendRaw(const fs::path& socket, const std::string& bytes) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const sockaddr_un address = AddressOf(socket);
  ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

// Runs the main loop (GLib's default context, as the window does) until
// done, or for `tenths` tenths of a second.
template <typename Done>
bool RunLoop(Done done, int tenths = 50) {
  for (int i = 0; i < tenths * 10 && !done(); ++i) {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_usleep(10000);
  }
  return done();
}

// The session's display, as the installer's names carry it.
void OnDisplay(const char* display) {
  ::setenv("DISPLAY", display, 1);
  ::unsetenv("WAYLAND_DISPLAY");
}

class SingleInstanceTest : public testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    OnDisplay(":7");
    ::unsetenv("XDG_ACTIVATION_TOKEN");
    ::unsetenv("DESKTOP_STARTUP_ID");
  }
  TempDir runtime;
  fs::path lock = runtime.Path() / "zk-installer@:7.lock";
  fs::path socket = runtime.Path() / "zk-installer@:7.sock";
  std::vector<std::string> heard;
  bool windowComesForward = true;

  void Answer(SingleInstance& first) {
    first.AnswerLaterStarts([this](const std::string& token) {
      heard.push_back(token);
      return windowComesForward;
    });
  }
  // A later start's BringRunningToFront, on a thread of its own while this
  // one runs the first start's loop (after `meanwhile`); its result, and
  // what had been heard when it returned.
  std::pair<bool, std::size_t> LaterStart(const std::function<void()>& meanwhile = [] {}) {
    std::atomic<bool> done{false};
    bool brought = false;
    std::thread later([&] {
      brought = SingleInstance().BringRunningToFront();
      done = true;
    });
    meanwhile();
    RunLoop([&] { return done.load(); }, 50);
    later.join();
    return {brought, heard.size()};
  }
};

}  // namespace

TEST_F(SingleInstanceTest, OneClaimAtATimeNotHandedDownToStartedPrograms) {
  std::optional<SingleInstance> first(std::in_place);
  ASSERT_EQ(first->Outcome(), Claim::First) << first->Problem();
  EXPECT_EQ(fs::status(lock).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(SingleInstance().Outcome(), Claim::Second);
  // The setup program and the game outlive the installer; they must not
  // keep the next installer out.
  Child program;
  char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
  ASSERT_EQ(::posix_spawnp(&program.pid, "sleep", nullptr, nullptr, argv, environ), 0);
  first.reset();
  EXPECT_FALSE(fs::exists(socket));
  EXPECT_EQ(SingleInstance().Outcome(), Claim::First);
}

TEST_F(SingleInstanceTest, LaterStartsAreHeardOnTheMainLoopEvenWhenItWasBusy) {
  SingleInstance first;
  ASSERT_EQ(first.Outcome(), Claim::First) << first.Problem();
  ::setenv("XDG_ACTIVATION_TOKEN", "launcher_TIME42", 1);
  EXPECT_TRUE(LaterStart([&] {
                std::this_thread::sleep_for(300ms);  // queued before the first one answers
                Answer(first);
              }).first);
  EXPECT_EQ(heard, std::vector<std::string>{"launcher_TIME42"});

  // Not a request, then a request whose token is not printable: only the
  // request counts, without its token.
  SendRaw(socket, "hello\n");
  SendRaw(socket, "raise bad\x01token\n");
  ASSERT_TRUE(RunLoop([&] { return heard.size() == 2; }));
  EXPECT_EQ(heard[1], "");
  first.AnswerLaterStarts(nullptr);
  SendRaw(socket, "raise\n");
  EXPECT_FALSE(RunLoop([&] { return heard.size() > 2; }, 5));
}

// Whatever keeps a window of the first start from coming forward within
// 2 s, the later start hears no answer and says so (the program then shows
// its box).
TEST_F(SingleInstanceTest, ALaterStartThatSeesNoWindowComeForwardSaysSo) {
  enum Holder { kShownWindow, kHiddenWindow, kNoAnswer, kNoSocket, kNoInstaller };
  for (const Holder holder : {kShownWindow, kHiddenWindow, kNoAnswer, kNoSocket, kNoInstaller}) {
    SCOPED_TRACE(holder);
    std::optional<SingleInstance> first;
    UniqueFd lockOnly;  // a process of this user that holds the lock and is no installer
    if (holder == kNoInstaller) {
      lockOnly = UniqueFd(::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
      ASSERT_EQ(::flock(lockOnly.Get(), LOCK_EX), 0);
    } else {
      first.emplace();
    }
    if (holder == kNoSocket) fs::remove(socket);
    const bool answers = holder == kShownWindow || holder == kHiddenWindow;
    windowComesForward = holder == kShownWindow;
    if (answers) Answer(*first);
    heard.clear();
    EXPECT_EQ(SingleInstance().Outcome(), Claim::Second);
    const auto [brought, heardThen] = LaterStart();
    EXPECT_EQ(brought, holder == kShownWindow);
    EXPECT_EQ(heardThen, answers ? 1u : 0u);
  }
}

// Silent connections cost the first start's loop nothing: they are read
// only when their bytes come in, and dropped after a while, so a later
// start is answered within its 2 s however many of them there are.
TEST_F(SingleInstanceTest, SilentConnectionsDoNotHoldTheAnswerUp) {
  SingleInstance first;
  ASSERT_EQ(first.Outcome(), Claim::First) << first.Problem();
  Answer(first);
  const sockaddr_un address = AddressOf(socket);
  std::vector<UniqueFd> silent;
  for (int i = 0; i < 64; ++i) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
      silent.push_back(std::move(fd));
    if (i % 16 == 15) RunLoop([] { return false; }, 1);  // the backlog is taken in
  }
  ASSERT_GE(silent.size(), 8u);  // at least the backlog
  const auto [brought, heardThen] = LaterStart();
  EXPECT_TRUE(brought);
  EXPECT_EQ(heardThen, 1u) << "the request waited behind " << silent.size() << " silent connections";
}

// Each display is a session of its own: starts on one meet, starts on
// another do not.
TEST_F(SingleInstanceTest, EachDisplayHasItsOwnInstaller) {
  SingleInstance first;
  ASSERT_EQ(first.Outcome(), Claim::First) << first.Problem();
  EXPECT_TRUE(fs::exists(lock));
  OnDisplay(":8");
  SingleInstance other;
  EXPECT_EQ(other.Outcome(), Claim::First) << other.Problem();
  ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  EXPECT_EQ(SingleInstance().Outcome(), Claim::First);
  OnDisplay(":7");
  EXPECT_EQ(SingleInstance().Outcome(), Claim::Second);
}

namespace {

// Without a runtime folder the lock lives in /tmp, here a private one.
class TmpLockTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!tmp.Mounted()) GTEST_SKIP() << tmp.Error();
    ::unsetenv("XDG_RUNTIME_DIR");
    OnDisplay("host:10.0");
  }
  PrivateMount tmp{"/tmp", "mode=1777,size=1m", false};
  const std::string base = "/tmp/zk-installer-" + std::to_string(::geteuid()) + "@host:10.0";
  const fs::path lock = base + ".lock";
  const fs::path socket = base + ".sock";
};

}  // namespace

TEST_F(TmpLockTest, IsThisUsersOwnPrivateFile) {
  SingleInstance first;
  ASSERT_EQ(first.Outcome(), Claim::First) << first.Problem();
  struct stat st {};
  ASSERT_EQ(::lstat(lock.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_uid, ::geteuid());
  EXPECT_EQ(SingleInstance().Outcome(), Claim::Second);
}

// Whatever another user can leave at the lock's path: the installer runs
// without the lock rather than follow, truncate or trust it (refusing would
// let any local user keep everyone's installer from running).
TEST_F(TmpLockTest, PlantedPathsAreNeitherFollowedNorTrusted) {
  WriteFileBytes("/tmp/victim", "precious");
  const struct {
    const char* what;
    std::function<void()> plant;
    const char* problem;
  } cases[] = {
      {"link to a file", [&] { fs::create_symlink("/tmp/victim", lock); }, "symbolic link"},
      {"dangling link", [&] { fs::create_symlink("/tmp/made-by-link", lock); }, "symbolic link"},
      {"other user's file",
       [&] {
         WriteFileBytes(lock, "x");
         ::chown(lock.c_str(), 65534, 65534);
       },
       "another user"},
      {"file others may open",
       [&] {
         WriteFileBytes(lock, "");
         fs::permissions(lock, fs::perms(0644));
       },
       "other users"},
      {"second name of a file", [&] { fs::create_hard_link("/tmp/victim", lock); }, "other names"},
      {"named pipe", [&] { ::mkfifo(lock.c_str(), 0600); }, "not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::permissions("/tmp/victim", fs::perms(0600));
    c.plant();
    SingleInstance instance;
    EXPECT_EQ(instance.Outcome(), Claim::Unguarded);
    EXPECT_NE(instance.Problem().find(c.problem), std::string::npos) << instance.Problem();
    EXPECT_FALSE(instance.BringRunningToFront());
    EXPECT_EQ(ReadFileBytes("/tmp/victim"), "precious");
    EXPECT_FALSE(fs::exists("/tmp/made-by-link"));
    EXPECT_FALSE(fs::exists(socket));
    fs::remove(lock);
  }
}

TEST_F(TmpLockTest, SocketPlantedByAnotherUserIsNeitherRemovedNorTalkedTo) {
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  Child planter;
  planter.pid = ::fork();
  ASSERT_GE(planter.pid, 0);
  if (planter.pid == 0) {  // another user listens at the socket's path and reports what it hears
    ::alarm(10);
    const sockaddr_un address = AddressOf(socket);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0 || fd < 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
      ::_exit(1);
    }
    (void)!::write(report[1], "R", 1);
    char heard[64];
    const int connection = ::accept(fd, nullptr, nullptr);
    const ssize_t got = connection < 0 ? 0 : ::read(connection, heard, sizeof heard);
    (void)!::write(report[1], got > 0 ? "T" : "N", 1);
    ::_exit(0);
  }
  ::close(report[1]);  // a planter that dies ends the reads below
  char news = 0;
  ASSERT_EQ(::read(report[0], &news, 1), 1);
  ASSERT_EQ(news, 'R');

  SingleInstance first;
  ASSERT_EQ(first.Outcome(), Claim::First) << first.Problem();
  struct stat st {};
  ASSERT_EQ(::lstat(socket.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);  // still the other user's
  SingleInstance later;
  EXPECT_FALSE(later.BringRunningToFront());
  ASSERT_EQ(::read(report[0], &news, 1), 1);
  EXPECT_EQ(news, 'N') << "the request went to another user's socket";
  ::close(report[0]);
}
