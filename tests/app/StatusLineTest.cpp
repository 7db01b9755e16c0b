// The status line's texts: figures formatted by the program, countdowns,
// unknown sizes and rates, and the five languages of one table.
#include <gtest/gtest.h>

#include "SelectLanguage/StatusLine.h"
#include "SelectLanguage/TransferRate.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

InstallStatus Download(uint64_t done, uint64_t total, uint64_t rate) {
  InstallStatus s{InstallPhase::kDownloading};
  s.done = done;
  s.total = total;
  s.bytesPerSecond = rate;
  return s;
}

InstallStatus Retry(InstallPhase phase, int attempt, int attempts, Clock::duration left, Clock::time_point now) {
  InstallStatus s{phase};
  s.attempt = attempt;
  s.attempts = attempts;
  s.next = now + left;
  return s;
}

TEST(StatusLineTest, SaysWhatHappensWithTheProgramsOwnFigures) {
  const auto now = Clock::now();
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  struct Case {
    InstallStatus status;
    int language;
    std::u16string line;
  };
  const Case cases[] = {
      {{InstallPhase::kConnecting}, 0, u"Connecting…"},
      {{InstallPhase::kConnecting}, 4, u"接続しています…"},
      {{InstallPhase::kConnecting}, -1, u"Connecting…"},  // no selection: English
      {{InstallPhase::kConnecting}, 7, u"Connecting…"},
      {Download(12'345'678, 45'600'000, 3'210'000), 0, u"12.3 of 45.6 MB, 3.2 MB/s, 11 s left"},
      {Download(12'345'678, 45'600'000, 3'210'000), 3, u"12.3 из 45.6 МБ, 3.2 МБ/с, осталось 11 с"},
      // A rate not known yet, or a total not known: no time left, never a division by 0.
      {Download(12'345'678, 45'600'000, 0), 0, u"12.3 of 45.6 MB"},
      {Download(12'345'678, 0, 3'210'000), 0, u"12.3 MB, 3.2 MB/s"},
      {Download(0, 0, 0), 1, u"0.0 MB"},
      {Download(5'000, 45'600'000, 4'096), 0, u"0.0 of 45.6 MB, 4 KB/s, 3 h 5 min left"},
      // Past 4 GiB, and a time left in minutes.
      {Download(5 * kGiB, 6 * kGiB, 10'000'000), 0, u"5368.7 of 6442.4 MB, 10.0 MB/s, 1 min 48 s left"},
      {Download(6 * kGiB, 6 * kGiB, 10'000'000), 0, u"6442.4 of 6442.4 MB, 10.0 MB/s, 0 s left"},
      // Countdowns round up, and stop at 0.
      {Retry(InstallPhase::kDownloadRetry, 2, 5, 3200ms, now), 0,
       u"Connection lost — trying again in 4 s (attempt 2 of 5)"},
      {Retry(InstallPhase::kDownloadRetry, 2, 5, -1s, now), 0,
       u"Connection lost — trying again in 0 s (attempt 2 of 5)"},
      {Retry(InstallPhase::kSettingsRetry, 3, 10, 2s, now), 2, u"未能載入遊戲設定（第 3/10 次），2 秒後重試"},
      {Retry(InstallPhase::kAnotherServer, 3, 4, 0s, now), 3, u"Пробуем другой сервер (3 из 4)"},
      {{InstallPhase::kFailed, 0, 0, 0, 0, 0, {}, InstallFailure::kSetupChanged},
       0,
       u"The downloaded setup program is not the right file."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StatusLine(c.status, c.language, now), c.line);
  }
}

// Every text of the table is there in each of the five languages.
TEST(StatusLineTest, TheTableHasEveryTextInEveryLanguage) {
  for (int text = 0; text < kStatusTextCount; ++text) {
    for (int language = 0; language < 5; ++language) {
      EXPECT_FALSE(StatusString(static_cast<StatusText>(text), language).empty()) << text << " " << language;
    }
  }
}

TEST(TransferRateTest, AveragesOverItsWindowAndFallsWhenTheBytesStop) {
  const auto t0 = Clock::now();
  TransferRate rate;
  EXPECT_EQ(rate.BytesPerSecond(t0), 0u);
  rate.Add(t0, 0);
  rate.Add(t0 + 500ms, 1'000'000);
  EXPECT_EQ(rate.BytesPerSecond(t0 + 500ms), 0u) << "under a second of figures";
  for (int i = 2; i <= 8; ++i) rate.Add(t0 + i * 500ms, i * 1'000'000);  // 2 MB/s, in bursts
  EXPECT_EQ(rate.BytesPerSecond(t0 + 4s), 2'000'000u);
  EXPECT_EQ(rate.BytesPerSecond(t0 + 5s), 1'333'333u) << "a second of silence in the window";
  EXPECT_EQ(rate.BytesPerSecond(t0 + 8s), 0u) << "nothing for the whole window";
  rate.Add(t0 + 9s, 1'000);  // the file started over
  EXPECT_EQ(rate.BytesPerSecond(t0 + 9s), 0u);
}

}  // namespace
