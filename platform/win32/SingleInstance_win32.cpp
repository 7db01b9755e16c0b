// One installer at a time on Windows: a named mutex in the session's local
// namespace, and beside it a small shared record with the first start's
// process id, by which a later start finds the first one's window (its
// dialog titled "Select language", not just any window of that title) and
// brings it to the front itself.
#include "SelectLanguage/SingleInstance.h"

#include <string>

#include "platform/win32/WinHandles.h"

namespace {

constexpr wchar_t kMutexName[] = L"Local\\ZK.SelectLanguage.Installer";
constexpr wchar_t kOwnerName[] = L"Local\\ZK.SelectLanguage.Installer.Owner";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kWindowTitle[] = L"Select language";
// How long a later start looks for the first one's window, which shows
// itself only once its initialisation (the region lookup) is done; after
// that the later start says another installer runs.
constexpr DWORD kFindTimeoutMs = 2000;
constexpr DWORD kFindIntervalMs = 100;

struct ViewUnmapper {
  void operator()(void* view) const {
    if (view != nullptr) ::UnmapViewOfFile(view);
  }
};
using MappedView = std::unique_ptr<void, ViewUnmapper>;

DWORD ReadOwnerProcessId() {
  const KernelHandle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, kOwnerName));
  if (!mapping) return 0;
  const MappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(DWORD)));
  return view ? *static_cast<const volatile DWORD*>(view.get()) : 0;
}

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchOwnersDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId || !::IsWindowVisible(window)) return TRUE;
  wchar_t text[64] = {};
  if (::GetClassNameW(window, text, 64) == 0 || std::wstring(text) != kDialogClass) return TRUE;
  if (::GetWindowTextW(window, text, 64) == 0 || std::wstring(text) != kWindowTitle) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindOwnersWindow(DWORD processId) {
  WindowSearch search{processId, nullptr};
  ::EnumWindows(MatchOwnersDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

struct SingleInstance::State {
  Claim claim = Claim::Unguarded;
  std::string problem;
  KernelHandle mutex;
  KernelHandle owner;

  // Publishes this process as the first start; without the record a later
  // start still exits, it just cannot bring the window forward.
  void PublishOwner() {
    owner.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DWORD), kOwnerName));
    if (!owner) return;
    const MappedView view(::MapViewOfFile(owner.get(), FILE_MAP_WRITE, 0, 0, sizeof(DWORD)));
    if (view) *static_cast<volatile DWORD*>(view.get()) = ::GetCurrentProcessId();
  }
};

SingleInstance::SingleInstance() : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.mutex.reset(::CreateMutexW(nullptr, FALSE, kMutexName));
  const DWORD error = ::GetLastError();
  if (!s.mutex) {
    // A mutex of that name that this start may not open is another start's.
    if (error == ERROR_ACCESS_DENIED)
      s.claim = Claim::Second;
    else
      s.problem = "the installer's mutex could not be created (error " + std::to_string(error) + ")";
    return;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    s.claim = Claim::Second;
    s.mutex.reset();
    return;
  }
  s.claim = Claim::First;
  s.PublishOwner();
}

SingleInstance::~SingleInstance() = default;  // closing the handles releases the name

SingleInstance::Claim SingleInstance::Outcome() const { return state_->claim; }

const std::string& SingleInstance::Problem() const { return state_->problem; }

bool SingleInstance::BringRunningToFront() {
  if (state_->claim != Claim::Second) return false;
  for (DWORD waited = 0;; waited += kFindIntervalMs) {
    const DWORD processId = ReadOwnerProcessId();
    if (const HWND window = processId != 0 ? FindOwnersWindow(processId) : nullptr) {
      if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
      // This start was just made by the user, so it may give the foreground away.
      return ::SetForegroundWindow(window) != FALSE;
    }
    if (waited >= kFindTimeoutMs) return false;
    ::Sleep(kFindIntervalMs);
  }
}

void SingleInstance::AnswerLaterStarts(std::function<bool(const std::string&)>) {
  // A later start brings the window forward by itself (BringRunningToFront).
}
