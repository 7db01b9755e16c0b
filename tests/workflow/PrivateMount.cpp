#include "tests/workflow/PrivateMount.h"

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

PrivateMount::PrivateMount(const std::string& folder, const std::string& options, bool readOnly) : folder_(folder) {
  if (::unshare(CLONE_NEWNS) != 0) {
    error_ = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
    return;
  }
  // Nothing mounted from here on may reach the machine's own namespace.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    error_ = std::string("making / private: ") + std::strerror(errno);
    return;
  }
  const unsigned long flags = readOnly ? MS_RDONLY : 0;
  if (::mount("zk-test", folder.c_str(), "tmpfs", flags, options.c_str()) != 0) {
    error_ = "mount -t tmpfs -o " + options + " " + folder + ": " + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

bool PrivateMount::RemountReadOnly() {
  return mounted_ && ::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

PrivateMount::~PrivateMount() {
  if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}
