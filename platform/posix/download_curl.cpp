// The setup download on libcurl. The body goes to a temporary file beside
// the destination that is renamed into place only after a complete,
// successful transfer, so an error page or a partial file never sits where
// the setup program is expected.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "SelectLanguage/DownloadThread.h"
#include "SelectLanguage/SetupDownload.h"
#include "net/Files.h"
#include "net/Text.h"
#include "platform/posix/CurlCommon.h"
#include "platform/posix/PosixFd.h"
#include "platform/posix/PosixPath.h"

namespace {

// Progress is posted at most this often; the final figure always goes out.
constexpr auto kProgressInterval = std::chrono::milliseconds(33);
constexpr long kReceiveBuffer = 256 * 1024;

class TempFile {
 public:
  explicit TempFile(const std::string& destination) : path_(destination + ".partXXXXXX") {
    fd_ = ::mkstemp(path_.data());
    if (fd_ >= 0) ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
  }
  ~TempFile() {
    CloseFd();
    if (!kept_ && fd_ != kNever) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  bool Write(const char* data, std::size_t n) { return WriteAll(fd_, data, n); }
  // Closes and moves the file to `destination`; true when it is there.
  bool Commit(const std::string& destination) {
    if (::close(fd_) != 0) {
      fd_ = kClosed;
      return false;
    }
    fd_ = kClosed;
    if (::rename(path_.c_str(), destination.c_str()) != 0) return false;
    kept_ = true;
    return true;
  }

 private:
  static constexpr int kNever = -1;   // mkstemp failed: nothing to remove
  static constexpr int kClosed = -2;  // closed, file still to be removed
  void CloseFd() {
    if (fd_ >= 0) ::close(fd_);
    if (fd_ >= 0) fd_ = kClosed;
  }
  std::string path_;
  int fd_ = kNever;
  bool kept_ = false;
};

struct Transfer {
  TempFile* file;
  DownloadProgress* progress;
  const std::atomic<bool>* cancel;
  std::chrono::steady_clock::time_point lastPost{};
  curl_off_t lastDone = -1;
  curl_off_t lastTotal = 0;
  bool writeFailed = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto* t = static_cast<Transfer*>(context);
  const size_t n = size * count;
  if (!t->file->Write(data, n)) {
    t->writeFailed = true;
    return 0;  // aborts the transfer
  }
  return n;
}

int OnTransferInfo(void* context, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(context);
  if (t->cancel->load(std::memory_order_relaxed)) return 1;
  if (total <= 0 || done == t->lastDone) return 0;
  const auto now = std::chrono::steady_clock::now();
  if (done != total && now - t->lastPost < kProgressInterval) return 0;
  t->lastPost = now;
  t->lastDone = done;
  t->lastTotal = total;
  t->progress->OnProgress(static_cast<uint64_t>(done), static_cast<uint64_t>(total), 0, nullptr);
  return 0;
}

}  // namespace

bool DownloadUrlToFile(std::u16string_view url, std::u16string_view path, DownloadProgress& progress,
                       const std::atomic<bool>& cancel) {
  if (url.empty() || path.empty()) return false;
  const std::string destination = ToNativePath(path);
  TempFile file(destination);
  if (!file.IsOpen()) return false;  // the folder cannot be written

  CurlEasy curl = NewCurlEasy();
  if (!curl) return false;
  const std::string urlText = Utf16ToUtf8(url);
  Transfer transfer{&file, &progress, &cancel};
  CurlHeaders headers;
  AppendHeader(headers, "Cache-Control: no-cache");
  AppendHeader(headers, "Pragma: no-cache");
  const std::string agent = Utf16ToUtf8(GetApplicationName());

  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, urlText.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);  // an error status is a failed download
  curl_easy_setopt(c, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnTransferInfo);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
  ApplyTrustSettings(c);

  const CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK || transfer.writeFailed || cancel.load()) return false;
  // The last figure always reaches the window, whatever the throttle held back.
  curl_off_t total = 0;
  curl_off_t done = 0;
  curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
  curl_easy_getinfo(c, CURLINFO_SIZE_DOWNLOAD_T, &done);
  if (total > 0 && transfer.lastDone != done) {
    progress.OnProgress(static_cast<uint64_t>(done), static_cast<uint64_t>(total), 0, nullptr);
  }
  return file.Commit(destination);
}
