// The setup download on Windows (the portable retries and resumes over the
// WinINet attempt and the delete-on-close partial file) against the
// sandbox's files service; its counts show what went over the wire.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "SelectLanguage/DownloadProgress.h"
#include "SelectLanguage/SetupDownload.h"
#include "net/HeldFile.h"
#include "net/Text.h"
#include "tests/support/QuickRetries.h"
#include "tests/support/TempDir.h"
#include "tests/windows/WinSandbox.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::optional<FileIdentity> IdentityAt(const fs::path& path) {
  const HANDLE file = ::CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  const auto identity = IdentityOf(reinterpret_cast<intptr_t>(file));
  ::CloseHandle(file);
  return identity;
}

constexpr std::size_t kFileSize = 4 << 20;
const std::string kPath = "/win-setup/s.exe";

DownloadRetryTimings Quick() { return QuickRetries(); }

class SetupDownloadWin32Test : public WinSandboxTest {
 protected:
  void SetUp() override {
    WinSandboxTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    file_.resize(kFileSize);
    for (std::size_t i = 0; i < file_.size(); ++i) file_[i] = static_cast<char>((i * 131 + i / 4096) % 251);
    fs::create_directories(servedDir_ / "win-setup");
    WriteFileBytes(servedDir_ / "win-setup" / "s.exe", file_);
  }

  fs::path Target() const { return target_.Path() / "_Set_UpZK.exe"; }
  std::u16string Url(const std::string& path = kPath) const { return files_ + Utf8ToUtf16(path); }
  bool Download(const std::u16string& url) {
    return DownloadUrlToFile(url, Utf8ToUtf16(Target().string()), progress_, cancel_, Quick());
  }
  bool Download() { return Download(Url()); }
  SandboxServed Served() const { return WinSandboxTest::Served("files", kPath); }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(target_.Path())) names.push_back(entry.path().filename().string());
    return names;
  }
  void ExpectTheWholeFileInPlace() {
    EXPECT_TRUE(ReadFileBytes(Target()) == file_) << "the file differs from the one served";
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"_Set_UpZK.exe"}) << "nothing else beside it";
  }

  TempDir target_;
  DownloadProgress progress_;  // posts nowhere
  std::atomic<bool> cancel_{false};
  std::string file_;
};

TEST_F(SetupDownloadWin32Test, DropsAreResumedWithOneRequestPerAttempt) {
  ASSERT_TRUE(SetFault("files", "drop", {{"after", "2097152,1677722"}, {"times", "2"}}));
  ASSERT_TRUE(Download());
  ExpectTheWholeFileInPlace();
  EXPECT_EQ(Served().requests, 3) << "one request per attempt";
  EXPECT_EQ(Served().bodyBytes, static_cast<long long>(kFileSize)) << "every byte served once";
  SandboxRequest last = LastRequest("files");
  EXPECT_EQ(last.headers["range"], "bytes=3774874-");
  EXPECT_EQ(last.headers["if-range"].substr(0, 1), "\"") << "the strong ETag";
}

TEST_F(SetupDownloadWin32Test, AServerThatIgnoresRangeStartsOver) {
  ASSERT_TRUE(SetFault("files", "no-range"));
  ASSERT_TRUE(AddFault("files", "drop", {{"after", "1000000"}, {"times", "1"}}));
  ASSERT_TRUE(Download());
  ExpectTheWholeFileInPlace();
  EXPECT_EQ(Served().requests, 2);
  EXPECT_EQ(Served().bodyBytes, static_cast<long long>(kFileSize) + 1000000);
}

TEST_F(SetupDownloadWin32Test, ANotFoundIsNotTriedAgain) {
  ASSERT_TRUE(SetFault("files", "404"));
  EXPECT_FALSE(Download());
  EXPECT_EQ(Served().requests, 1) << "no retry";
  ASSERT_TRUE(SetFault("files", "ok"));
  EXPECT_FALSE(Download(Url("/win-setup/missing.exe")));
  EXPECT_EQ(WinSandboxTest::Served("files", "/win-setup/missing.exe").requests, 1);
  EXPECT_TRUE(FolderEntries().empty()) << "neither the file nor a partial one";
}

// Download hosts hand out links that work once: the body of the one answer
// is the download, nothing is asked again to learn its status.
TEST_F(SetupDownloadWin32Test, ALinkThatWorksOnceIsEnough) {
  ASSERT_TRUE(SetFault("files", "once", {{"status", "410"}}));
  ASSERT_TRUE(Download());
  ExpectTheWholeFileInPlace();
  EXPECT_EQ(Served().requests, 1);
}

// A primary broken twice is resumed on the mirror under the same ETag.
TEST_F(SetupDownloadWin32Test, APrimaryBrokenTwiceIsResumedOnTheMirror) {
  ASSERT_TRUE(SetFault("files", "drop", {{"after", "1048576"}, {"times", "2"}}));
  const std::u16string primary = Url(), mirror = mirror_ + Utf8ToUtf16(kPath);
  const std::u16string_view urls[] = {primary, mirror};
  EXPECT_EQ(DownloadSetup(urls, Utf8ToUtf16(Target().string()), {Sha256(file_), file_.size()}, progress_, cancel_,
                          Quick(), nullptr),
            SetupDownloadEnd::kDownloaded);
  ExpectTheWholeFileInPlace();
  EXPECT_EQ(Served().requests, 2);
  EXPECT_EQ(WinSandboxTest::Served("mirror", kPath).bodyBytes, static_cast<long long>(kFileSize) - 2097152);
}

TEST_F(SetupDownloadWin32Test, FiveBrokenAttemptsFailAndLeaveNothing) {
  ASSERT_TRUE(SetFault("files", "drop", {{"after", "300000"}}));
  EXPECT_FALSE(Download());
  EXPECT_EQ(Served().requests, 5);
  EXPECT_EQ(Served().bodyBytes, 1500000) << "each attempt resumed";
  EXPECT_TRUE(FolderEntries().empty()) << "neither the file nor a partial one";
}

// While the download stalls, its partial file has the fixed name; a cancel
// ends the download at once and the file goes with it.
TEST_F(SetupDownloadWin32Test, ACancelDuringAStalledDownloadEndsItAndLeavesNothing) {
  ASSERT_TRUE(SetFault("files", "stall-body"));
  auto download = std::async(
      std::launch::async, [&] { return DownloadUrlToFile(Url(), Utf8ToUtf16(Target().string()), progress_, cancel_); });
  const fs::path partial = target_.Path() / "_Set_UpZK.exe.part";
  for (int i = 0; i < 100 && Served().bodyBytes < static_cast<long long>(kFileSize / 2); ++i) {
    std::this_thread::sleep_for(50ms);
  }
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(fs::exists(partial)) << "the download grows under the fixed name";
  const auto start = std::chrono::steady_clock::now();
  cancel_.store(true);
  EXPECT_FALSE(download.get());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
  EXPECT_TRUE(FolderEntries().empty());
}

// Checked against the configuration's SHA-256 as it arrives: a flipped byte
// is refused without a further attempt and leaves nothing; the expected file
// is put in place and its identity held.
TEST_F(SetupDownloadWin32Test, TheHashDecidesWhetherTheFileIsPutInPlace) {
  std::string other = file_;
  other[kFileSize / 2] ^= 0x01;
  HeldFile held;
  EXPECT_EQ(DownloadSetup(Url(), Utf8ToUtf16(Target().string()), {Sha256(other), file_.size()}, progress_, cancel_,
                          Quick(), &held),
            SetupDownloadEnd::kChecksumDiffers);
  EXPECT_EQ(Served().requests, 1) << "no further attempt";
  EXPECT_TRUE(FolderEntries().empty()) << "neither the file nor a partial one";
  EXPECT_FALSE(held.IsHeld());

  ASSERT_TRUE(SetFault("files", "drop", {{"after", "2097152"}, {"times", "1"}}));
  EXPECT_EQ(DownloadSetup(Url(), Utf8ToUtf16(Target().string()), {Sha256(file_), file_.size()}, progress_, cancel_,
                          Quick(), &held),
            SetupDownloadEnd::kDownloaded);
  ExpectTheWholeFileInPlace();
  ASSERT_TRUE(held.IsHeld());
  EXPECT_EQ(IdentityAt(Target()), held.Identity()) << "the file put in place is the one checked";
}

}  // namespace
