// The download worker against a real HTTP server on loopback.
#include <gtest/gtest.h>

#include "SelectLanguage/DownloadProgress.h"
#include "SelectLanguage/DownloadThread.h"
#include "SelectLanguage/Messages.h"
#include "net/Text.h"
#include "platform/headless/HeadlessHost.h"
#include "tests/app/RecordingWindow.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

class DownloadThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.Open(window_);
    DownloadProgress::Instance().SetWindow(&host_);
    thread_.Start();
  }
  void TearDown() override { DownloadProgress::Instance().SetWindow(nullptr); }

  std::unique_ptr<DownloadRequest> Request(const std::string& url, const std::filesystem::path& path) {
    auto request = std::make_unique<DownloadRequest>();
    const std::u16string u = Utf8ToUtf16(url);
    const std::u16string p = Utf8ToUtf16(path.string());
    std::copy(u.begin(), u.end(), request->url);
    std::copy(p.begin(), p.end(), request->path);
    request->progress = &DownloadProgress::Instance();
    return request;
  }
  bool WaitForResult(std::chrono::milliseconds limit = 10000ms) {
    return host_.RunUntil(
        [&] { return window_.Count(kMsgSetupDownloaded) + window_.Count(kMsgSetupDownloadFailed) > 0; }, limit);
  }

  TempDir dir_;
  HeadlessHost host_;
  RecordingWindow window_;
  DownloadThread thread_;
};

std::string Pattern(std::size_t n) {
  std::string body(n, '\0');
  for (std::size_t i = 0; i < n; ++i) body[i] = static_cast<char>(i * 131 % 251);
  return body;
}

TEST_F(DownloadThreadTest, AGoodDownloadReportsProgressThenSuccess) {
  const std::string body = Pattern(3 * 1024 * 1024 + 7);
  LoopbackHttpServer server([&](const HttpRequestSeen&) { return HttpAnswer{200, body}; });
  const auto target = dir_.Path() / "_Set_UpZK.exe";
  ASSERT_TRUE(thread_.PostToThread(kMsgDownloadRequest, Request(server.Url("/setup/en.exe"), target)));
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
  LoopbackHttpServer server([](const HttpRequestSeen&) { return HttpAnswer{404, "<html>not found</html>"}; });
  const auto target = dir_.Path() / "_Set_UpZK.exe";
  thread_.PostToThread(kMsgDownloadRequest, Request(server.Url("/missing.exe"), target));
  ASSERT_TRUE(WaitForResult());
  host_.RunUntil([] { return false; }, 200ms);  // nothing more arrives
  EXPECT_EQ(window_.Count(kMsgSetupDownloadFailed), 1);
  EXPECT_EQ(window_.Count(kMsgSetupDownloaded), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
}

TEST_F(DownloadThreadTest, BrokenTransfersLeaveNoFileBehind) {
  const std::string body = Pattern(200000);
  int mode = 0;
  LoopbackHttpServer server([&](const HttpRequestSeen&) {
    HttpAnswer answer{200, body};
    if (mode == 0) answer.resetAfterBytes = 50000;              // reset mid-body
    if (mode == 1) answer.declaredLength = body.size() + 1000;  // longer length than body
    if (mode == 2) answer.status = 500;                         // error page
    return answer;
  });
  const auto target = dir_.Path() / "_Set_UpZK.exe";
  for (mode = 0; mode < 3; ++mode) {
    window_.messages.clear();
    thread_.PostToThread(kMsgDownloadRequest, Request(server.Url("/setup.exe"), target));
    ASSERT_TRUE(WaitForResult(30000ms)) << mode;  // after five attempts and their pauses
    EXPECT_EQ(window_.Count(kMsgSetupDownloadFailed), 1) << mode;
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path())) << mode;
  }
}

TEST_F(DownloadThreadTest, AnUnwritableDestinationFails) {
  LoopbackHttpServer server([](const HttpRequestSeen&) { return HttpAnswer{200, "MZ setup"}; });
  thread_.PostToThread(kMsgDownloadRequest, Request(server.Url("/s.exe"), dir_.Path() / "no-such-folder" / "s.exe"));
  ASSERT_TRUE(WaitForResult());
  EXPECT_EQ(window_.Count(kMsgSetupDownloadFailed), 1);
}

TEST_F(DownloadThreadTest, NullRequestsAndOtherMessagesAreSwallowed) {
  thread_.PostToThread(kMsgDownloadRequest, nullptr);
  thread_.PostToThread(4242, nullptr);
  host_.RunUntil([] { return false; }, 300ms);
  EXPECT_TRUE(window_.messages.empty());
  // The worker still serves the next request.
  LoopbackHttpServer server([](const HttpRequestSeen&) { return HttpAnswer{200, "ok"}; });
  thread_.PostToThread(kMsgDownloadRequest, Request(server.Url("/s.exe"), dir_.Path() / "s.exe"));
  ASSERT_TRUE(WaitForResult());
  EXPECT_EQ(window_.Count(kMsgSetupDownloaded), 1);
}

TEST(DownloadProgressTest, NothingIsPostedWithoutTotalOrWindow) {
  HeadlessHost host;
  RecordingWindow window;
  host.Open(window);
  DownloadProgress& progress = DownloadProgress::Instance();
  progress.SetWindow(nullptr);
  EXPECT_EQ(progress.OnProgress(5, 10, 0, nullptr), 0);
  progress.SetWindow(&host);
  EXPECT_EQ(progress.OnProgress(5, 0, 0, nullptr), 0);
  EXPECT_EQ(progress.OnProgress(5, 10, 0, nullptr), 0);
  host.PumpPending();
  progress.SetWindow(nullptr);
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].wParam, 5u);
  EXPECT_EQ(window.messages[0].lParam, 10);
}

TEST(DownloadThreadStop, AStalledDownloadDoesNotHoldTheProgramOpen) {
  TempDir dir;
  LoopbackHttpServer server([](const HttpRequestSeen&) {
    HttpAnswer answer{200, "late"};
    answer.pauseBeforeBodyMs = 3000;
    return answer;
  });
  const auto start = std::chrono::steady_clock::now();
  {
    DownloadThread thread;
    thread.Start();
    auto request = std::make_unique<DownloadRequest>();
    const std::u16string u = Utf8ToUtf16(server.Url("/stall.exe"));
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
