#include "SelectLanguage/ProgressLog.h"

#include <vector>

#include "net/Files.h"

ProgressLog& ProgressLog::Instance() {
  static ProgressLog log;
  return log;
}

bool ProgressLog::Write(std::u16string_view text, bool truncate) const {
  // One buffer, one write: the byte-order mark, the text, the line end.
  std::vector<uint8_t> bytes;
  bytes.reserve(2 * text.size() + 6);
  auto put = [&bytes](char16_t unit) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  };
  put(0xFEFF);
  for (char16_t unit : text) put(unit);
  put(u'\r');
  put(u'\n');
  return WriteFileEntry(fileName_, bytes.data(), bytes.size(),
                        truncate ? EntryMode::kTruncate : EntryMode::kAppendExisting) == 1;
}

std::u16string FormatLogEntry(std::u16string_view format, std::initializer_list<FormatArg> args) {
  std::vector<std::u16string> texts;
  texts.reserve(args.size());
  std::vector<FormatArg> safe;
  safe.reserve(args.size());
  for (const FormatArg& arg : args) {
    if (const auto* text = std::get_if<std::u16string_view>(&arg)) {
      texts.push_back(SanitizeLogText(*text));
      safe.emplace_back(std::u16string_view(texts.back()));
    } else {
      safe.push_back(arg);
    }
  }
  return FormatText(format, std::span<const FormatArg>(safe));
}
