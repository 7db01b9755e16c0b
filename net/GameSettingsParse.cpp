// The configuration text parser, kept apart from the download so that it
// can be fuzzed and tested from bytes alone.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "net/GameSettings.h"
#include "net/Text.h"

namespace {

struct KeyField {
  std::u16string_view key;  // the equals sign belongs to the key
  std::span<char16_t> (*field)(GameSettings&);
};

template <std::size_t N>
std::span<char16_t> Span(char16_t (&field)[N]) {
  return std::span<char16_t>(field, N);
}

// The search order is part of the behaviour: fields fill one by one.
const std::array<KeyField, kGameSettingsKeys> kKeys = {{
    {u"U_PATH_ZKEN=", [](GameSettings& s) { return Span(s.uPath[0]); }},
    {u"U_PATH_ZKSC=", [](GameSettings& s) { return Span(s.uPath[1]); }},
    {u"U_PATH_ZKTC=", [](GameSettings& s) { return Span(s.uPath[2]); }},
    {u"U_PATH_ZKRU=", [](GameSettings& s) { return Span(s.uPath[3]); }},
    {u"U_PATH_ZKJP=", [](GameSettings& s) { return Span(s.uPath[4]); }},
    {u"F_NAME_ZKEN=", [](GameSettings& s) { return Span(s.fName[0]); }},
    {u"F_NAME_ZKSC=", [](GameSettings& s) { return Span(s.fName[1]); }},
    {u"F_NAME_ZKTC=", [](GameSettings& s) { return Span(s.fName[2]); }},
    {u"F_NAME_ZKRU=", [](GameSettings& s) { return Span(s.fName[3]); }},
    {u"F_NAME_ZKJP=", [](GameSettings& s) { return Span(s.fName[4]); }},
    {u"F_NAME_Lst=", [](GameSettings& s) { return Span(s.fNameLst); }},
    {u"F_NAME_Game=", [](GameSettings& s) { return Span(s.fNameGame); }},
    {u"F_NAME_Update=", [](GameSettings& s) { return Span(s.fNameUpdate); }},
    {u"R_PATH_Root=", [](GameSettings& s) { return Span(s.rPathRoot); }},
    {u"R_PATH_Game=", [](GameSettings& s) { return Span(s.rPathGame); }},
}};

constexpr std::u16string_view kLineEnd = u"\r\n";

// The optional checks of each language's setup program, in slot order.
constexpr std::array<std::u16string_view, kLanguageSlots> kHashKeys = {
    u"H_SHA2_ZKEN=", u"H_SHA2_ZKSC=", u"H_SHA2_ZKTC=", u"H_SHA2_ZKRU=", u"H_SHA2_ZKJP="};
constexpr std::array<std::u16string_view, kLanguageSlots> kSizeKeys = {
    u"S_SIZE_ZKEN=", u"S_SIZE_ZKSC=", u"S_SIZE_ZKTC=", u"S_SIZE_ZKRU=", u"S_SIZE_ZKJP="};

// The mirrors' keys, [slot][n].
constexpr std::u16string_view kMirrorKeys[kLanguageSlots][kMirrorPaths] = {
    {u"M_PATH1_ZKEN=", u"M_PATH2_ZKEN=", u"M_PATH3_ZKEN="},
    {u"M_PATH1_ZKSC=", u"M_PATH2_ZKSC=", u"M_PATH3_ZKSC="},
    {u"M_PATH1_ZKTC=", u"M_PATH2_ZKTC=", u"M_PATH3_ZKTC="},
    {u"M_PATH1_ZKRU=", u"M_PATH2_ZKRU=", u"M_PATH3_ZKRU="},
    {u"M_PATH1_ZKJP=", u"M_PATH2_ZKJP=", u"M_PATH3_ZKJP="}};

// Decimal digits only, no sign and no blanks, within 64 bits.
std::optional<uint64_t> ParseSize(std::u16string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char16_t unit : text) {
    if (unit < u'0' || unit > u'9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(unit - u'0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::u16string_view GameSettingsKey(std::size_t index) { return index < kKeys.size() ? kKeys[index].key : u""; }

std::optional<std::u16string_view> FindConfigValue(std::u16string_view text, std::u16string_view key) {
  const auto at = text.find(key);
  if (at == std::u16string_view::npos) return std::nullopt;
  const auto start = at + key.size();
  const auto end = text.find(kLineEnd, start);
  if (end == std::u16string_view::npos) return std::nullopt;
  return text.substr(start, end - start);
}

std::u16string_view MirrorPathKey(int slot, int n) {
  if (slot < 0 || slot >= kLanguageSlots || n < 0 || n >= kMirrorPaths) return u"";
  return kMirrorKeys[slot][n];
}

SetupCheck ReadSetupCheck(std::u16string_view text, int slot) {
  SetupCheck check{SetupCheck::Given::kNone, {}, SetupCheck::Given::kNone, 0};
  if (slot < 0 || slot >= kLanguageSlots) return check;
  const auto hash = FindConfigValue(text, kHashKeys[slot]);
  if (hash && !hash->empty()) {
    const auto digest = ParseSha256Hex(*hash);
    check.sha256Given = digest ? SetupCheck::Given::kValue : SetupCheck::Given::kMalformed;
    if (digest) check.sha256 = *digest;
  }
  const auto size = FindConfigValue(text, kSizeKeys[slot]);
  if (size && !size->empty()) {
    const auto bytes = ParseSize(*size);
    check.sizeGiven = bytes ? SetupCheck::Given::kValue : SetupCheck::Given::kMalformed;
    if (bytes) check.size = *bytes;
  }
  return check;
}

std::u16string DecodeGameConfigText(std::string_view bytes) {
  // The text ends at its first zero byte; CR LF behind it lets the last line
  // go without a line end.
  std::string text(bytes.substr(0, bytes.find('\0')));
  text += "\r\n";
  return Cp949ToUtf16(text);
}

bool ParseGameSettings(std::string_view bytes, GameSettings& settings) {
  if (bytes.size() > kMaxGameConfigBytes) return false;
  const std::u16string decoded = DecodeGameConfigText(bytes);
  const std::u16string_view all(decoded);

  // Every key is searched in the whole text: a cut made for one key never
  // hides text from the next.
  for (const KeyField& entry : kKeys) {
    const auto value = FindConfigValue(all, entry.key);
    if (!value || !StoreInField(entry.field(settings), *value)) return false;
  }
  for (int slot = 0; slot < kLanguageSlots; ++slot) {
    settings.setupCheck[slot] = ReadSetupCheck(all, slot);
    for (int n = 0; n < kMirrorPaths; ++n) {
      // Optional: one that is absent or does not fit leaves the others.
      const auto mirror = FindConfigValue(all, kMirrorKeys[slot][n]);
      std::span<char16_t> field(settings.mPath[slot][n]);
      if (!mirror || !StoreInField(field, *mirror)) field[0] = u'\0';
    }
  }
  return true;
}
