// POSIX half of the held file: a second, read-only descriptor of the very
// file, opened through the download's own descriptor (its /proc name reaches
// the file itself, named or not, never whatever has its path).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "net/HeldFile.h"
#include "platform/posix/PosixFd.h"

std::optional<FileIdentity> IdentityOf(intptr_t handle) {
  struct stat st {};
  if (handle < 0 || ::fstat(static_cast<int>(handle), &st) != 0) return std::nullopt;
  FileIdentity identity;
  identity.volume = static_cast<uint64_t>(st.st_dev);
  identity.fileIdLow = static_cast<uint64_t>(st.st_ino);
  identity.lastWrite = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return identity;
}

bool HeldFile::Take(intptr_t writeHandle) {
  Release();
  if (writeHandle < 0) return false;
  const std::string self = "/proc/self/fd/" + std::to_string(writeHandle);
  UniqueFd readOnly(::open(self.c_str(), O_RDONLY | O_CLOEXEC));
  if (!readOnly) return false;
  const auto mine = IdentityOf(readOnly.Get());
  // The reopened descriptor must be the download's own file.
  if (!mine || mine != IdentityOf(writeHandle)) return false;
  handle_ = readOnly.Release();
  identity_ = mine;
  return true;
}

void HeldFile::Release() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
  handle_ = kNone;
  identity_.reset();
}
