// Win32 half of the held file. A file that is open for writing cannot be
// started (CreateProcessW fails on it), and no handle is kept open in between:
// what is kept is the file's identity, which the start compares with the file
// it reopens.
#include "net/HeldFile.h"
#include "platform/win32/WinHandles.h"

std::optional<FileIdentity> IdentityOf(intptr_t handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (handle == HeldFile::kNone || !::GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle), &info)) {
    return std::nullopt;
  }
  FileIdentity identity;
  identity.volume = info.dwVolumeSerialNumber;
  identity.fileIdHigh = info.nFileIndexHigh;
  identity.fileIdLow = info.nFileIndexLow;
  identity.lastWrite = static_cast<int64_t>(static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                                            info.ftLastWriteTime.dwLowDateTime);
  return identity;
}

bool HeldFile::Take(intptr_t writeHandle) {
  Release();
  identity_ = IdentityOf(writeHandle);
  return identity_.has_value();
}

// The comparison is made when the file is reopened to start it.
bool HeldFile::Confirm(std::u16string_view) { return IsHeld(); }

void HeldFile::Release() { identity_.reset(); }
