// Program starts on POSIX, and whether a program runs. A started program is
// a child of the installer; each child is reaped when it ends, so none is
// left a zombie.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "net/Processes.h"
#include "platform/posix/PosixFd.h"
#include "platform/posix/PosixPath.h"
#include "platform/posix/PosixProcess.h"
#include "platform/posix/ProcessTable.h"

extern char** environ;

pid_t SpawnProgram(std::u16string_view path) {
  const std::string native = ToNativePath(path);
  if (native.empty()) return -1;
  char* argv[] = {const_cast<char*>(native.c_str()), nullptr};
  pid_t pid = 0;
  // glibc reports a failed exec here too, so a file that is no program fails.
  if (::posix_spawn(&pid, native.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  return pid;
}

pid_t SpawnProgramFromFile(int fd, std::u16string_view path) {
  const std::string native = ToNativePath(path);
  if (native.empty() || fd < 0) return -1;
  char head[2] = {};
  const bool script = ::pread(fd, head, sizeof head, 0) == 2 && head[0] == '#' && head[1] == '!';
  char* argv[] = {const_cast<char*>(native.c_str()), nullptr};
  // The child tells a failed start through this pipe; a successful one
  // closes it unwritten.
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
  UniqueFd readEnd(ends[0]);
  UniqueFd writeEnd(ends[1]);
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    // Only async-signal-safe calls here: the parent has other threads.
    if (script) ::fcntl(fd, F_SETFD, 0);
    ::fexecve(fd, argv, environ);
    const int error = errno;
    [[maybe_unused]] const ssize_t told = ::write(writeEnd.Get(), &error, sizeof error);
    ::_exit(127);
  }
  writeEnd.Reset();
  int error = 0;
  const ssize_t got = RetryInterrupted([&] { return ::read(readEnd.Get(), &error, sizeof error); });
  if (got == 0) return pid;
  RetryInterrupted([pid] { return ::waitpid(pid, nullptr, 0); });
  return -1;
}

void ReapWhenEnded(pid_t pid) {
  try {
    std::thread([pid] { RetryInterrupted([pid] { return ::waitpid(pid, nullptr, 0); }); }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the child stays a zombie until this process ends.
  }
}

bool StartProgram(std::u16string_view path) {
  const pid_t pid = SpawnProgram(path);
  if (pid < 0) return false;
  ReapWhenEnded(pid);
  return true;
}

bool ProgramRuns(std::u16string_view path) {
  const std::string native = ToNativePath(path);
  const UniqueFd file(native.empty() ? -1 : ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!file) return false;
  const KernelFileIds ids = KernelIdsOf(file.Get());
  const pid_t self = ::getpid();
  for (const ProcessEntry& process : ListProcesses()) {
    if (process.pid != self && process.state != 'Z' && RunsOneOf(process, ids) == Finding::kYes) return true;
  }
  return false;
}

bool MakeExecutable(std::u16string_view path) { return ::chmod(ToNativePath(path).c_str(), 0755) == 0; }
