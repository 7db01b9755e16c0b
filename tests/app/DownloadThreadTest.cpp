// The download worker against the sandbox's files service on loopback.
#include <gtest/gtest.h>

#include <map>

#include "SelectLanguage/DownloadProgress.h"
#include "SelectLanguage/DownloadThread.h"
#include "SelectLanguage/Messages.h"
#include "net/Text.h"
#include "platform/headless/HeadlessHost.h"
#include "tests/app/RecordingWindow.h"
#include "tests/app/ServedFilesFixture.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

class DownloadThreadTest : public ServedFilesTest {
 protected:
  void SetUp() override {
    ServedFilesTest::SetUp();
    host_.Open(window_);
    thread_.Start();
  }

  std::unique_ptr<DownloadRequest> Request(const std::string& url, const std::filesystem::path& path) {
    auto request = std::make_unique<DownloadRequest>();
    const std::u16string u = Utf8ToUtf16(url);
    const std::u16string p = Utf8ToUtf16(path.string());
    std::copy(u.begin(), u.end(), request->url);
    std::copy(p.begin(), p.end(), request->path);
    return request;
  }
  bool WaitForResult(std::chrono::milliseconds limit = 10000ms) {
    return host_.RunUntil(
        [&] { return window_.Count(kMsgSetupDownloaded) + window_.Count(kMsgSetupDownloadFailed) > 0; }, limit);
  }

  TempDir dir_;
  HeadlessHost host_;
  RecordingWindow window_;
  DownloadThread thread_{host_};
};

std::string Pattern(std::size_t n) {
  std::string body(n, '\0');
  for (std::size_t i = 0; i < n; ++i) body[i] = static_cast<char>(i * 131 % 251);
  return body;
}

TEST_F(DownloadThreadTest, AGoodDownloadReportsProgressThenSuccess) {
  const std::string body = Pattern(3 * 1024 * 1024 + 7);
  const std::string url = Serve("/setup/en.exe", body);
  const auto target = dir_.Path() / "_Set_UpZK.exe";
  ASSERT_TRUE(thread_.PostToThread(kMsgDownloadRequest, Request(url, target)));
  ASSERT_TRUE(WaitForResult());
  host_.PumpPending();
  EXPECT_EQ(window_.Count(kMsgSetupDownloaded), 1);
  EXPECT_EQ(window_.Count(kMsgSetupDownloadFailed), 0);
  EXPECT_EQ(ReadFileBytes(target), body);
  // Progress first, each with a known total, the last one complete; the result last.
  ASSERT_GE(window_.Count(kMsgDownloadProgress), 1);
  EXPECT_EQ(window_.messages.back().id, kMsgSetupDownloaded);
  const DialogMessage* last = nullptr;
  for (const auto& m : window_.messages) {
    if (m.id != kMsgDownloadProgress) continue;
    EXPECT_EQ(m.lParam, static_cast<int64_t>(body.size()));
    last = &m;
  }
  EXPECT_EQ(last->wParam, body.size());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}), 1);  // no temporary left
}

TEST_F(DownloadThreadTest, AMissingUrlGivesOneFailureAndNoFile) {
  const auto target = dir_.Path() / "_Set_UpZK.exe";
  thread_.PostToThread(kMsgDownloadRequest, Request(Url("/missing.exe"), target));  // a 404 with an HTML body
  ASSERT_TRUE(WaitForResult());
  host_.RunUntil([] { return false; }, 200ms);  // nothing more arrives
  EXPECT_EQ(window_.Count(kMsgSetupDownloadFailed), 1);
  EXPECT_EQ(window_.Count(kMsgSetupDownloaded), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
}

// Each fault hits every attempt, and the server ignores Range, so resumed
// attempts cannot piece the file together.
struct BrokenTransfer {
  const char* mode;
  std::map<std::string, std::string> parameters;
};

TEST_F(DownloadThreadTest, BrokenTransfersLeaveNoFileBehind) {
  const std::string url = Serve("/setup.exe", Pattern(200000));
  const auto target = dir_.Path() / "_Set_UpZK.exe";
  const BrokenTransfer faults[] = {
      {"drop", {{"after", "50000"}}},  // reset mid-body
      {"short", {}},                   // longer length than body
      {"500", {}},                     // error page
  };
  for (const BrokenTransfer& fault : faults) {
    ASSERT_TRUE(sandbox_.SetFault("files", "no-range"));
    ASSERT_TRUE(sandbox_.AddFault("files", fault.mode, fault.parameters));
    window_.messages.clear();
    thread_.PostToThread(kMsgDownloadRequest, Request(url, target));
    ASSERT_TRUE(WaitForResult(30000ms)) << fault.mode;  // after five attempts and their pauses
    EXPECT_EQ(window_.Count(kMsgSetupDownloadFailed), 1) << fault.mode;
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path())) << fault.mode;
  }
}

TEST_F(DownloadThreadTest, AnUnwritableDestinationFails) {
  const std::string url = Serve("/s.exe", "MZ setup");
  thread_.PostToThread(kMsgDownloadRequest, Request(url, dir_.Path() / "no-such-folder" / "s.exe"));
  ASSERT_TRUE(WaitForResult());
  EXPECT_EQ(window_.Count(kMsgSetupDownloadFailed), 1);
}

TEST_F(DownloadThreadTest, NullRequestsAndOtherMessagesAreSwallowed) {
  thread_.PostToThread(kMsgDownloadRequest, nullptr);
  thread_.PostToThread(4242, nullptr);
  host_.RunUntil([] { return false; }, 300ms);
  EXPECT_TRUE(window_.messages.empty());
  // The worker still serves the next request.
  thread_.PostToThread(kMsgDownloadRequest, Request(Serve("/s.exe", "ok"), dir_.Path() / "s.exe"));
  ASSERT_TRUE(WaitForResult());
  EXPECT_EQ(window_.Count(kMsgSetupDownloaded), 1);
}

// The bar hears only of totals; bytes of an unknown total go apart, for
// the status line. Nothing goes out without a window or after the stop.
TEST(DownloadProgressTest, TheBarNeverGetsAnEmptyRange) {
  HeadlessHost host;
  RecordingWindow window;
  host.Open(window);
  EXPECT_EQ(DownloadProgress().OnProgress(5, 10, 0, nullptr), 0);
  WorkerLink link(&host);
  DownloadProgress progress(&link);
  EXPECT_EQ(progress.OnProgress(5, 0, 0, nullptr), 0);
  EXPECT_EQ(progress.OnProgress(5, 10, 0, nullptr), 0);
  link.RequestStop();
  EXPECT_EQ(progress.OnProgress(6, 10, 0, nullptr), 0);  // a stopped link reaches nothing
  host.PumpPending();
  ASSERT_EQ(window.messages.size(), 2u);
  EXPECT_EQ(window.messages[0].id, kMsgDownloadBytes);
  EXPECT_EQ(window.messages[0].wParam, 5u);
  EXPECT_EQ(window.messages[1].id, kMsgDownloadProgress);
  EXPECT_EQ(window.messages[1].wParam, 5u);
  EXPECT_EQ(window.messages[1].lParam, 10);
}

using DownloadThreadStop = ServedFilesTest;

TEST_F(DownloadThreadStop, AStalledDownloadDoesNotHoldTheProgramOpen) {
  TempDir dir;
  const std::string url = Serve("/stall.exe", "late");
  ASSERT_TRUE(sandbox_.SetFault("files", "stall-body", {{"after", "0"}}));  // the head, then silence
  const auto start = std::chrono::steady_clock::now();
  {
    HeadlessHost host;
    DownloadThread thread(host);
    thread.Start();
    auto request = std::make_unique<DownloadRequest>();
    const std::u16string u = Utf8ToUtf16(url);
    const std::u16string p = dir.U16("stall.exe");
    std::copy(u.begin(), u.end(), request->url);
    std::copy(p.begin(), p.end(), request->path);
    thread.PostToThread(kMsgDownloadRequest, std::move(request));
    std::this_thread::sleep_for(300ms);
  }  // stopping the worker abandons the transfer
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
