// POSIX half of the setup program's seam. Linux lets a running program's
// file be deleted, renamed or replaced, so the file's state says nothing
// about the setup; the processes do. While a setup runs, the installer is a
// child subreaper: whatever the setup starts and lets go (a copy of itself in
// a new session, say) becomes the installer's child when its parent ends,
// stays within reach of the checks below and is reaped by the installer.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "SelectLanguage/SetupProgram.h"
#include "platform/posix/PosixFd.h"
#include "platform/posix/PosixPath.h"
#include "platform/posix/PosixProcess.h"
#include "platform/posix/ProcessTable.h"

namespace {

// While any setup program is watched, this process is a child subreaper; the
// setting it had before comes back with the last hold.
class SubreaperHold {
 public:
  SubreaperHold() {
    std::lock_guard lock(mutex_);
    if (holds_++ > 0) return;
    int previous = 0;
    ::prctl(PR_GET_CHILD_SUBREAPER, &previous, 0, 0, 0);
    wasSubreaper_ = previous != 0;
    ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
  }
  ~SubreaperHold() {
    std::lock_guard lock(mutex_);
    if (--holds_ == 0 && !wasSubreaper_) ::prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0);
  }
  SubreaperHold(const SubreaperHold&) = delete;
  SubreaperHold& operator=(const SubreaperHold&) = delete;

 private:
  static inline std::mutex mutex_;
  static inline int holds_ = 0;
  static inline bool wasSubreaper_ = false;
};

// The processes that may come from the setup: this process's children that
// began no earlier than the setup (an older child cannot descend from it)
// and everything below them.
std::vector<ProcessEntry> SetupTree(const std::vector<ProcessEntry>& table, unsigned long long setupStart) {
  std::vector<ProcessEntry> tree;
  const pid_t self = ::getpid();
  for (const ProcessEntry& process : table) {
    if (process.parent == self && process.startTicks >= setupStart) tree.push_back(process);
  }
  for (std::size_t i = 0; i < tree.size(); ++i) {
    for (const ProcessEntry& process : table) {
      if (process.parent == tree[i].pid) tree.push_back(process);
    }
  }
  return tree;
}

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Calls back once the started process has ended, from a thread that waits on
// the process's descriptor and on a stop signal; never after it was stopped.
class EndWatch {
 public:
  // The process's descriptor polls readable once the process has ended.
  EndWatch(pid_t pid, std::function<void()> onEnded)
      : process_(onEnded ? static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)) : -1),
        stop_(onEnded ? ::eventfd(0, EFD_CLOEXEC) : -1) {
    if (process_.Get() < 0 || stop_.Get() < 0) return;  // then only the timer's ticks see the end
    try {
      thread_ = std::thread([this, onEnded = std::move(onEnded)] {
        pollfd waits[2] = {{process_.Get(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
        RetryInterrupted([&waits] { return ::poll(waits, 2, -1); });
        if (waits[1].revents == 0 && waits[0].revents != 0) onEnded();
      });
    } catch (const std::system_error&) {
      // No thread: the ticks alone see the end.
    }
  }
  ~EndWatch() {
    if (!thread_.joinable()) return;
    const uint64_t one = 1;
    WriteAll(stop_.Get(), &one, sizeof one);
    thread_.join();
  }
  EndWatch(const EndWatch&) = delete;
  EndWatch& operator=(const EndWatch&) = delete;

 private:
  UniqueFd process_;
  UniqueFd stop_;
  std::thread thread_;
};

// What a look at the processes asks about: the setup's file and what now
// has its name.
struct LookSubject {
  std::string path;
  KernelFileIds files;  // the file it was started from, wherever that goes
  unsigned long long setupStart = 0;
  HeldFile handedDown;  // the checked file, whose descriptor a started script shares
};

// Whether a process runs or holds one of `files`. A process of the setup's
// tree that cannot be inspected counts as running it; elsewhere such a
// process is not the installer's to know about.
bool AnyUses(const std::vector<ProcessEntry>& table, const std::vector<ProcessEntry>& tree, const KernelFileIds& files,
             int handedDown, const std::atomic<bool>& stop) {
  const pid_t self = ::getpid();
  for (const ProcessEntry& process : table) {
    if (stop.load()) return true;
    if (process.pid == self || process.state == 'Z') continue;
    const bool ofTheSetup =
        std::any_of(tree.begin(), tree.end(), [&](const ProcessEntry& p) { return p.pid == process.pid; });
    const Finding runs = RunsOneOf(process, files);
    if (runs == Finding::kYes || (runs == Finding::kUnknown && ofTheSetup)) return true;
    if (HoldsOneOf(process.pid, files, handedDown) == Finding::kYes) return true;
  }
  return false;
}

// One look: whether some process still runs the setup's file, or the file
// that now has its name, or holds either open. The setup's processes change
// while they are looked at: one that runs the file may start another from it
// and end between the listing and the look at it. So "none" counts only when
// the next pass finds none either and the very same processes in the
// setup's tree; a newly started one would be among them. A look that has not
// settled by `deadline` counts as finding the file in use.
bool FindsInUse(const LookSubject& subject, std::chrono::steady_clock::time_point deadline,
                const std::atomic<bool>& stop) {
  KernelFileIds files = subject.files;
  // A link put at the name is not followed, and a FIFO does not wait.
  const UniqueFd named(::open(subject.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (named) {
    for (const KernelFileId& id : KernelIdsOf(named.Get())) {
      if (std::find(files.begin(), files.end(), id) == files.end()) files.push_back(id);
    }
  }
  const int handedDown = static_cast<int>(subject.handedDown.Handle());
  std::optional<std::vector<pid_t>> quietTree;
  while (std::chrono::steady_clock::now() < deadline && !stop.load()) {
    const std::vector<ProcessEntry> table = ListProcesses();
    const std::vector<ProcessEntry> tree = SetupTree(table, subject.setupStart);
    if (AnyUses(table, tree, files, handedDown, stop)) return true;
    std::vector<pid_t> pids;
    for (const ProcessEntry& process : tree) pids.push_back(process.pid);
    std::sort(pids.begin(), pids.end());
    if (quietTree == pids) return false;
    quietTree = std::move(pids);
  }
  return true;
}

// The looks at the processes, one at a time on a thread of their own: a look
// reads what every process on the system runs and holds, which takes a while
// and must never hold up the window. The owner asks without waiting and hears
// of each finished look through `wake`.
class ProcessLook {
 public:
  // How long one look may take before it counts as finding the file in use.
  static constexpr std::chrono::milliseconds kDeadline{1500};
  // How long the owner waits for a look under way when it goes; a look checks
  // for the stop between processes, so only a kernel call that does not
  // return keeps it longer, and that thread is then let go.
  static constexpr std::chrono::milliseconds kStopWait{200};

  ProcessLook(LookSubject subject, std::function<void()> wake) : shared_(std::make_shared<Shared>()) {
    shared_->subject = std::move(subject);
    shared_->wake = std::move(wake);
  }
  ~ProcessLook() {
    std::unique_lock lock(shared_->mutex);
    shared_->stop.store(true);
    shared_->wake = nullptr;
    shared_->change.notify_all();
    if (!thread_.joinable()) return;
    const bool ended = shared_->change.wait_for(lock, kStopWait, [this] { return shared_->ended; });
    lock.unlock();
    if (ended) {
      thread_.join();
    } else {
      thread_.detach();  // it keeps what it uses and reaches nothing else
    }
  }
  ProcessLook(const ProcessLook&) = delete;
  ProcessLook& operator=(const ProcessLook&) = delete;

  // Held while a look runs, so that the setup's processes that end meanwhile
  // stay listed (as zombies) until it has finished: one reaped between the
  // listing of /proc and the read of its entry would slip out of the look,
  // together with the copy it started just before. Empty while a look runs.
  std::unique_lock<std::mutex> MayReap() { return std::unique_lock(shared_->reaping, std::try_to_lock); }

  // What the last finished look found, the first time it is asked for; else
  // begins a look when none is under way and answers kLooking meanwhile.
  SetupProgram::FileUse Ask() {
    std::unique_lock lock(shared_->mutex);
    if (shared_->answer) return Use(std::exchange(shared_->answer, std::nullopt).value());
    if (shared_->wanted || shared_->running) return SetupProgram::FileUse::kLooking;
    shared_->wanted = true;
    if (!thread_.joinable() && !StartThread()) {
      // No thread to spare: the look runs here rather than never, and
      // nothing is reaped meanwhile on this thread.
      shared_->wanted = false;
      lock.unlock();
      return Use(FindsInUse(shared_->subject, std::chrono::steady_clock::now() + kDeadline, shared_->stop));
    }
    shared_->change.notify_all();
    return SetupProgram::FileUse::kLooking;
  }

 private:
  struct Shared {
    std::mutex mutex;
    std::mutex reaping;  // see MayReap
    std::condition_variable change;
    bool wanted = false;
    bool running = false;
    bool ended = false;
    std::atomic<bool> stop{false};
    std::optional<bool> answer;
    std::function<void()> wake;
    LookSubject subject;
  };

  static SetupProgram::FileUse Use(bool inUse) {
    return inUse ? SetupProgram::FileUse::kInUse : SetupProgram::FileUse::kFree;
  }

  bool StartThread() {
    try {
      thread_ = std::thread([shared = shared_] { Run(*shared); });
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }

  static void Run(Shared& shared) {
    std::unique_lock lock(shared.mutex);
    for (;;) {
      shared.change.wait(lock, [&] { return shared.wanted || shared.stop.load(); });
      if (shared.stop.load()) break;
      shared.wanted = false;
      shared.running = true;
      lock.unlock();
      std::unique_lock noReaping(shared.reaping);
      const bool inUse = FindsInUse(shared.subject, std::chrono::steady_clock::now() + kDeadline, shared.stop);
      noReaping.unlock();
      lock.lock();
      shared.running = false;
      shared.answer = inUse;
      // Under the lock: once the owner has gone, nobody is woken.
      if (shared.wake) shared.wake();
    }
    shared.ended = true;
    shared.change.notify_all();
  }

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace

struct SetupProgram::Platform {
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  ~Platform();

  // Reaps the started process and every orphan of the setup that has ended,
  // unless a look is under way.
  void ReapEnded();
  // Once the process has started: its start, and the looks at what uses its file.
  void Watch(LookSubject subject, const std::function<void()>& wake);

  std::string path;
  pid_t pid = -1;
  unsigned long long startTicks = 0;
  std::optional<int> exitCode;
  std::optional<SubreaperHold> subreaper;
  std::optional<EndWatch> watch;
  std::optional<ProcessLook> look;
};

void SetupProgram::Platform::ReapEnded() {
  const std::unique_lock<std::mutex> allowed = look ? look->MayReap() : std::unique_lock<std::mutex>();
  if (look && !allowed.owns_lock()) return;  // after the look under way
  if (!exitCode) {
    int status = 0;
    const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == pid) exitCode = DecodeStatus(status);
    if (reaped < 0 && errno == ECHILD) exitCode = -1;  // reaped elsewhere: ended, code unknown
  }
  const pid_t self = ::getpid();
  for (const ProcessEntry& process : SetupTree(ListProcesses(), startTicks)) {
    if (process.parent == self && process.state == 'Z' && process.pid != pid) {
      ::waitpid(process.pid, nullptr, WNOHANG);
    }
  }
}

void SetupProgram::Platform::Watch(LookSubject subject, const std::function<void()>& wake) {
  // Not reaped yet, so its entry is there even if it has ended already.
  if (const auto started = ReadProcess(pid)) startTicks = started->startTicks;
  subject.setupStart = startTicks;
  watch.emplace(pid, wake);
  look.emplace(std::move(subject), wake);
}

SetupProgram::Platform::~Platform() {
  look.reset();
  watch.reset();
  if (pid < 0) return;
  // From here on orphans go elsewhere; the children this process has now are
  // reaped when they end, whether or not anyone still asks about them.
  subreaper.reset();
  ReapEnded();
  const pid_t self = ::getpid();
  for (const ProcessEntry& process : SetupTree(ListProcesses(), startTicks)) {
    if (process.parent == self && !(process.pid == pid && exitCode)) ReapWhenEnded(process.pid);
  }
}

SetupProgram::SetupProgram(std::unique_ptr<Platform> platform) : platform_(std::move(platform)) {}

SetupProgram::~SetupProgram() = default;

std::unique_ptr<SetupProgram> SetupProgram::Start(std::u16string_view path, std::function<void()> wake) {
  LookSubject subject;
  subject.path = ToNativePath(path);
  struct stat st {};
  if (subject.path.empty() || ::stat(subject.path.c_str(), &st) != 0) return nullptr;
  const UniqueFd file(::open(subject.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  subject.files = file ? KernelIdsOf(file.Get()) : KernelFileIds{{st.st_dev, st.st_ino}};
  auto platform = std::make_unique<Platform>();
  platform->path = subject.path;
  platform->subreaper.emplace();  // before the start: nothing the setup lets go may slip past
  platform->pid = SpawnProgram(path);
  if (platform->pid < 0) return nullptr;
  platform->Watch(std::move(subject), wake);
  return std::unique_ptr<SetupProgram>(new SetupProgram(std::move(platform)));
}

std::unique_ptr<SetupProgram> SetupProgram::Start(std::u16string_view path, HeldFile checked, bool& replaced,
                                                  std::function<void()> wake) {
  // The checked file itself runs, through its descriptor: a file put at its
  // name since is not even looked at, so nothing is ever replaced here.
  replaced = false;
  const int fd = static_cast<int>(checked.Handle());
  LookSubject subject;
  subject.path = ToNativePath(path);
  struct stat st {};
  if (fd < 0 || subject.path.empty() || ::fstat(fd, &st) != 0) return nullptr;
  if ((st.st_mode & 0111) != 0111 && ::fchmod(fd, 0755) != 0) return nullptr;
  subject.files = KernelIdsOf(fd);
  auto platform = std::make_unique<Platform>();
  platform->path = subject.path;
  platform->subreaper.emplace();  // before the start: nothing the setup lets go may slip past
  platform->pid = SpawnProgramFromFile(fd, path);
  if (platform->pid < 0) return nullptr;
  // Kept: what shares its open file was handed it by the start, which
  // alone does not make a process hold the setup's file.
  subject.handedDown = std::move(checked);
  platform->Watch(std::move(subject), wake);
  return std::unique_ptr<SetupProgram>(new SetupProgram(std::move(platform)));
}

std::optional<int> SetupProgram::ExitCode() {
  platform_->ReapEnded();
  return platform_->exitCode;
}

SetupProgram::FileUse SetupProgram::FileInUse() { return platform_->look->Ask(); }

bool SetupProgram::RemoveFile() { return ::unlink(platform_->path.c_str()) == 0 || errno == ENOENT; }

// The running setup keeps its file without the name.
bool SetupProgram::Abandon() { return RemoveFile(); }

bool SetupProgram::Succeeded(int exitCode) { return exitCode == 0; }

bool SetupProgram::RemoveLeftover(std::u16string_view path, const std::atomic<bool>& stop) {
  LookSubject subject;
  subject.path = ToNativePath(path);
  if (subject.path.empty()) return false;
  const UniqueFd file(::open(subject.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!file) return errno == ENOENT;
  struct stat looked {};
  // Only a file a download can have left; whatever else stands at the name
  // the next download replaces.
  if (::fstat(file.Get(), &looked) != 0 || !S_ISREG(looked.st_mode)) return false;
  subject.files = KernelIdsOf(file.Get());
  subject.setupStart = ~0ULL;  // no setup of this process's own
  if (FindsInUse(subject, std::chrono::steady_clock::now() + ProcessLook::kDeadline, stop)) return false;
  // The file that was looked at, not one put at its name meanwhile.
  struct stat now {};
  if (::lstat(subject.path.c_str(), &now) != 0) return errno == ENOENT;
  if (now.st_dev != looked.st_dev || now.st_ino != looked.st_ino) return false;
  return ::unlink(subject.path.c_str()) == 0 || errno == ENOENT;
}
