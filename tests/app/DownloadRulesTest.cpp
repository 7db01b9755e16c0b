// The setup download's rules for an answer's head and for the pauses.
#include <gtest/gtest.h>

#include "SelectLanguage/DownloadRules.h"

namespace {

using namespace std::chrono_literals;

HttpAnswerHead Head(int status, std::string contentRange = {}, std::string etag = {}, std::string modified = {}) {
  HttpAnswerHead head;
  head.status = status;
  head.contentRange = std::move(contentRange);
  head.etag = std::move(etag);
  head.lastModified = std::move(modified);
  return head;
}

TEST(ContentRangeTest, OnlyWellFormedByteRangesParse) {
  const auto range = ParseContentRange(" bytes 500-999/1000 ");
  ASSERT_TRUE(range);
  EXPECT_EQ(range->first, 500u);
  EXPECT_EQ(range->last, 999u);
  EXPECT_EQ(range->total, 1000u);
  EXPECT_FALSE(ParseContentRange("bytes 0-9/*")->total);
  for (const char* bad : {"", "bytes */1000", "items 0-9/10", "bytes 9-0/10", "bytes 0-10/10", "bytes 0-9/10x",
                          "bytes -1-9/10", "bytes 0-9", "bytes 0-99999999999999999999/1"}) {
    EXPECT_FALSE(ParseContentRange(bad)) << bad;
  }
}

TEST(ResumeValidatorTest, AStrongEtagElseTheDateElseNothing) {
  EXPECT_EQ(ResumeValidator(Head(200, {}, "\"v1\"", "Tue, 08 Dec 2026 10:00:00 GMT")), "\"v1\"");
  EXPECT_EQ(ResumeValidator(Head(200, {}, "W/\"v1\"", "Tue, 08 Dec 2026 10:00:00 GMT")),
            "Tue, 08 Dec 2026 10:00:00 GMT");
  EXPECT_EQ(ResumeValidator(Head(200, {}, {}, "Tue, 08 Dec 2026 10:00:00 GMT")), "Tue, 08 Dec 2026 10:00:00 GMT");
  EXPECT_EQ(ResumeValidator(Head(200, {}, "W/\"v1\"")), "");
  EXPECT_EQ(ResumeValidator(Head(200)), "");
}

TEST(JudgeHeadTest, APartIsAppendedOnlyWhereItContinuesTheSameFile) {
  const ResumePoint point{400, 1000, "\"v1\""};
  EXPECT_EQ(JudgeHead(Head(206, "bytes 400-999/1000", "\"v1\""), 400, point), HeadVerdict::kContinuation);
  EXPECT_EQ(JudgeHead(Head(206, "bytes 400-999/1000"), 400, point), HeadVerdict::kContinuation)
      << "a part without its ETag is taken as the same version";
  // Everything else that comes as a part starts over.
  EXPECT_EQ(JudgeHead(Head(206, "bytes 300-999/1000", "\"v1\""), 400, point), HeadVerdict::kStartOver);
  EXPECT_EQ(JudgeHead(Head(206, "bytes 400-999/2000", "\"v1\""), 400, point), HeadVerdict::kStartOver);
  EXPECT_EQ(JudgeHead(Head(206, "bytes 400-899/1000", "\"v1\""), 400, point), HeadVerdict::kStartOver);
  EXPECT_EQ(JudgeHead(Head(206, "bytes 400-999/1000", "\"v2\""), 400, point), HeadVerdict::kStartOver);
  EXPECT_EQ(JudgeHead(Head(206, "bytes 400-999/*", "\"v1\""), 400, point), HeadVerdict::kStartOver);
  EXPECT_EQ(JudgeHead(Head(206, "nonsense"), 400, point), HeadVerdict::kStartOver);
  const ResumePoint dated{400, 1000, "Tue, 08 Dec 2026 10:00:00 GMT"};
  EXPECT_EQ(JudgeHead(Head(206, "bytes 400-999/1000", {}, "Tue, 08 Dec 2026 10:00:01 GMT"), 400, dated),
            HeadVerdict::kStartOver);
  EXPECT_EQ(JudgeHead(Head(206, "bytes 400-999/1000", "\"any\"", "Tue, 08 Dec 2026 10:00:00 GMT"), 400, dated),
            HeadVerdict::kContinuation);
}

TEST(JudgeHeadTest, StatusesGiveTheirVerdicts) {
  const ResumePoint fresh;
  const ResumePoint half{500, 1000, "\"v1\""};
  EXPECT_EQ(JudgeHead(Head(200), 0, fresh), HeadVerdict::kWholeBody);
  EXPECT_EQ(JudgeHead(Head(200), 500, half), HeadVerdict::kWholeBody) << "a server that ignores Range";
  EXPECT_EQ(JudgeHead(Head(204), 0, fresh), HeadVerdict::kWholeBody);
  EXPECT_EQ(JudgeHead(Head(416), 500, half), HeadVerdict::kStartOver);
  EXPECT_EQ(JudgeHead(Head(416), 0, fresh), HeadVerdict::kGiveUp) << "416 without a Range of ours";
  for (int status : {500, 502, 503, 504, 599, 408, 429}) {
    EXPECT_EQ(JudgeHead(Head(status), 0, fresh), HeadVerdict::kTryAgain) << status;
  }
  for (int status : {0, 100, 301, 304, 400, 401, 403, 404, 410, 451}) {
    EXPECT_EQ(JudgeHead(Head(status), 0, fresh), HeadVerdict::kGiveUp) << status;
  }
}

TEST(RetryAfterTest, SecondsOrADate) {
  const auto now = std::chrono::sys_days(std::chrono::year(2026) / 12 / 8) + 10h;
  EXPECT_EQ(ParseRetryAfter("3", now), 3s);
  EXPECT_EQ(ParseRetryAfter(" 0 ", now), 0s);
  EXPECT_EQ(ParseRetryAfter("Tue, 08 Dec 2026 10:00:05 GMT", now), 5s);
  EXPECT_EQ(ParseRetryAfter("Tue, 08 Dec 2026 09:00:00 GMT", now), 0s) << "a date in the past";
  EXPECT_EQ(ParseRetryAfter("Thu, 01 Jan 2027 00:00:00 GMT", now), 24 * 3600s * 23 + 14 * 3600s);
  for (const char* bad : {"", "-1", "3s", "soon", "Tue, 32 Dec 2026 10:00:05 GMT", "Tue, 08 Dez 2026 10:00:05 GMT",
                          "Tue, 08 Dec 2026 10:00:05 UTC", "Tuesday, 08-Dec-26 10:00:05 GMT"}) {
    EXPECT_FALSE(ParseRetryAfter(bad, now)) << bad;
  }
}

TEST(PauseTest, BackOffDoublesAndRetryAfterLengthensItUpToTheCap) {
  const DownloadRetryTimings timings;
  EXPECT_EQ(PauseBeforeAttempt(1, std::nullopt, timings), 1s);
  EXPECT_EQ(PauseBeforeAttempt(2, std::nullopt, timings), 2s);
  EXPECT_EQ(PauseBeforeAttempt(3, std::nullopt, timings), 4s);
  EXPECT_EQ(PauseBeforeAttempt(4, std::nullopt, timings), 8s);
  EXPECT_EQ(PauseBeforeAttempt(1, 5s, timings), 5s);
  EXPECT_EQ(PauseBeforeAttempt(3, 2s, timings), 4s) << "never shorter than the back-off";
  EXPECT_EQ(PauseBeforeAttempt(1, 3600s, timings), 8s) << "a longer wish is cut to the cap";
}

}  // namespace
