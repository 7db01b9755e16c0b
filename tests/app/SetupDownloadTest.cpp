// The setup download's retries and resumes against the sandbox's files
// service, with the pauses shortened; the counts of what the sandbox served
// show what went over the wire.
#include <gtest/gtest.h>

#include <future>

#include "SelectLanguage/DownloadProgress.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/SetupDownload.h"
#include "net/Text.h"
#include "platform/headless/HeadlessHost.h"
#include "tests/app/RecordingWindow.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TempDir.h"
#include "tests/app/SetupDownloadFixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using setup_download_fixture::kFileSize;
using setup_download_fixture::kPath;
using setup_download_fixture::Quick;

TEST_F(SetupDownloadTest, DropsAtHalfAndNinetyPercentAreResumedWithoutRefetching) {
  ASSERT_TRUE(sandbox_.SetFault("files", "drop", {{"after", "2097152,1677722"}, {"times", "2"}}));
  ASSERT_TRUE(Download());
  ExpectTheWholeFileInPlace();
  const Sandbox::Served served = Served();
  EXPECT_EQ(served.requests, 3) << "one request per attempt";
  EXPECT_EQ(served.bodyBytes, static_cast<long long>(kFileSize)) << "every byte served once";
  EXPECT_EQ(StepsBack(), 0) << "progress goes on from where it stopped";
  Sandbox::Request last = sandbox_.LastRequest("files");
  EXPECT_EQ(last.headers["range"], "bytes=3774874-");
  EXPECT_TRUE(last.headers["if-range"].starts_with("\"")) << "the strong ETag";
}

TEST_F(SetupDownloadTest, AServerThatIgnoresRangeStartsOver) {
  ASSERT_TRUE(sandbox_.SetFault("files", "no-range"));
  ASSERT_TRUE(sandbox_.AddFault("files", "drop", {{"after", "1000000"}, {"times", "1"}}));
  ASSERT_TRUE(Download());
  ExpectTheWholeFileInPlace();
  EXPECT_EQ(Served().requests, 2);
  EXPECT_EQ(Served().bodyBytes, static_cast<long long>(kFileSize) + 1000000);
  EXPECT_EQ(StepsBack(), 1) << "the bar moves back once, when the file starts over";
}

TEST_F(SetupDownloadTest, AChangedEtagStartsOver) {
  ASSERT_TRUE(sandbox_.SetFault("files", "etag-changes"));
  ASSERT_TRUE(sandbox_.AddFault("files", "drop", {{"after", "1000000"}, {"times", "1"}}));
  ASSERT_TRUE(Download());
  ExpectTheWholeFileInPlace();
  EXPECT_EQ(Served().requests, 2);
  EXPECT_EQ(Served().bodyBytes, static_cast<long long>(kFileSize) + 1000000) << "the If-Range failed: a 200";
  EXPECT_FALSE(sandbox_.LastRequest("files").headers["if-range"].empty()) << "it did ask to resume";
}

// Without a strong ETag, a Last-Modified date still lets the download
// resume; with neither, the file starts over and asks for no range at all.
struct Validators {
  const char* name;
  const char* etagMode;
  bool lastModified;
};
void PrintTo(const Validators& v, std::ostream* os) { *os << v.name; }

class ValidatorTest : public SetupDownloadTest, public ::testing::WithParamInterface<Validators> {};

TEST_P(ValidatorTest, ResumeOnlyWithAStrongValidator) {
  ASSERT_TRUE(sandbox_.SetFault("files", GetParam().etagMode));
  if (!GetParam().lastModified) {
    ASSERT_TRUE(sandbox_.AddFault("files", "no-last-modified"));
  }
  ASSERT_TRUE(sandbox_.AddFault("files", "drop", {{"after", "1000000"}, {"times", "1"}}));
  ASSERT_TRUE(Download());
  ExpectTheWholeFileInPlace();
  EXPECT_EQ(Served().requests, 2);
  Sandbox::Request last = sandbox_.LastRequest("files");
  if (GetParam().lastModified) {
    EXPECT_EQ(Served().bodyBytes, static_cast<long long>(kFileSize));
    EXPECT_TRUE(last.headers["if-range"].ends_with(" GMT")) << "the date, never a weak ETag";
    EXPECT_EQ(StepsBack(), 0);
  } else {
    EXPECT_EQ(Served().bodyBytes, static_cast<long long>(kFileSize) + 1000000);
    EXPECT_EQ(last.headers.count("range"), 0u);
    EXPECT_EQ(StepsBack(), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, ValidatorTest,
                         ::testing::Values(Validators{"WeakEtagAndDate", "weak-etag", true},
                                           Validators{"WeakEtagOnly", "weak-etag", false},
                                           Validators{"DateOnly", "no-etag", true},
                                           Validators{"Neither", "no-etag", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupDownloadTest, ServerErrorsAreTriedAgainOtherErrorsAreNot) {
  for (const char* code : {"500", "503", "408", "429"}) {
    SCOPED_TRACE(code);
    ASSERT_TRUE(sandbox_.SetFault("files", "status", {{"code", code}, {"times", "4"}}));
    const int before = Served().requests;
    ASSERT_TRUE(Download());
    EXPECT_EQ(Served().requests - before, 5);
  }
  for (const char* code : {"404", "403", "410", "400"}) {
    SCOPED_TRACE(code);
    ASSERT_TRUE(sandbox_.SetFault("files", "status", {{"code", code}}));
    fs::remove(Target());
    const int before = Served().requests;
    EXPECT_FALSE(Download());
    EXPECT_EQ(Served().requests - before, 1) << "no retry";
    EXPECT_TRUE(FolderEntries().empty());
  }
  ASSERT_TRUE(sandbox_.SetFault("files", "ok"));
  EXPECT_FALSE(Download(Quick(), Url("/setup/missing.exe")));
  EXPECT_EQ(sandbox_.Counts("files", "/setup/missing.exe").requests, 1);
}

TEST_F(SetupDownloadTest, RetryAfterIsHonouredUpToItsCap) {
  ASSERT_TRUE(sandbox_.SetFault("files", "status", {{"code", "503"}, {"retry-after", "2"}, {"times", "1"}}));
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Download());
  EXPECT_GE(std::chrono::steady_clock::now() - start, 2s) << "the back-off alone is 20 ms";
  ASSERT_TRUE(sandbox_.SetFault("files", "status", {{"code", "429"}, {"retry-after", "3600"}, {"times", "1"}}));
  start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Download());
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 3s);
  EXPECT_LT(took, 30s) << "an hour is cut to the cap";
}

// The file shrinks under the same date between two attempts: the server's
// 416 makes the download start over, and the new file arrives whole.
TEST_F(SetupDownloadTest, ARangeBeyondTheFileStartsOver) {
  ASSERT_TRUE(sandbox_.SetFault("files", "no-etag"));
  ASSERT_TRUE(sandbox_.AddFault("files", "drop", {{"after", "3000000"}, {"times", "1"}}));
  const fs::path served = served_.Path() / "setup" / "s.exe";
  const auto modified = fs::last_write_time(served);
  DownloadRetryTimings timings = Quick();
  timings.pauses[0] = 1500ms;  // room to change the file between the two attempts
  auto download = std::async(std::launch::async, [&] {
    return DownloadUrlToFile(Utf8ToUtf16(Url()), Utf8ToUtf16(Target().string()), progress_, cancel_, timings);
  });
  for (int i = 0; i < 200 && Served().bodyBytes < 3000000; ++i) std::this_thread::sleep_for(10ms);
  file_.resize(1000000);
  WriteFileBytes(served, file_);
  fs::last_write_time(served, modified);
  ASSERT_TRUE(download.get());
  EXPECT_EQ(ReadFileBytes(Target()), file_);
  EXPECT_EQ(Served().requests, 3) << "the drop, the 416, the whole new file";
}

TEST_F(SetupDownloadTest, EachUrlOfARedirectIsAskedOncePerAttempt) {
  ASSERT_TRUE(sandbox_.SetFault("files", "drop", {{"after", "1000000"}, {"times", "1"}}));
  ASSERT_TRUE(Download(Quick(), Url("/sandbox/redirect?to=" + Url())));
  ExpectTheWholeFileInPlace();
  EXPECT_EQ(sandbox_.Counts("files", "/sandbox/redirect").requests, 2);
  EXPECT_EQ(Served().requests, 2);
  EXPECT_EQ(Served().bodyBytes, static_cast<long long>(kFileSize)) << "resumed through the redirect";
}

TEST_F(SetupDownloadTest, SilenceBreaksAnAttemptAndCancelEndsTheDownload) {
  ASSERT_TRUE(sandbox_.SetFault("files", "stall-body"));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Download());
  EXPECT_EQ(Served().requests, 5) << "each stalled attempt was broken off and tried again";
  EXPECT_GE(std::chrono::steady_clock::now() - start, 5 * 1500ms);
  EXPECT_TRUE(FolderEntries().empty());

  auto download = std::async(std::launch::async, [&] {
    return DownloadUrlToFile(Utf8ToUtf16(Url()), Utf8ToUtf16(Target().string()), progress_, cancel_);
  });
  std::this_thread::sleep_for(500ms);
  start = std::chrono::steady_clock::now();
  cancel_.store(true);
  EXPECT_FALSE(download.get());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_TRUE(FolderEntries().empty());
}

// Answers that never end on their own terms: a drip under the minimum rate,
// and a 206 whose body runs past its range. Each breaks its attempt without
// keeping what lies outside the file; the next attempt resumes, and the file
// is exact.
TEST_F(SetupDownloadTest, AnAnswerBeyondItsBoundsIsBrokenAndResumed) {
  ASSERT_TRUE(sandbox_.SetFault("files", "drop", {{"after", "1000000"}, {"times", "1"}}));
  ASSERT_TRUE(sandbox_.AddFault("files", "overlong", {{"extra", "4096"}}));
  ASSERT_TRUE(Download());
  EXPECT_EQ(ReadFileBytes(Target()), file_) << "nothing past the range's end";
  EXPECT_EQ(Served().requests, 2) << "the drop and the resumed rest, which made the file whole";

  fs::remove(Target());
  DownloadRetryTimings timings = Quick();
  timings.rateWindow = 1000ms;
  ASSERT_TRUE(sandbox_.SetFault("files", "drip", {{"rate", "2000"}, {"times", "1"}}));
  const int before = Served().requests;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Download(timings));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "the drip alone takes 35 minutes";
  EXPECT_EQ(ReadFileBytes(Target()), file_);
  EXPECT_EQ(Served().requests - before, 2);
}

}  // namespace
