#include "SelectLanguage/ListFile.h"

#include <limits>

#include "SelectLanguage/GameFolder.h"
#include "net/Files.h"
#include "net/FolderFiles.h"
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
  if (!RelativePathInside(name)) return std::nullopt;
  return ListEntry{time->first, std::u16string(name)};
}

bool ShouldResetTime(int64_t modified, int64_t recorded) {
  if (modified == recorded) return false;
  // Remainder truncated toward zero: every earlier file qualifies. A later
  // one's difference fits in 64 unsigned bits (no 128-bit type on 32-bit
  // targets).
  if (modified < recorded) return true;
  return (static_cast<uint64_t>(modified) - static_cast<uint64_t>(recorded)) % 60 <= 1;
}

namespace {

// The list is decoded a slice of whole lines at a time: one converter per
// slice rather than per line, and never a second copy of the whole list.
constexpr std::size_t kDecodeSlice = 64 * 1024;

void ApplyListLine(std::u16string_view line, FolderFiles& files) {
  const auto entry = ParseListLine(line);
  if (!entry) return;
  // The names themselves stay inside, and the folders on their way are
  // reached only through the list's folder (the file itself, if a link,
  // keeps its target's time).
  const std::u16string relative = *RelativePathInside(entry->relativeName);
  const auto modified = files.ModifiedTime(relative);
  if (modified && ShouldResetTime(*modified, entry->time)) files.SetModifiedTime(relative, entry->time);
}

void RestoreFileTimesFromList(const GameSettings& settings) {
  const auto gameFolder = ReadGameFolder(settings);
  if (!gameFolder) return;
  // A list named outside the game's folder is no list of the game's.
  const auto listPath = GameFilePath(*gameFolder, FieldText(settings.fNameLst));
  if (!listPath) return;
  std::vector<uint8_t> bytes;
  if (ReadWholeFile(*listPath, bytes, 0, kMaxListFileBytes) <= 0) return;
  // The text ends at its first zero byte.
  std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  raw = raw.substr(0, raw.find('\0'));
  FolderFiles files(std::u16string_view(*listPath).substr(0, listPath->rfind(kPathSeparator)));

  // A CR or LF is never a character's second byte, and a pair that is no
  // character takes only its first byte, so a slice cut after "\r\n"
  // decodes as the whole text would.
  while (!raw.empty()) {
    const auto end = raw.size() > kDecodeSlice ? raw.find("\r\n", kDecodeSlice) : std::string_view::npos;
    const std::size_t cut = end == std::string_view::npos ? raw.size() : end + 2;
    std::u16string text = Cp949ToUtf16(raw.substr(0, cut));
    if (cut == raw.size()) text += u"\r\n";  // the last line needs no line end
    ForEachListLine(std::u16string_view(text), [&](std::u16string_view line) { ApplyListLine(line, files); });
    raw.remove_prefix(cut);
  }
}

}  // namespace

void RestoreFileTimes(const GameSettings& settings) noexcept {
  try {
    RestoreFileTimesFromList(settings);
  } catch (...) {
    // Whatever went wrong (memory, above all), the step ends quietly and the
    // installation goes on to start the game.
  }
}
