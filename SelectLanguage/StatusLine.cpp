#include "SelectLanguage/StatusLine.h"

#include "resources/ProgramResources.h"

namespace {

constexpr int kLanguages = 5;

std::u16string Decimal(uint64_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

std::u16string Count(int value) { return Decimal(value > 0 ? static_cast<uint64_t>(value) : 0); }

std::u16string Duration(uint64_t seconds, int language) {
  if (seconds < 60) return FillPlaceholders(StatusString(StatusText::kSeconds, language), {Decimal(seconds)});
  if (seconds < 3600) {
    return FillPlaceholders(StatusString(StatusText::kMinutes, language),
                            {Decimal(seconds / 60), Decimal(seconds % 60)});
  }
  return FillPlaceholders(StatusString(StatusText::kHours, language),
                          {Decimal(seconds / 3600), Decimal(seconds / 60 % 60)});
}

// Whole seconds until `next`, rounded up: the countdown reaches 0 when the
// next try starts.
uint64_t SecondsUntil(std::chrono::steady_clock::time_point next, std::chrono::steady_clock::time_point now) {
  if (next <= now) return 0;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
  return static_cast<uint64_t>((ms + 999) / 1000);
}

std::u16string Rate(uint64_t bytesPerSecond, int language) {
  if (bytesPerSecond >= 100000) {
    return FillPlaceholders(StatusString(StatusText::kRateMegabytes, language), {FormatMegabytes(bytesPerSecond)});
  }
  return FillPlaceholders(StatusString(StatusText::kRateKilobytes, language), {Decimal(bytesPerSecond / 1000)});
}

std::u16string Download(const InstallStatus& s, int language) {
  const std::u16string done = FormatMegabytes(s.done);
  if (s.total == 0) {
    if (s.bytesPerSecond == 0)
      return FillPlaceholders(StatusString(StatusText::kDownloadingNoTotalNoRate, language), {done});
    return FillPlaceholders(StatusString(StatusText::kDownloadingNoTotal, language),
                            {done, Rate(s.bytesPerSecond, language)});
  }
  const std::u16string total = FormatMegabytes(s.total);
  if (s.bytesPerSecond == 0)
    return FillPlaceholders(StatusString(StatusText::kDownloadingNoRate, language), {done, total});
  const uint64_t left = s.total > s.done ? s.total - s.done : 0;
  const uint64_t seconds = left / s.bytesPerSecond + (left % s.bytesPerSecond != 0 ? 1 : 0);
  return FillPlaceholders(StatusString(StatusText::kDownloading, language),
                          {done, total, Rate(s.bytesPerSecond, language), Duration(seconds, language)});
}

StatusText FailureText(InstallFailure failure) {
  switch (failure) {
    case InstallFailure::kSettings: return StatusText::kFailedSettings;
    case InstallFailure::kSetupChanged: return StatusText::kFailedSetupChanged;
    case InstallFailure::kRegistration: return StatusText::kFailedRegistration;
    case InstallFailure::kSetupFailed: return StatusText::kFailedSetup;
    case InstallFailure::kNoRoom: return StatusText::kFailedNoRoom;
    default: return StatusText::kFailedDownload;
  }
}

}  // namespace

std::u16string StatusString(StatusText text, int language) {
  if (language < 0 || language >= kLanguages) language = 0;
  return LoadProgramString(kResourceStatusStrings + 8 * static_cast<int>(text) + language);
}

std::u16string FillPlaceholders(std::u16string_view pattern, std::initializer_list<std::u16string_view> values) {
  std::u16string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const bool placeholder = pattern[i] == u'{' && i + 2 < pattern.size() && pattern[i + 1] >= u'1' &&
                             pattern[i + 1] <= u'9' && pattern[i + 2] == u'}';
    const std::size_t n = placeholder ? static_cast<std::size_t>(pattern[i + 1] - u'1') : 0;
    if (placeholder && n < values.size()) {
      out += *(values.begin() + n);
      i += 2;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::u16string FormatMegabytes(uint64_t bytes) {
  const uint64_t tenths = bytes / 100000;
  return Decimal(tenths / 10) + u'.' + static_cast<char16_t>(u'0' + tenths % 10);
}

std::u16string StatusLine(const InstallStatus& s, int language, std::chrono::steady_clock::time_point now) {
  switch (s.phase) {
    case InstallPhase::kConnecting: return StatusString(StatusText::kConnecting, language);
    case InstallPhase::kSettingsRetry:
      return FillPlaceholders(StatusString(StatusText::kSettingsRetry, language),
                              {Count(s.attempt), Count(s.attempts), Duration(SecondsUntil(s.next, now), language)});
    case InstallPhase::kReady: return StatusString(StatusText::kReady, language);
    case InstallPhase::kDownloading: return Download(s, language);
    case InstallPhase::kDownloadRetry:
      return FillPlaceholders(StatusString(StatusText::kDownloadRetry, language),
                              {Duration(SecondsUntil(s.next, now), language), Count(s.attempt), Count(s.attempts)});
    case InstallPhase::kAnotherServer:
      return FillPlaceholders(StatusString(StatusText::kTryingAnotherServer, language),
                              {Count(s.attempt), Count(s.attempts)});
    case InstallPhase::kChecking: return StatusString(StatusText::kChecking, language);
    case InstallPhase::kSetupRunning: return StatusString(StatusText::kSetupRunning, language);
    case InstallPhase::kSetupHeld: return StatusString(StatusText::kSetupHeld, language);
    case InstallPhase::kRestoringTimes: return StatusString(StatusText::kRestoringTimes, language);
    case InstallPhase::kStartingGame: return StatusString(StatusText::kStartingGame, language);
    case InstallPhase::kFailed: return StatusString(FailureText(s.failure), language);
  }
  return {};
}
