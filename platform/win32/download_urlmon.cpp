// The setup download on urlmon (URLDownloadToFileW) with the program's one
// static bind-status callback.
//
// urlmon reports success for an answer with an error status and stores the
// error page (measured under wine: S_OK for a 404). Such a page must never
// sit where the setup program is expected, so the body goes to a temporary
// name beside the destination; the URL's HTTP status is then asked once
// more through WinINet (a GET whose body is not read), and only a 2xx status
// moves the file into place. Anything else is a failed download (2027).
#include <string>

#include "SelectLanguage/DownloadThread.h"
#include "SelectLanguage/SetupDownload.h"
#include "net/Files.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinHandles.h"

#include <urlmon.h>

namespace {

// The bind-status callback: no reference counting (the object lives for the
// whole process), no further interfaces, progress forwarded while a total is
// known. The download in hand is named before each call; downloads run one
// at a time on the worker thread.
class BindStatusCallback final : public IBindStatusCallback {
 public:
  void Begin(DownloadProgress* progress, const std::atomic<bool>* cancel) {
    progress_ = progress;
    cancel_ = cancel;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return E_NOTIMPL;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 0; }
  ULONG STDMETHODCALLTYPE Release() override { return 0; }
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                       LPCWSTR statusText) override {
    // The window goes away with a download under way: abandon it.
    if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) return E_ABORT;
    if (progress_ != nullptr) {
      progress_->OnProgress(progress, progressMax, statusCode, reinterpret_cast<const char16_t*>(statusText));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

 private:
  DownloadProgress* progress_ = nullptr;
  const std::atomic<bool>* cancel_ = nullptr;
};

BindStatusCallback bindStatus;

class ComScope {
 public:
  ComScope() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (initialised_) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_;
};

// The URL's status code as the server answers it now, or 0.
DWORD QueryHttpStatus(const std::wstring& url) {
  const InternetHandle internet(::InternetOpenW(L"MyTest agent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet) return 0;
  const InternetHandle request(::InternetOpenUrlW(
      internet.get(), url.c_str(), nullptr, 0,
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0));
  if (!request) return 0;
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
    return 0;
  }
  return status;
}

}  // namespace

bool DownloadUrlToFile(std::u16string_view url, std::u16string_view path, DownloadProgress& progress,
                       const std::atomic<bool>& cancel) {
  if (url.empty() || path.empty()) return false;
  const std::wstring source = ToWide(url);
  const std::wstring destination = ToWide(path);
  const std::wstring partial = destination + L".part";
  ::DeleteFileW(partial.c_str());

  HRESULT result = E_FAIL;
  {
    const ComScope com;
    bindStatus.Begin(&progress, &cancel);
    result = ::URLDownloadToFileW(nullptr, source.c_str(), partial.c_str(), 0, &bindStatus);
    bindStatus.Begin(nullptr, nullptr);
  }
  if (FAILED(result) || cancel.load()) {
    ::DeleteFileW(partial.c_str());
    return false;
  }
  // The next download of the same URL comes from the server again.
  ::DeleteUrlCacheEntryW(source.c_str());
  const DWORD status = QueryHttpStatus(source);
  if (status < 200 || status > 299 ||
      !::MoveFileExW(partial.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileW(partial.c_str());
    return false;
  }
  return true;
}
