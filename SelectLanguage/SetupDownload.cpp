// The setup download's retries and resumes, the same on every platform. One
// partial file is opened before the first attempt and kept open across all
// of them: a resumed body is appended through the same descriptor, and the
// file reaches its destination only once the whole body is in it.
#include "SelectLanguage/SetupDownload.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "SelectLanguage/DownloadProgress.h"
#include "net/HeldFile.h"
#include "net/HttpAttempt.h"
#include "net/PartialFile.h"

namespace {

using Clock = std::chrono::steady_clock;
// Progress is posted at most this often; the final figure always goes out.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
constexpr auto kCancelPoll = std::chrono::milliseconds(50);

class ProgressReport {
 public:
  explicit ProgressReport(DownloadProgress& progress) : progress_(progress) {}

  // A bar that moves back (the file started over) is shown at once. A total
  // of 0 is not known.
  void Report(uint64_t done, std::optional<uint64_t> total, bool final) {
    const uint64_t whole = total.value_or(0);
    if (posted_ && done == lastDone_ && whole == lastTotal_) return;
    const auto now = Clock::now();
    const bool back = done < lastDone_;
    if (!final && !back && done != whole && now - lastPost_ < kProgressInterval) return;
    posted_ = true;
    lastPost_ = now;
    lastDone_ = done;
    lastTotal_ = whole;
    progress_.OnProgress(done, whole, 0, nullptr);
  }

 private:
  DownloadProgress& progress_;
  Clock::time_point lastPost_{};
  uint64_t lastDone_ = 0;
  uint64_t lastTotal_ = 0;
  bool posted_ = false;
};

// Takes one attempt's answer: judges its head and writes its body on.
class AttemptSink final : public HttpAnswerSink {
 public:
  AttemptSink(PartialFile& file, ResumePoint& point, uint64_t askedFrom, ProgressReport& progress, BodyCheck& check,
              const DownloadRetryTimings& timings)
      : file_(file), point_(point), askedFrom_(askedFrom), progress_(progress), check_(check), timings_(timings) {}

  bool OnHead(const HttpAnswerHead& head) override {
    status_ = head.status;
    verdict_ = JudgeHead(head, askedFrom_, point_);
    // A part from another server continues the file only under the very
    // ETag that the first one gave it.
    if (verdict_ == HeadVerdict::kContinuation && sameEtagOnly_ && head.etag != point_.validator) {
      verdict_ = HeadVerdict::kStartOver;
    }
    retryAfter_ = ParseRetryAfter(head.retryAfter, std::chrono::system_clock::now());
    windowStart_ = Clock::now();
    if (verdict_ == HeadVerdict::kWholeBody) {
      if (point_.have > 0 && !file_.Truncate()) return false;
      check_.StartOver();
      // Without an announced length the expected size is the total: the
      // bar has its range, and a body that ends short of it is broken.
      point_ = {0, head.contentLength ? head.contentLength : check_.Size(), ResumeValidator(head)};
      bodyEnd_ = head.contentLength;
      if (!check_.TotalFits(head.contentLength)) return Mismatch();
    } else if (verdict_ == HeadVerdict::kContinuation) {
      const ContentRange range = *ParseContentRange(head.contentRange);
      point_.total = range.total;
      // The body ends with its range, or with its announced length where
      // that is shorter.
      bodyEnd_ = range.last + 1;
      if (head.contentLength) bodyEnd_ = std::min(*bodyEnd_, askedFrom_ + *head.contentLength);
      if (!check_.TotalFits(point_.total)) return Mismatch();
    } else {
      return false;
    }
    // The rest of the file must fit where it is going: a disk filled to
    // the brim helps nobody, and trying again will not make room.
    const uint64_t needed = point_.total ? *point_.total - point_.have : 0;
    const auto free = file_.FreeSpace();
    noRoom_ = free && *free < needed;
    return !noRoom_;
  }

  bool OnBody(const char* data, std::size_t size) override {
    std::size_t keep = size;
    if (bodyEnd_ && point_.have + size > *bodyEnd_) {  // past its own end: the excess is not written
      keep = static_cast<std::size_t>(*bodyEnd_ - point_.have);
      overran_ = true;
    }
    if (!check_.Fits(keep)) return Mismatch();  // more than the file can be: nothing more is taken
    if (keep > 0 && !file_.Append(data, keep)) {
      const auto free = file_.FreeSpace();
      diskFull_ = free && *free < keep;
      return false;
    }
    check_.Add(std::string_view(data, keep));
    point_.have += keep;
    progress_.Report(point_.have, point_.total, false);
    if (overran_) return false;
    tooSlow_ = UnderTheRate(size);
    return !tooSlow_;
  }

  // The file cannot be the configuration's: no other attempt will be.
  bool Mismatch() {
    sizeDiffers_ = true;
    return false;
  }

  // The file was begun on another server.
  void RequireSameEtag() { sameEtagOnly_ = true; }

  HeadVerdict Verdict() const { return verdict_; }
  int Status() const { return status_; }  // 0: no answer came
  bool NoRoom() const { return noRoom_; }
  bool DiskFull() const { return diskFull_; }
  bool SizeDiffers() const { return sizeDiffers_; }
  // Broken by this side and worth resuming: a body past its end, or one
  // that came too slowly.
  bool Overran() const { return overran_; }
  bool TooSlow() const { return tooSlow_; }
  std::optional<std::chrono::seconds> RetryAfter() const { return retryAfter_; }

 private:
  // The rate over the window that has just passed, judged at each arrival
  // once a whole window has; each window starts afresh.
  bool UnderTheRate(std::size_t size) {
    windowBytes_ += size;
    const auto now = Clock::now();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - windowStart_);
    if (elapsed < timings_.rateWindow) return false;
    if (windowBytes_ * 1000 < timings_.minRate * static_cast<uint64_t>(elapsed.count())) return true;
    windowStart_ = now;
    windowBytes_ = 0;
    return false;
  }

  PartialFile& file_;
  ResumePoint& point_;
  const uint64_t askedFrom_;
  ProgressReport& progress_;
  BodyCheck& check_;
  const DownloadRetryTimings& timings_;
  HeadVerdict verdict_ = HeadVerdict::kGiveUp;
  std::optional<uint64_t> bodyEnd_;  // where this answer's body must end in the file, when it says
  Clock::time_point windowStart_{};
  uint64_t windowBytes_ = 0;
  int status_ = 0;
  bool sameEtagOnly_ = false;
  bool noRoom_ = false;
  bool diskFull_ = false;
  bool sizeDiffers_ = false;
  bool overran_ = false;
  bool tooSlow_ = false;
  std::optional<std::chrono::seconds> retryAfter_;
};

// False when cancelled during the pause.
bool Pause(std::chrono::milliseconds pause, const std::atomic<bool>& cancel) {
  const auto end = Clock::now() + pause;
  while (!cancel.load(std::memory_order_relaxed)) {
    const auto now = Clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(kCancelPoll, end - now));
  }
  return false;
}

// What follows an attempt: kDownloaded (done), kTryAgain as nullopt, or the
// failure.
using Next = std::optional<SetupDownloadEnd>;
constexpr Next kTryAgain = std::nullopt;

// The whole body is in: checked, held and only then put in place.
SetupDownloadEnd Finish(PartialFile& file, std::u16string_view path, BodyCheck& check, HeldFile* held) {
  const SetupDownloadEnd verdict = check.Verdict();
  if (verdict != SetupDownloadEnd::kDownloaded) return verdict;
  if (held != nullptr && !held->Take(file.Handle())) return SetupDownloadEnd::kFailed;
  if (!file.Commit()) {
    if (held != nullptr) held->Release();
    return SetupDownloadEnd::kFailed;
  }
  if (held == nullptr || held->Confirm(path)) return SetupDownloadEnd::kDownloaded;
  return SetupDownloadEnd::kChanged;  // something else stood at the name at once
}

Next AfterAttempt(HttpAttemptEnd end, const AttemptSink& sink, PartialFile& file, std::u16string_view path,
                  ResumePoint& point, BodyCheck& check, HeldFile* held) {
  if (sink.SizeDiffers()) return SetupDownloadEnd::kSizeDiffers;
  if (sink.DiskFull()) return SetupDownloadEnd::kDiskFull;
  if (sink.Overran()) {
    // What the range held is kept; a file that is then whole is checked.
    if (point.total && point.have == *point.total) return Finish(file, path, check, held);
    return kTryAgain;
  }
  if (sink.TooSlow()) return kTryAgain;
  switch (end) {
    case HttpAttemptEnd::kProxyCredentials: return SetupDownloadEnd::kProxyCredentials;
    case HttpAttemptEnd::kComplete:
      // A body that ended cleanly short of a known total is a broken one.
      if (point.total && point.have != *point.total) return kTryAgain;
      return Finish(file, path, check, held);
    case HttpAttemptEnd::kDeclined:
      if (sink.NoRoom()) return SetupDownloadEnd::kNoRoom;
      if (sink.Verdict() == HeadVerdict::kStartOver) {
        if (!file.Truncate()) return SetupDownloadEnd::kFailed;
        point = {};
        check.StartOver();
        return kTryAgain;
      }
      return sink.Verdict() == HeadVerdict::kTryAgain ? kTryAgain : Next(SetupDownloadEnd::kFailed);
    default: return IsBrokenOnTheWay(end) ? kTryAgain : Next(SetupDownloadEnd::kFailed);
  }
}

// Whether the download leaves its URL for the next, when it has one.
enum class UrlMove : uint8_t {
  kStay,      // tried again while its attempts last, or the download ends
  kNext,      // the server fails: the next carries on
  kNextAnew,  // the file was not the configuration's: the next starts it over
};

// status: the answer's, 0 for none; spent: the URL's attempts are used up.
UrlMove MoveAfter(const Next& next, HttpAttemptEnd end, int status, bool spent) {
  if (next == SetupDownloadEnd::kDownloaded) return UrlMove::kStay;
  if (next == SetupDownloadEnd::kSizeDiffers || next == SetupDownloadEnd::kChecksumDiffers) return UrlMove::kNextAnew;
  if (end == HttpAttemptEnd::kCertificate || status == 404 || status == 410 || status >= 500) return UrlMove::kNext;
  // Broken on the way: the same URL while it has attempts. Anything else
  // (the disk, the folder, the proxy's credentials, a cancel) is no server's.
  return !next && spent ? UrlMove::kNext : UrlMove::kStay;
}

}  // namespace

bool DownloadUrlToFile(std::u16string_view url, std::u16string_view path, DownloadProgress& progress,
                       const std::atomic<bool>& cancel) {
  return DownloadUrlToFile(url, path, progress, cancel, DownloadRetryTimings{});
}

bool DownloadUrlToFile(std::u16string_view url, std::u16string_view path, DownloadProgress& progress,
                       const std::atomic<bool>& cancel, const DownloadRetryTimings& timings) {
  return DownloadSetup(url, path, ExpectedSetup{}, progress, cancel, timings, nullptr) == SetupDownloadEnd::kDownloaded;
}

SetupDownloadEnd DownloadSetup(std::u16string_view url, std::u16string_view path, const ExpectedSetup& expected,
                               DownloadProgress& progress, const std::atomic<bool>& cancel,
                               const DownloadRetryTimings& timings, HeldFile* held) {
  return DownloadSetup(std::span<const std::u16string_view>(&url, 1), path, expected, progress, cancel, timings, held);
}

SetupDownloadEnd DownloadSetup(std::span<const std::u16string_view> urls, std::u16string_view path,
                               const ExpectedSetup& expected, DownloadProgress& progress,
                               const std::atomic<bool>& cancel, const DownloadRetryTimings& timings, HeldFile* held) {
  if (urls.size() > kMaxDownloadUrls) urls = urls.first(kMaxDownloadUrls);
  if (urls.empty() || urls.front().empty() || path.empty()) return SetupDownloadEnd::kFailed;
  PartialFile file;
  if (!file.Open(path)) return SetupDownloadEnd::kFailed;  // the folder cannot be written
  BodyCheck check(expected);
  ProgressReport report(progress);
  ResumePoint point;
  std::optional<std::chrono::seconds> retryAfter;
  const bool mirrored = urls.size() > 1;
  const int perUrl = AttemptsPerUrl(urls.size());
  std::size_t at = 0;    // the URL being tried
  int onUrl = 0;         // attempts made on it
  bool crossed = false;  // the partial file was begun on an earlier URL
  for (int attempt = 0; attempt < (mirrored ? kMirroredAttemptsInAll : kDownloadAttempts); ++attempt) {
    if (onUrl > 0) {
      const std::chrono::milliseconds pause = PauseBeforeAttempt(onUrl, retryAfter, timings);
      progress.OnRetry(onUrl + 1, pause);
      if (!Pause(pause, cancel)) return SetupDownloadEnd::kFailed;
    }
    // Without a strong validator a resumed body could belong to another
    // version of the file: such a file starts over.
    const bool resume = point.have > 0 && !point.validator.empty();
    const std::string validator = resume ? point.validator : std::string();
    HttpAttemptRequest request;
    request.url = urls[at];
    request.rangeStart = resume ? point.have : 0;
    request.ifRange = validator;
    request.silenceLimit = timings.silenceLimit;
    request.cancel = &cancel;
    AttemptSink sink(file, point, request.rangeStart, report, check, timings);
    if (crossed) sink.RequireSameEtag();
    const HttpAttemptEnd end = PerformHttpAttempt(request, sink);
    retryAfter = sink.RetryAfter();
    report.Report(point.have, point.total, true);  // the bar shows where a broken attempt stopped
    const Next next = AfterAttempt(end, sink, file, path, point, check, held);
    if (sink.Status() != 0) crossed = false;  // the file is this server's from here on
    ++onUrl;
    const UrlMove move = mirrored ? MoveAfter(next, end, sink.Status(), onUrl >= perUrl) : UrlMove::kStay;
    if (move == UrlMove::kStay) {
      if (next) return *next;
      if (onUrl < perUrl) continue;
    }
    if (at + 1 >= urls.size()) return next.value_or(SetupDownloadEnd::kFailed);  // every URL has failed
    ++at;
    onUrl = 0;
    retryAfter.reset();
    // Another server's part is taken only under the same strong ETag; the
    // hash decides in the end.
    if (move == UrlMove::kNextAnew || (point.have > 0 && !IsStrongEtag(point.validator))) {
      if (!file.Truncate()) return SetupDownloadEnd::kFailed;
      point = {};
      check.StartOver();
    }
    crossed = point.have > 0;
    progress.OnServer(static_cast<int>(at) + 1, static_cast<int>(urls.size()));
  }
  return SetupDownloadEnd::kFailed;
}
