// POSIX half of the held file: a read-only descriptor of the very file,
// opened by its name once it is in place and compared with the download's
// own descriptor's file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "net/HeldFile.h"
#include "platform/posix/PosixFd.h"
#include "platform/posix/PosixPath.h"

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
  identity_ = IdentityOf(writeHandle);
  return identity_.has_value();
}

bool HeldFile::Confirm(std::u16string_view path) {
  if (!identity_ || handle_ != kNone) return handle_ != kNone;
  // A link planted at the name is not followed.
  UniqueFd readOnly(::open(ToNativePath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  const auto there = IdentityOf(readOnly.Get());
  if (!readOnly || !there || there->volume != identity_->volume || there->fileIdLow != identity_->fileIdLow) {
    Release();
    return false;
  }
  handle_ = readOnly.Release();
  return true;
}

void HeldFile::Release() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
  handle_ = kNone;
  identity_.reset();
}
