// The game's remote configuration: fifteen fixed-capacity UTF-16 texts,
// 5120 bytes. Entry i of uPath and fName belongs to language slot i
// (0 English, 1 Simplified Chinese, 2 Traditional Chinese, 3 Russian,
// 4 Japanese).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "net/Sha256.h"
#include "net/SignatureVerify.h"
#include "net/Text.h"

inline constexpr int kLanguageSlots = 5;
// Further download folders a language may name, tried after its own.
inline constexpr int kMirrorPaths = 3;

// Field capacities in UTF-16 units, the terminator included (see FitsField).
inline constexpr std::size_t kUrlFieldUnits = 256;   // the download folder URLs
inline constexpr std::size_t kNameFieldUnits = 128;  // file names and registry keys

// What the configuration says a language's setup program must be: its
// SHA-256 ("H_SHA2_ZK..=", 64 hex digits) and its size in bytes
// ("S_SIZE_ZK..=", decimal). Both are optional; an empty value is none.
struct SetupCheck {
  enum class Given : uint8_t { kNone, kMalformed, kValue };
  Given sha256Given;
  Sha256Digest sha256;
  Given sizeGiven;
  uint64_t size;
};

struct GameSettings {
  char16_t uPath[kLanguageSlots][kUrlFieldUnits];   // download folder URL, ends with its "/"
  char16_t fName[kLanguageSlots][kNameFieldUnits];  // setup program file name
  char16_t fNameLst[kNameFieldUnits];               // list file in the installed game's folder
  char16_t fNameGame[kNameFieldUnits];              // game program (read by nobody)
  char16_t fNameUpdate[kNameFieldUnits];            // program started after installation
  char16_t rPathRoot[kNameFieldUnits];              // registry key of the value "Path"
  char16_t rPathGame[kNameFieldUnits];              // registry key of the value "localfolder"
  // Beyond the fifteen texts: the setup programs' checks, entry i for slot i.
  SetupCheck setupCheck[kLanguageSlots];
  // Then up to three mirrors of each download folder ("M_PATH1_ZK..=" to
  // "M_PATH3_ZK..="), entry [i][n] for slot i; empty is none. Each holds the
  // same files as uPath[i], under the same fName[i].
  char16_t mPath[kLanguageSlots][kMirrorPaths][kUrlFieldUnits];
};
static_assert(offsetof(GameSettings, setupCheck) == 5120, "the fifteen texts keep their 5120 bytes");

// A configuration body larger than this fails the attempt.
inline constexpr uint64_t kMaxGameConfigBytes = 1024 * 1024;

// The configuration's bytes as the keys are searched in: the text up to its
// first zero byte, CR LF appended (so the last line needs no line end),
// decoded from code page 949.
std::u16string DecodeGameConfigText(std::string_view bytes);

// The fifteen keys in their search order (the equals sign belongs to the
// key), index 0 to kGameSettingsKeys - 1; empty past the last.
inline constexpr std::size_t kGameSettingsKeys = 15;
std::u16string_view GameSettingsKey(std::size_t index);

// The value of the first occurrence of `key` in a decoded text, up to its
// CR LF; nothing when the key is absent or no CR LF follows it.
std::optional<std::u16string_view> FindConfigValue(std::u16string_view text, std::u16string_view key);

// The key of mirror `n` (0 ... kMirrorPaths - 1) of language slot `slot`,
// "M_PATH<n + 1>_ZK..=", the equals sign included; empty outside the ranges.
std::u16string_view MirrorPathKey(int slot, int n);

// Language slot `slot`'s setup check as a decoded text gives it (none for
// a slot outside 0 ... kLanguageSlots - 1).
SetupCheck ReadSetupCheck(std::u16string_view text, int slot);

// Fills the record from the bytes of a configuration file (code page 949,
// CR LF lines, "KEY=value"). Fields are filled in key order; the first
// missing key, or a value that does not fit its field, ends the parse with
// false, leaving the earlier fields filled and the rest untouched. Once all
// fifteen are in, the optional setup checks and mirrors are read by the same
// rules (the first occurrence wins, the value runs to its CR LF, nothing is
// trimmed); a mirror too long for its field is none.
bool ParseGameSettings(std::string_view bytes, GameSettings& settings);

// How one attempt ended. Every outcome but kLoaded is a failed try.
enum class SettingsOutcome : uint8_t {
  kLoaded,              // all fifteen fields filled
  kNotFetched,          // no complete answer, or its file could not be read
  kIncomplete,          // a key missing, or a value too long for its field
  kNoSignature,         // the last line is no signature line
  kMalformedSignature,  // not canonical base64, or not a strict DER signature
  kNotTrusted,          // no trusted key verifies it: changed after signing, or signed by another key
  kUnreadableExpiry,    // "X_EXPIRES=" is not a number
  kExpired,             // past its "X_EXPIRES=" time
  kProxyCredentials,    // the direct way could not connect, and the system's
                        // proxy asked for credentials that could not be given
};

// The log entry that names why a configuration was refused; empty for the
// outcomes that the try's own entry already tells.
std::u16string_view SettingsRefusalEntry(SettingsOutcome outcome);

// One attempt: fetches the configuration into "InfoGlobal.txt" in the
// current directory, reads and deletes it, checks its signature (in a build
// with keys) and expiry time, and parses what the signature covers. Nothing
// of a refused file reaches the record. Shows and logs nothing.
//
// The fetch goes direct. Only when that cannot connect (refused, the name
// did not resolve, the connect timed out, no route) does the same attempt
// go through the system's proxy, and only with trusted keys: a proxy can
// withhold a signed file but not change it, while an unsigned one is taken
// from whoever answers, so without keys the configuration stays direct.
SettingsOutcome LoadGameSettings(GameSettings& settings);
// The same with these trusted keys instead of the build's.
SettingsOutcome LoadGameSettings(GameSettings& settings, std::span<const P256PublicKey> trustedKeys);
