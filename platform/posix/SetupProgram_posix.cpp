// POSIX half of the setup program's seam. Linux lets a running program's
// file be deleted, renamed or replaced, so the file's state says nothing
// about the setup; the processes do. While a setup runs, the installer is a
// child subreaper: whatever the setup starts and lets go (a copy of itself in
// a new session, say) becomes the installer's child when its parent ends,
// stays within reach of the checks below and is reaped by the installer.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
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

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId&) const = default;
};

bool Matches(const struct stat& st, const std::vector<FileId>& files) {
  for (const FileId& file : files) {
    if (file.device == st.st_dev && file.inode == st.st_ino) return true;
  }
  return false;
}

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

struct ProcessEntry {
  pid_t pid = 0;
  pid_t parent = 0;
  char state = '?';
  unsigned long long startTicks = 0;  // since boot
};

// One process's /proc/<pid>/stat. The command name in parentheses may hold
// blanks and parentheses itself, so the fields are counted after its last ')'.
std::optional<ProcessEntry> ReadProcess(pid_t pid) {
  char path[48];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  const UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) return std::nullopt;
  char buffer[4096];
  const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
  if (n <= 0) return std::nullopt;
  const std::string_view text(buffer, static_cast<std::size_t>(n));
  const std::size_t nameEnd = text.rfind(')');
  if (nameEnd == std::string_view::npos) return std::nullopt;
  // Fields from the third (state) on; the fourth is the parent, the 22nd the start.
  ProcessEntry entry;
  entry.pid = pid;
  int field = 3;
  std::size_t at = nameEnd + 1;
  while (at < text.size() && field <= 22) {
    while (at < text.size() && text[at] == ' ') ++at;
    std::size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const char* first = text.data() + at;
    const char* last = text.data() + end;
    if (field == 3) entry.state = *first;
    if (field == 4) std::from_chars(first, last, entry.parent);
    if (field == 22 && std::from_chars(first, last, entry.startTicks).ec != std::errc()) return std::nullopt;
    at = end;
    ++field;
  }
  if (field <= 22) return std::nullopt;
  return entry;
}

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> table;
  const DirHandle proc(::opendir("/proc"));
  if (!proc) return table;
  while (const dirent* entry = ::readdir(proc.get())) {
    pid_t pid = 0;
    const char* end = entry->d_name + std::char_traits<char>::length(entry->d_name);
    if (std::from_chars(entry->d_name, end, pid).ptr != end || pid <= 0) continue;
    if (auto process = ReadProcess(pid)) table.push_back(*process);
  }
  return table;
}

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

enum class Executable { kOther, kTheFile, kUnknown };

Executable ExecutableOf(pid_t pid, const std::vector<FileId>& files) {
  char path[48];
  std::snprintf(path, sizeof path, "/proc/%d/exe", static_cast<int>(pid));
  struct stat st {};
  if (::stat(path, &st) == 0) return Matches(st, files) ? Executable::kTheFile : Executable::kOther;
  // Gone meanwhile, or ended and not yet reaped: it runs nothing.
  return errno == ENOENT ? Executable::kOther : Executable::kUnknown;
}

// Whether one of the process's open files is one of `files`. A process whose
// files cannot be listed holds none as far as the installer can tell.
bool HoldsOpen(pid_t pid, const std::vector<FileId>& files) {
  char path[48];
  std::snprintf(path, sizeof path, "/proc/%d/fd", static_cast<int>(pid));
  const DirHandle fds(::opendir(path));
  if (!fds) return false;
  while (const dirent* entry = ::readdir(fds.get())) {
    if (entry->d_name[0] == '.') continue;
    struct stat st {};
    if (::fstatat(::dirfd(fds.get()), entry->d_name, &st, 0) == 0 && Matches(st, files)) return true;
  }
  return false;
}

// Whether a process of the tree runs one of `files`; one that cannot be
// inspected counts as running it.
bool AnyRuns(const std::vector<ProcessEntry>& tree, const std::vector<FileId>& files) {
  for (const ProcessEntry& process : tree) {
    if (process.state != 'Z' && ExecutableOf(process.pid, files) != Executable::kOther) return true;
  }
  return false;
}

// Whether a process other than this one holds one of `files` open; the
// installer's own handles do not hold the setup back.
bool AnyHolds(const std::vector<ProcessEntry>& table, const std::vector<FileId>& files) {
  const pid_t self = ::getpid();
  for (const ProcessEntry& process : table) {
    if (process.pid != self && process.state != 'Z' && HoldsOpen(process.pid, files)) return true;
  }
  return false;
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

}  // namespace

struct SetupProgram::Platform {
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  ~Platform();

  // Reaps the started process and every orphan of the setup that has ended.
  void ReapEnded();

  std::string path;
  FileId file;  // the file it was started from, wherever that goes
  pid_t pid = -1;
  unsigned long long startTicks = 0;
  std::optional<int> exitCode;
  std::optional<SubreaperHold> subreaper;
  std::optional<EndWatch> watch;
};

void SetupProgram::Platform::ReapEnded() {
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

SetupProgram::Platform::~Platform() {
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

std::unique_ptr<SetupProgram> SetupProgram::Start(std::u16string_view path, std::function<void()> onProcessEnded) {
  auto platform = std::make_unique<Platform>();
  platform->path = ToNativePath(path);
  struct stat st {};
  if (platform->path.empty() || ::stat(platform->path.c_str(), &st) != 0) return nullptr;
  platform->file = {st.st_dev, st.st_ino};
  platform->subreaper.emplace();  // before the start: nothing the setup lets go may slip past
  platform->pid = SpawnProgram(path);
  if (platform->pid < 0) return nullptr;
  // Not reaped yet, so its entry is there even if it has ended already.
  if (const auto started = ReadProcess(platform->pid)) platform->startTicks = started->startTicks;
  platform->watch.emplace(platform->pid, std::move(onProcessEnded));
  return std::unique_ptr<SetupProgram>(new SetupProgram(std::move(platform)));
}

std::unique_ptr<SetupProgram> SetupProgram::Start(std::u16string_view path, HeldFile checked, bool& replaced,
                                                  std::function<void()> onProcessEnded) {
  // The checked file itself runs, through its descriptor: a file put at its
  // name since is not even looked at, so nothing is ever replaced here.
  replaced = false;
  const int fd = static_cast<int>(checked.Handle());
  auto platform = std::make_unique<Platform>();
  platform->path = ToNativePath(path);
  struct stat st {};
  if (fd < 0 || platform->path.empty() || ::fstat(fd, &st) != 0) return nullptr;
  if ((st.st_mode & 0111) != 0111 && ::fchmod(fd, 0755) != 0) return nullptr;
  platform->file = {st.st_dev, st.st_ino};
  platform->subreaper.emplace();  // before the start: nothing the setup lets go may slip past
  platform->pid = SpawnProgramFromFile(fd, path);
  checked.Release();
  if (platform->pid < 0) return nullptr;
  if (const auto started = ReadProcess(platform->pid)) platform->startTicks = started->startTicks;
  platform->watch.emplace(platform->pid, std::move(onProcessEnded));
  return std::unique_ptr<SetupProgram>(new SetupProgram(std::move(platform)));
}

std::optional<int> SetupProgram::ExitCode() {
  platform_->ReapEnded();
  return platform_->exitCode;
}

bool SetupProgram::FileInUse() {
  const Platform& p = *platform_;
  std::vector<FileId> files = {p.file};
  struct stat st {};
  if (::stat(p.path.c_str(), &st) == 0 && !Matches(st, files)) files.push_back({st.st_dev, st.st_ino});

  // The setup's processes change while they are looked at: one that runs the
  // file may start another from it and end between the listing and the
  // look at its file. So "none" counts only when a second look finds the
  // very same processes; a newly started one would be among them.
  constexpr int kMostLooks = 8;
  std::vector<pid_t> seen;
  for (int look = 0; look < kMostLooks; ++look) {
    const std::vector<ProcessEntry> table = ListProcesses();
    const std::vector<ProcessEntry> tree = SetupTree(table, p.startTicks);
    if (AnyRuns(tree, files) || AnyHolds(table, files)) return true;
    std::vector<pid_t> pids;
    for (const ProcessEntry& process : tree) pids.push_back(process.pid);
    std::sort(pids.begin(), pids.end());
    if (look > 0 && pids == seen) return false;
    seen = std::move(pids);
  }
  return true;  // still changing: not ended yet
}

bool SetupProgram::RemoveFile() { return ::unlink(platform_->path.c_str()) == 0 || errno == ENOENT; }
