// The game's list file: one line per installed file, "T S \name", where T is
// the file's recorded time (seconds since 1970-01-01 UTC), S a number of at
// least 1, and the name is relative to the list file's folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The latest time a list line may give: 3000-01-01 00:00:00 UTC. Far later
// times wrap around in Windows' tick count or are clamped by the file
// system, so both platforms skip such lines alike.
inline constexpr int64_t kLatestListTime = 32503680000;

struct ListEntry {
  int64_t time = 0;
  std::u16string relativeName;  // "\" separators, as written
};

// One line without its "\r\n"; nothing when the line breaks a rule (a time
// outside 1 ... kLatestListTime among them), or names a file that could lie
// outside the list's folder (RelativePathInside).
std::optional<ListEntry> ParseListLine(std::u16string_view line);

// Calls visit(line) for every line of `text` up to its "\r\n", without the
// line end; text after the last "\r\n" is not a line.
template <typename Visit>
void ForEachListLine(std::u16string_view text, Visit&& visit) {
  for (;;) {
    const auto end = text.find(u"\r\n");
    if (end == std::u16string_view::npos) return;
    visit(text.substr(0, end));
    text.remove_prefix(end + 2);
  }
}

// A list file larger than this is not read: the step then ends as it does
// for a missing list.
inline constexpr uint64_t kMaxListFileBytes = 64ull * 1024 * 1024;

// Whether a file last written at `modified` is reset to `recorded`: when it
// differs and the difference is earlier, or later by whole minutes (plus at
// most one second).
bool ShouldResetTime(int64_t modified, int64_t recorded);

struct GameSettings;
// Resets the installed game's file times from its list file. Any failure
// ends the step quietly; nothing escapes it.
void RestoreFileTimes(const GameSettings& settings) noexcept;
