// The worker mechanism that keeps workers from holding the program open: a
// bounded wait for a stopped worker, a let-go worker that reaches nothing of
// its owner's, and a program end that does not run exit handlers under it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "SelectLanguage/Messages.h"
#include "SelectLanguage/WorkerThread.h"
#include "platform/headless/HeadlessHost.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class CountingWindow : public DialogWindow {
 public:
  int OnInitDialog() override { return 1; }
  bool PreTranslateMessage(const DialogMessage&) override { return false; }
  int64_t Dispatch(const DialogMessage& m) override {
    received.push_back(m.id);
    return 0;
  }
  ControlColors OnCtlColor(int) override { return {}; }
  std::vector<uint32_t> received;
};

// A pipe whose read end a worker blocks on; nothing but the test writes.
class Pipe {
 public:
  Pipe() { ok_ = ::pipe(fds_) == 0; }
  ~Pipe() {
    if (!ok_) return;
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  bool Ok() const { return ok_; }
  int ReadEnd() const { return fds_[0]; }
  void Release() const { (void)!::write(fds_[1], "x", 1); }

 private:
  int fds_[2] = {-1, -1};
  bool ok_ = false;
};

// A worker that blocks in a read the stop request cannot end, then posts
// and records that it got past the read.
struct BlockedReader : WorkerLink {
  explicit BlockedReader(DialogHost& window, int fd) : WorkerLink(&window), fd(fd) {}
  const int fd;
  bool readReturned = false;
  static void Run(BlockedReader& self) {
    char byte = 0;
    (void)!::read(self.fd, &byte, 1);
    {
      auto lock = self.Lock();
      self.readReturned = true;
    }
    self.Post(kMsgSetupDownloaded, 0, 0);
  }
};

// A worker that posts once, then waits for work that never comes.
struct Waiter : WorkerLink {
  explicit Waiter(DialogHost& window) : WorkerLink(&window) {}
  static void Run(Waiter& self) {
    self.Post(kMsgDownloadProgress, 1, 2);
    auto lock = self.Lock();
    self.WaitUntil(lock, [] { return false; });
    lock.unlock();
    self.Post(kMsgSetupDownloaded, 0, 0);  // after the stop: goes nowhere
  }
};

template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

class WorkerThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { host_.Open(window_); }
  HeadlessHost host_;
  CountingWindow window_;
};

TEST_F(WorkerThreadTest, AWorkerBlockedBeyondTheStopIsLetGoAndReachesNothingAfterwards) {
  Pipe pipe;
  ASSERT_TRUE(pipe.Ok());
  const int runningBefore = WorkerThread::Running();
  auto block = std::make_shared<BlockedReader>(host_, pipe.ReadEnd());
  std::weak_ptr<BlockedReader> watch = block;

  const auto start = Clock::now();
  {
    WorkerThread worker(300ms);
    ASSERT_TRUE(worker.Start(std::move(block), &BlockedReader::Run));
    EXPECT_FALSE(worker.Start(std::make_shared<BlockedReader>(host_, -1), &BlockedReader::Run)) << "one thread each";
    EXPECT_EQ(WorkerThread::Running(), runningBefore + 1);
  }
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 300ms) << "the owner gives the worker its time";
  EXPECT_LT(took, 1000ms) << "a worker that ignores the stop does not hold its owner beyond the bound";

  // Let go, the worker still runs and keeps its block alive itself.
  EXPECT_EQ(WorkerThread::Running(), runningBefore + 1);
  ASSERT_FALSE(watch.expired());
  pipe.Release();
  ASSERT_TRUE(WaitFor([&] { return watch.expired(); }, 5000ms)) << "the released worker did not end";
  EXPECT_EQ(WorkerThread::Running(), runningBefore);
  EXPECT_EQ(host_.PumpPending(), 0) << "a let-go worker's post reached the window";
  EXPECT_TRUE(window_.received.empty());
}

TEST_F(WorkerThreadTest, AWorkerThatHeedsTheStopIsJoinedAtOnceAndPostsNothingAfterIt) {
  const int runningBefore = WorkerThread::Running();
  auto block = std::make_shared<Waiter>(host_);
  std::weak_ptr<Waiter> watch = block;
  const auto start = Clock::now();
  {
    WorkerThread worker(5000ms);
    ASSERT_TRUE(worker.Start(std::move(block), &Waiter::Run));
    ASSERT_TRUE(host_.RunUntil([&] { return !window_.received.empty(); }, 5000ms));
  }
  EXPECT_LT(Clock::now() - start, 4000ms) << "the stop ended the wait; the bound was not waited out";
  EXPECT_TRUE(watch.expired()) << "joined: the thread released its block before the owner went";
  EXPECT_EQ(WorkerThread::Running(), runningBefore);
  host_.PumpPending();
  EXPECT_EQ(window_.received, std::vector<uint32_t>{kMsgDownloadProgress});
}

TEST_F(WorkerThreadTest, TheOwnersWaitCountsFromTheFirstStopRequest) {
  Pipe pipe;
  ASSERT_TRUE(pipe.Ok());
  auto worker = std::make_unique<WorkerThread>(600ms);
  ASSERT_TRUE(worker->Start(std::make_shared<BlockedReader>(host_, pipe.ReadEnd()), &BlockedReader::Run));
  worker->RequestStop();  // as the window does when it closes
  std::this_thread::sleep_for(500ms);
  worker->RequestStop();  // a later request does not restart the wait
  const auto start = Clock::now();
  worker.reset();
  EXPECT_LT(Clock::now() - start, 400ms) << "the wait began again at the destruction";
  // The pipe outlives the let-go worker's read.
  const int runningBefore = WorkerThread::Running() - 1;
  pipe.Release();
  EXPECT_TRUE(WaitFor([&] { return WorkerThread::Running() == runningBefore; }, 5000ms));
}

// The program's last step, in a process of its own: with a let-go worker
// still running, the exit handlers must not run; without one they do.
struct ProbeResult {
  int exitCode = -1;
  std::string output;
};

ProbeResult RunExitProbe(const char* mode) {
  int out[2];
  if (::pipe(out) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    ::execl(ZK_WORKER_EXIT_PROBE, ZK_WORKER_EXIT_PROBE, mode, nullptr);
    ::_exit(127);
  }
  ::close(out[1]);
  ProbeResult result;
  char buffer[256];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) result.output.append(buffer, n);
  ::close(out[0]);
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

TEST(WorkerProcessEnd, ALetGoWorkerEndsTheProcessWithoutItsExitHandlers) {
  const ProbeResult result = RunExitProbe("let-go");
  EXPECT_EQ(result.exitCode, 7);
  EXPECT_EQ(result.output, "worker let go\n") << "flushed, and no exit handler ran";
}

TEST(WorkerProcessEnd, WithoutWorkersMainReturnsAsUsual) {
  const ProbeResult result = RunExitProbe("joined");
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.output, "worker joined\nexit handlers ran\n");
}

}  // namespace
