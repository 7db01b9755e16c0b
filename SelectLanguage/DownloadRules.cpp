#include "SelectLanguage/DownloadRules.h"

#include <algorithm>
#include <charconv>

namespace {

// A run of decimal digits at the front of `text`, which it then leaves.
std::optional<uint64_t> TakeNumber(std::string_view& text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
}

bool TakeLiteral(std::string_view& text, std::string_view literal) {
  if (!text.starts_with(literal)) return false;
  text.remove_prefix(literal.size());
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The validator of this answer that compares with the one the request sent:
// absent from the answer counts as unchanged.
bool SameVersion(const HttpAnswerHead& head, const std::string& sent) {
  if (sent.empty()) return true;
  const std::string& now = IsStrongEtag(sent) ? head.etag : head.lastModified;
  return now.empty() || now == sent;
}

// An IMF-fixdate, "Sun, 06 Nov 1994 08:49:37 GMT", the form HTTP dates take.
std::optional<std::chrono::system_clock::time_point> ParseHttpDate(std::string_view text) {
  static constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (text.size() < 5 || text[3] != ',') return std::nullopt;
  text.remove_prefix(4);
  const auto day = TakeLiteral(text, " ") ? TakeNumber(text) : std::nullopt;
  if (!day || !TakeLiteral(text, " ") || text.size() < 4) return std::nullopt;
  const auto month = std::find(kMonths.begin(), kMonths.end(), text.substr(0, 3));
  if (month == kMonths.end()) return std::nullopt;
  text.remove_prefix(3);
  const auto year = TakeLiteral(text, " ") ? TakeNumber(text) : std::nullopt;
  const auto hour = year && TakeLiteral(text, " ") ? TakeNumber(text) : std::nullopt;
  const auto minute = hour && TakeLiteral(text, ":") ? TakeNumber(text) : std::nullopt;
  const auto second = minute && TakeLiteral(text, ":") ? TakeNumber(text) : std::nullopt;
  if (!second || text != " GMT" || *hour > 23 || *minute > 59 || *second > 60 || *year > 9999) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(*year)),
                                         std::chrono::month(static_cast<unsigned>(month - kMonths.begin() + 1)),
                                         std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok()) return std::nullopt;
  return std::chrono::sys_days(date) + std::chrono::hours(*hour) + std::chrono::minutes(*minute) +
         std::chrono::seconds(*second);
}

}  // namespace

bool IsStrongEtag(std::string_view etag) { return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"'; }

std::optional<ContentRange> ParseContentRange(std::string_view value) {
  value = Trimmed(value);
  if (!TakeLiteral(value, "bytes ")) return std::nullopt;
  ContentRange range;
  const auto first = TakeNumber(value);
  const auto last = first && TakeLiteral(value, "-") ? TakeNumber(value) : std::nullopt;
  if (!last || *last < *first || !TakeLiteral(value, "/")) return std::nullopt;
  range.first = *first;
  range.last = *last;
  if (value == "*") return range;
  range.total = TakeNumber(value);
  if (!range.total || !value.empty() || *range.total <= *last) return std::nullopt;
  return range;
}

std::string ResumeValidator(const HttpAnswerHead& head) {
  if (IsStrongEtag(head.etag)) return head.etag;
  return head.lastModified;
}

HeadVerdict JudgeHead(const HttpAnswerHead& head, uint64_t askedFrom, const ResumePoint& point) {
  const int status = head.status;
  if (status == 206) {
    const auto range = ParseContentRange(head.contentRange);
    const bool fits = range && range->total && range->first == askedFrom && askedFrom == point.have &&
                      range->last + 1 == *range->total && (!point.total || *point.total == *range->total) &&
                      SameVersion(head, point.validator);
    return fits ? HeadVerdict::kContinuation : HeadVerdict::kStartOver;
  }
  if (status >= 200 && status <= 299) return HeadVerdict::kWholeBody;
  if (status == 416 && askedFrom > 0) return HeadVerdict::kStartOver;
  if (status >= 500 || status == 408 || status == 429) return HeadVerdict::kTryAgain;
  return HeadVerdict::kGiveUp;
}

std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, std::chrono::system_clock::time_point now) {
  value = Trimmed(value);
  std::string_view digits = value;
  if (const auto seconds = TakeNumber(digits); seconds && digits.empty()) {
    return std::chrono::seconds(std::min<uint64_t>(*seconds, 86400));
  }
  const auto when = ParseHttpDate(value);
  if (!when) return std::nullopt;
  return std::max(std::chrono::seconds(0), std::chrono::ceil<std::chrono::seconds>(*when - now));
}

std::chrono::milliseconds PauseBeforeAttempt(int next, std::optional<std::chrono::seconds> retryAfter,
                                             const DownloadRetryTimings& timings) {
  const auto index = static_cast<std::size_t>(std::clamp(next - 1, 0, static_cast<int>(timings.pauses.size()) - 1));
  std::chrono::milliseconds pause = timings.pauses[index];
  if (retryAfter) {
    pause = std::max(pause, std::min<std::chrono::milliseconds>(*retryAfter, timings.retryAfterCap));
  }
  return pause;
}
