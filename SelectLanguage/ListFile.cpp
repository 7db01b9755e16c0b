#include "SelectLanguage/ListFile.h"

#include <limits>

#include "SelectLanguage/GameFolder.h"
#include "net/Files.h"
#include "net/GameSettings.h"
#include "net/Text.h"

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A run of digits from `at`: its value and its end, or nothing on overflow.
std::optional<std::pair<int64_t, std::size_t>> ReadNumber(std::u16string_view text, std::size_t at) {
  int64_t value = 0;
  std::size_t end = at;
  for (; end < text.size() && IsDigit(text[end]); ++end) {
    const int digit = text[end] - u'0';
    if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return std::make_pair(value, end);
}

std::size_t SkipToDigit(std::u16string_view text, std::size_t at) {
  while (at < text.size() && !IsDigit(text[at])) ++at;
  return at;
}

// A relative name stays inside the list's folder: no leading separator, no
// drive, no empty, "." only or ".." parts.
bool StaysInside(std::u16string_view name) {
  if (name.find(u':') != std::u16string_view::npos || name.find(u'/') != std::u16string_view::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    const auto end = std::min(name.find(u'\\', start), name.size());
    const std::u16string_view part = name.substr(start, end - start);
    if (part.empty() || part == u".." || part == u".") return false;
    start = end + 1;
  }
  return true;
}

std::u16string ToPlatformPath(std::u16string_view name) {
  std::u16string path(name);
  for (char16_t& c : path) {
    if (c == u'\\') c = kPathSeparator;
  }
  return path;
}

}  // namespace

std::optional<ListEntry> ParseListLine(std::u16string_view line) {
  const auto backslash = line.find(u'\\');
  if (backslash == std::u16string_view::npos) return std::nullopt;
  const std::u16string_view name = line.substr(backslash + 1);
  const std::u16string_view head = line.substr(0, backslash);
  if (name.empty()) return std::nullopt;

  const auto time = ReadNumber(head, SkipToDigit(head, 0));
  if (!time || time->second >= head.size()) return std::nullopt;  // T needs a non-digit after it
  const std::size_t sizeStart = SkipToDigit(head, time->second);
  if (sizeStart >= head.size()) return std::nullopt;
  const auto size = ReadNumber(head, sizeStart);
  if (!size || size->second >= head.size()) return std::nullopt;  // a separator before the "\"
  if (time->first < 1 || time->first > kLatestListTime || size->first < 1) return std::nullopt;
  if (!StaysInside(name)) return std::nullopt;
  return ListEntry{time->first, std::u16string(name)};
}

std::vector<std::u16string_view> SplitListLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  for (;;) {
    const auto end = text.find(u"\r\n");
    if (end == std::u16string_view::npos) return lines;
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 2);
  }
}

bool ShouldResetTime(int64_t modified, int64_t recorded) {
  if (modified == recorded) return false;
  // Remainder truncated toward zero: every earlier file qualifies. A later
  // one's difference fits in 64 unsigned bits (no 128-bit type on 32-bit
  // targets).
  if (modified < recorded) return true;
  return (static_cast<uint64_t>(modified) - static_cast<uint64_t>(recorded)) % 60 <= 1;
}

void RestoreFileTimes(const GameSettings& settings) {
  const auto gameFolder = ReadGameFolder(settings);
  if (!gameFolder) return;
  const std::u16string listPath = JoinPath(*gameFolder, FieldText(settings.fNameLst));
  std::vector<uint8_t> bytes;
  if (ReadWholeFile(listPath, bytes, 0) <= 0) return;
  // The text ends at its first zero byte; the last line needs no line end.
  std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  raw = raw.substr(0, raw.find('\0'));
  const std::u16string text = Cp949ToUtf16(raw) + u"\r\n";
  const std::u16string listFolder = listPath.substr(0, listPath.rfind(kPathSeparator));
  FolderBoundary boundary(listFolder);

  for (std::u16string_view line : SplitListLines(text)) {
    const auto entry = ParseListLine(line);
    if (!entry) continue;
    const std::u16string file = JoinPath(listFolder, ToPlatformPath(entry->relativeName));
    // The names themselves stay inside; a linked folder on the way must not
    // lead out either (the file itself, if a link, keeps its target's time).
    if (!boundary.Contains(file)) continue;
    const auto modified = GetFileModifiedTime(file);
    if (modified && ShouldResetTime(*modified, entry->time)) SetFileModifiedTime(file, entry->time);
  }
}
