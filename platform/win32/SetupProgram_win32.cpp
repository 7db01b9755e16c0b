// Win32 half of the setup program's seam. The started process is its
// process handle. Windows refuses to delete a file while any process runs
// it, or holds it open without allowing deletion, so the removal itself
// answers whether the file is still in use.
#include <string>
#include <system_error>
#include <thread>

#include "SelectLanguage/SetupProgram.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinProcess.h"

namespace {

// Calls back once the process has ended, from a thread that waits on the
// process and on a stop event; never after it was stopped.
class EndWatch {
 public:
  EndWatch(HANDLE process, std::function<void()> onEnded) {
    if (!onEnded) return;
    stop_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (stop_ == nullptr) return;  // then only the timer's ticks see the end
    try {
      thread_ = std::thread([process, stop = stop_.get(), onEnded = std::move(onEnded)] {
        const HANDLE waits[2] = {stop, process};
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) onEnded();
      });
    } catch (const std::system_error&) {
      // No thread: the ticks alone see the end.
    }
  }
  ~EndWatch() {
    if (!thread_.joinable()) return;
    ::SetEvent(stop_.get());
    thread_.join();
  }
  EndWatch(const EndWatch&) = delete;
  EndWatch& operator=(const EndWatch&) = delete;

 private:
  KernelHandle stop_;
  std::thread thread_;
};

}  // namespace

struct SetupProgram::Platform {
  std::wstring path;
  KernelHandle process;
  std::optional<EndWatch> watch;  // after the handle it waits on: stopped first
};

SetupProgram::SetupProgram(std::unique_ptr<Platform> platform) : platform_(std::move(platform)) {}

SetupProgram::~SetupProgram() = default;

std::unique_ptr<SetupProgram> SetupProgram::Start(std::u16string_view path, std::function<void()> wake) {
  auto platform = std::make_unique<Platform>();
  platform->path = ToWide(path);
  platform->process = StartProcess(path);
  if (platform->process == nullptr) return nullptr;
  platform->watch.emplace(platform->process.get(), std::move(wake));
  return std::unique_ptr<SetupProgram>(new SetupProgram(std::move(platform)));
}

// The checked file was closed when its download ended (a file open for
// writing cannot be started). It is opened again, allowing others to read it
// but neither to write nor to delete or rename it, and compared with what was
// checked; only the very same file is started, and the hold lasts until the
// process has it.
std::unique_ptr<SetupProgram> SetupProgram::Start(std::u16string_view path, HeldFile checked, bool& replaced,
                                                  std::function<void()> wake) {
  replaced = false;
  auto platform = std::make_unique<Platform>();
  platform->path = ToWide(path);
  if (!checked.Identity()) return nullptr;
  const KernelHandle file(::CreateFileW(platform->path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || file.get() == INVALID_HANDLE_VALUE) return nullptr;
  const auto now = IdentityOf(reinterpret_cast<intptr_t>(file.get()));
  if (!now || *now != *checked.Identity()) {
    replaced = true;
    return nullptr;
  }
  platform->process = StartProcess(path);
  if (platform->process == nullptr) return nullptr;
  platform->watch.emplace(platform->process.get(), std::move(wake));
  return std::unique_ptr<SetupProgram>(new SetupProgram(std::move(platform)));
}

std::optional<int> SetupProgram::ExitCode() {
  const HANDLE process = platform_->process.get();
  DWORD code = 0;
  if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process, &code)) {
    return std::nullopt;
  }
  return static_cast<int>(code);
}

SetupProgram::FileUse SetupProgram::FileInUse() { return FileUse::kFree; }  // RemoveFile fails while it is

namespace {

bool Remove(const std::wstring& path) {
  if (::DeleteFileW(path.c_str())) return true;
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

bool SetupProgram::RemoveFile() { return Remove(platform_->path); }

// A running program's file cannot go before the program does. The installer
// runs elevated, as a removal at the next restart needs.
bool SetupProgram::Abandon() {
  return RemoveFile() || ::MoveFileExW(platform_->path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

// 3010 and 1641: done, and a restart is needed (or was started) to finish.
bool SetupProgram::Succeeded(int exitCode) { return exitCode == 0 || exitCode == 3010 || exitCode == 1641; }

// The delete itself answers: Windows refuses it while a process runs the
// file or holds it without sharing its deletion.
bool SetupProgram::RemoveLeftover(std::u16string_view path, const std::atomic<bool>&) {
  const std::wstring wide = ToWide(path);
  return !wide.empty() && Remove(wide);
}
