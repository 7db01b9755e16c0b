// The game's remote configuration: fifteen fixed-capacity UTF-16 texts,
// 5120 bytes. Entry i of uPath and fName belongs to language slot i
// (0 English, 1 Simplified Chinese, 2 Traditional Chinese, 3 Russian,
// 4 Japanese).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/Text.h"

inline constexpr int kLanguageSlots = 5;

struct GameSettings {
  char16_t uPath[kLanguageSlots][256];  // download folder URL, ends with its "/"
  char16_t fName[kLanguageSlots][128];  // setup program file name
  char16_t fNameLst[128];               // list file in the installed game's folder
  char16_t fNameGame[128];              // game program (read by nobody)
  char16_t fNameUpdate[128];            // program started after installation
  char16_t rPathRoot[128];              // registry key of the value "Path"
  char16_t rPathGame[128];              // registry key of the value "localfolder"
};
static_assert(sizeof(GameSettings) == 5120);

// A field's text: up to its terminator, and never past the field.
template <std::size_t N>
std::u16string_view FieldText(const char16_t (&field)[N]) {
  return {field, BoundedLength(field, N)};
}

// A configuration body larger than this fails the attempt.
inline constexpr uint64_t kMaxGameConfigBytes = 1024 * 1024;

// Fills the record from the bytes of a configuration file (code page 949,
// CR LF lines, "KEY=value"). Fields are filled in key order; the first
// missing key, or a value that does not fit its field, ends the parse with
// false, leaving the earlier fields filled and the rest untouched.
bool ParseGameSettings(std::string_view bytes, GameSettings& settings);

// One attempt: fetches the configuration into "InfoGlobal.txt" in the
// current directory, reads and deletes it, and parses it. True when all
// fifteen fields were filled. Shows and logs nothing.
bool LoadGameSettings(GameSettings& settings);
