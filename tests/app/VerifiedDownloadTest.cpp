// The setup download checked against the configuration's size and SHA-256:
// what passes is put in place and held; a difference of a byte, or of the
// length announced or sent, fails at once, without a further attempt, and
// leaves nothing behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "SelectLanguage/SetupCheck.h"
#include "net/HeldFile.h"
#include "tests/app/SetupDownloadFixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using setup_download_fixture::kFileSize;
using setup_download_fixture::Quick;

class VerifiedDownloadTest : public SetupDownloadTest {
 protected:
  ExpectedSetup Exact() const { return {Sha256(file_), file_.size()}; }
  SetupDownloadEnd Fetch(const ExpectedSetup& expected, const std::string& url = {}) {
    const SetupDownloadEnd end = DownloadSetup(Utf8ToUtf16(url.empty() ? Url() : url), Utf8ToUtf16(Target().string()),
                                               expected, progress_, cancel_, Quick(), &held_);
    host_.PumpPending();
    return end;
  }
  // A refused file: one request, nothing where it would have gone, nothing held.
  void ExpectRefused(SetupDownloadEnd end, SetupDownloadEnd why) {
    EXPECT_EQ(end, why);
    EXPECT_EQ(Served().requests, 1) << "no further attempt";
    EXPECT_TRUE(FolderEntries().empty());
    EXPECT_FALSE(held_.IsHeld());
  }
  HeldFile held_;
};

TEST_F(VerifiedDownloadTest, TheExpectedFileIsPutInPlaceAndHeldAsItIs) {
  ASSERT_EQ(Fetch(Exact()), SetupDownloadEnd::kDownloaded);
  ExpectTheWholeFileInPlace();
  ASSERT_TRUE(held_.IsHeld());
  struct stat placed {};
  ASSERT_EQ(::stat(Target().c_str(), &placed), 0);
  EXPECT_EQ(held_.Identity()->fileIdLow, placed.st_ino) << "the held file is the one at its name";
  // The hold is read-only: a program cannot be started from a file open for writing.
  EXPECT_EQ(::fcntl(static_cast<int>(held_.Handle()), F_GETFL) & O_ACCMODE, O_RDONLY);
}

TEST_F(VerifiedDownloadTest, OneFlippedByteIsRefused) {
  std::string other = file_;
  other[kFileSize / 3] ^= 0x01;
  ExpectRefused(Fetch({Sha256(other), file_.size()}), SetupDownloadEnd::kChecksumDiffers);
  EXPECT_EQ(Served().bodyBytes, static_cast<long long>(kFileSize)) << "the whole body was needed to tell";
}

TEST_F(VerifiedDownloadTest, AnAnnouncedLengthOtherThanTheSizeEndsTheDownloadAtItsHead) {
  for (const uint64_t size : {uint64_t{kFileSize - 1}, uint64_t{kFileSize + 1}}) {
    SCOPED_TRACE(size);
    ASSERT_TRUE(sandbox_.Reset());
    ExpectRefused(Fetch({Sha256(file_), size}), SetupDownloadEnd::kSizeDiffers);
    // Not counted at the server: loopback buffers can take the whole body
    // before the client has read a byte of it.
    for (const auto& [done, total] : Progress()) EXPECT_EQ(done, 0u) << "the body was not waited for";
  }
}

// Without a Content-Length the size is the bar's total, and a body that runs
// past it is cut off there.
TEST_F(VerifiedDownloadTest, AnUnannouncedBodyIsMeasuredAgainstTheSize) {
  const std::string body(300000, 'b');
  const std::string path = "/setup/unannounced.exe";
  ASSERT_TRUE(sandbox_.SetFault("files", "no-length"));
  EXPECT_EQ(Fetch({Sha256(body), body.size()}, Serve(path, body)), SetupDownloadEnd::kDownloaded);
  EXPECT_EQ(ReadFileBytes(Target()), body);
  for (const auto& [done, total] : Progress()) EXPECT_EQ(total, static_cast<int64_t>(body.size()));
  fs::remove(Target());

  const std::string longer = body + std::string(4 << 20, 'x');
  EXPECT_EQ(Fetch({std::nullopt, body.size()}, Serve(path, longer)), SetupDownloadEnd::kSizeDiffers);
  EXPECT_TRUE(FolderEntries().empty());
  EXPECT_EQ(sandbox_.Counts("files", path).requests, 2) << "no further attempt";
}

// The running hash goes on across a resumed attempt: what is on disk is not
// read again, and nothing is served twice.
TEST_F(VerifiedDownloadTest, AResumedDownloadStillVerifies) {
  ASSERT_TRUE(sandbox_.SetFault("files", "drop", {{"after", "2097152"}, {"times", "1"}}));
  ASSERT_EQ(Fetch(Exact()), SetupDownloadEnd::kDownloaded);
  ExpectTheWholeFileInPlace();
  EXPECT_EQ(Served().requests, 2);
  EXPECT_EQ(Served().bodyBytes, static_cast<long long>(kFileSize));
}

// A file that starts over (another version of it at the server) starts its
// hash over too.
TEST_F(VerifiedDownloadTest, AFileThatStartsOverIsHashedFromItsFirstByte) {
  ASSERT_TRUE(sandbox_.SetFault("files", "etag-changes"));
  ASSERT_TRUE(sandbox_.AddFault("files", "drop", {{"after", "1000000"}, {"times", "1"}}));
  ASSERT_EQ(Fetch(Exact()), SetupDownloadEnd::kDownloaded);
  ExpectTheWholeFileInPlace();
  EXPECT_EQ(Served().bodyBytes, static_cast<long long>(kFileSize + 1000000));
}

TEST(SetupCheckTest, WhatTheConfigurationSaysBecomesWhatTheDownloadMustMeet) {
  using Given = SetupCheck::Given;
  const Sha256Digest digest = *Sha256("setup");
  ExpectedSetup expected;
  EXPECT_EQ(ExpectationFor({Given::kValue, digest, Given::kValue, 5}, true, expected), SetupDownloadEnd::kDownloaded);
  EXPECT_EQ(expected.sha256, digest);
  EXPECT_EQ(expected.size, 5u);
  // Without keys a language may go unchecked; with keys it cannot.
  EXPECT_EQ(ExpectationFor({Given::kNone, {}, Given::kValue, 5}, false, expected), SetupDownloadEnd::kDownloaded);
  EXPECT_EQ(expected.sha256, std::nullopt);
  EXPECT_EQ(ExpectationFor({Given::kNone, {}, Given::kValue, 5}, true, expected), SetupDownloadEnd::kNoChecksum);
  // A malformed value is never taken for none, in either build.
  for (const bool keys : {false, true}) {
    EXPECT_EQ(ExpectationFor({Given::kMalformed, {}, Given::kNone, 0}, keys, expected),
              SetupDownloadEnd::kMalformedCheck);
    EXPECT_EQ(ExpectationFor({Given::kValue, digest, Given::kMalformed, 0}, keys, expected),
              SetupDownloadEnd::kMalformedCheck);
  }
}

}  // namespace
