// Program starts on POSIX, and the rule that makes "the setup program's file
// can be deleted" mean "the setup program has ended": a file from which a
// still running child was started cannot be deleted (Windows refuses that
// by itself; Linux would not).
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "net/Processes.h"
#include "net/Files.h"
#include "platform/posix/PosixPath.h"

extern char** environ;

namespace {

struct Child {
  pid_t pid;
  dev_t device;
  ino_t inode;
};

std::mutex childrenMutex;
std::vector<Child> children;

// Reaps the children that have ended, without waiting for any.
void ReapEnded() {
  std::erase_if(children, [](const Child& c) { return ::waitpid(c.pid, nullptr, WNOHANG) != 0; });
}

}  // namespace

bool StartProgram(std::u16string_view path) {
  const std::string native = ToNativePath(path);
  if (native.empty()) return false;
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return false;
  char* argv[] = {const_cast<char*>(native.c_str()), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, native.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  std::lock_guard lock(childrenMutex);
  ReapEnded();
  children.push_back({pid, st.st_dev, st.st_ino});
  return true;
}

bool MakeExecutable(std::u16string_view path) {
  return ::chmod(ToNativePath(path).c_str(), 0755) == 0;
}

bool DeleteFilePath(std::u16string_view path) {
  const std::string native = ToNativePath(path);
  {
    std::lock_guard lock(childrenMutex);
    ReapEnded();
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0) {
      for (const Child& c : children) {
        if (c.device == st.st_dev && c.inode == st.st_ino) return false;  // still running from it
      }
    }
  }
  return ::unlink(native.c_str()) == 0;
}
