// Program starts on POSIX. A started program is a child of the installer;
// each child is reaped when it ends, so none is left a zombie.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "net/Processes.h"
#include "platform/posix/PosixPath.h"
#include "platform/posix/PosixProcess.h"

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

void ReapWhenEnded(pid_t pid) {
  try {
    std::thread([pid] {
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
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

bool MakeExecutable(std::u16string_view path) {
  return ::chmod(ToNativePath(path).c_str(), 0755) == 0;
}
