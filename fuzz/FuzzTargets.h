// The bodies of the fuzz targets, shared with the regression test that
// replays saved inputs in the normal build. Each checks its own invariants
// and aborts on a violation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/GameSettings.h"
#include "net/JsonExtract.h"
#include "net/Text.h"

namespace fuzz {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

// The value of the first "key" in the decoded text, up to its CR LF.
inline std::u16string_view ValueOf(std::u16string_view all, std::u16string_view key) {
  const auto at = all.find(key);
  if (at == std::u16string_view::npos) return {};
  const auto start = at + key.size();
  return all.substr(start, all.find(u"\r\n", start) - start);
}

inline int HexDigit(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  return -1;
}

// A setup check as a reader written another way sees it: a hash is exactly
// 64 hex digits in either case, a size decimal digits only within 64 bits
// (leading zeros allowed), and what is given but not that is malformed.
inline void CheckSetupCheck(std::u16string_view all, std::size_t slot, const SetupCheck& check) {
  static constexpr const char16_t* kLanguages[] = {u"ZKEN", u"ZKSC", u"ZKTC", u"ZKRU", u"ZKJP"};
  const std::u16string_view hash = ValueOf(all, std::u16string(u"H_SHA2_") + kLanguages[slot] + u"=");
  bool hashReads = hash.size() == 64;
  for (const char16_t unit : hash) hashReads = hashReads && HexDigit(unit) >= 0;
  Check(check.sha256Given == (hash.empty() ? SetupCheck::Given::kNone
                              : hashReads  ? SetupCheck::Given::kValue
                                           : SetupCheck::Given::kMalformed));
  for (std::size_t i = 0; hashReads && i < 32; ++i) {
    Check(check.sha256[i] == (HexDigit(hash[2 * i]) << 4 | HexDigit(hash[2 * i + 1])));
  }
  const std::u16string_view size = ValueOf(all, std::u16string(u"S_SIZE_") + kLanguages[slot] + u"=");
  bool digitsOnly = true;
  for (const char16_t unit : size) digitsOnly = digitsOnly && unit >= u'0' && unit <= u'9';
  const std::u16string_view significant = size.substr(std::min(size.find_first_not_of(u'0'), size.size()));
  const std::string narrow(significant.begin(), significant.end());
  const bool fits = narrow.size() < 20 || (narrow.size() == 20 && narrow <= "18446744073709551615");
  const bool sizeReads = !size.empty() && digitsOnly && fits;
  Check(check.sizeGiven == (size.empty() ? SetupCheck::Given::kNone
                            : sizeReads  ? SetupCheck::Given::kValue
                                         : SetupCheck::Given::kMalformed));
  if (sizeReads) Check(std::to_string(check.size) == (narrow.empty() ? "0" : narrow));
}

// Every field that was written must be terminated inside its capacity, and
// the setup checks read as the reference above reads them.
inline void FuzzGameSettings(const uint8_t* data, std::size_t size) {
  GameSettings s;
  auto* units = reinterpret_cast<char16_t*>(&s);
  for (std::size_t i = 0; i < sizeof s / 2; ++i) units[i] = u'#';
  const bool ok = ParseGameSettings(std::string_view(reinterpret_cast<const char*>(data), size), s);
  if (ok) {
    const auto terminated = [](std::span<const char16_t> f) { return FitsField(FieldText(f).size(), f.size()); };
    for (const auto& f : s.uPath) Check(terminated(f));
    for (const auto& f : s.fName) Check(terminated(f));
    for (const auto* f : {&s.fNameLst, &s.fNameGame, &s.fNameUpdate, &s.rPathRoot, &s.rPathGame}) Check(terminated(*f));
    const std::u16string all = DecodeGameConfigText(std::string_view(reinterpret_cast<const char*>(data), size));
    for (std::size_t slot = 0; slot < kLanguageSlots; ++slot) CheckSetupCheck(all, slot, s.setupCheck[slot]);
  }
}

// Replaces like NormalizeJsonNulls, on a std::u16string.
inline std::u16string ReferenceNormalized(std::u16string_view text) {
  const std::u16string_view from = u"\": null";
  std::u16string out;
  std::size_t at = 0;
  for (auto hit = text.find(from); hit != std::u16string_view::npos; hit = text.find(from, at)) {
    out.append(text.substr(at, hit - at));
    out.append(u"\": \"\"");
    at = hit + from.size();
  }
  out.append(text.substr(at));
  return out;
}

// Input: start marker, 0x01, end marker, 0x01, answer (all UTF-8).
inline void FuzzJsonExtract(const uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const auto a = in.find('\x01');
  const auto b = a == std::string_view::npos ? a : in.find('\x01', a + 1);
  const std::u16string startMarker = a == std::string_view::npos ? u"{\"client_ip\":\"" : Utf8ToUtf16(in.substr(0, a));
  const std::u16string endMarker = b == std::string_view::npos ? u"\"" : Utf8ToUtf16(in.substr(a + 1, b - a - 1));
  std::u16string answer = Utf8ToUtf16(b == std::string_view::npos ? in : in.substr(b + 1));
  answer = answer.substr(0, answer.find(u'\0'));

  std::u16string work = answer;
  work.push_back(u'\0');
  NormalizeJsonNulls(work.data());
  const std::u16string normalized = work.substr(0, work.find(u'\0'));
  Check(normalized == ReferenceNormalized(answer));

  // Walk the text value by value; the cursor only moves forward and stays
  // inside the text, and every value lies between the old and new cursor.
  char16_t* const begin = work.data();
  char16_t* const end = begin + normalized.size();
  char16_t* cursor = begin;
  for (int i = 0; i < 64; ++i) {
    char16_t* before = cursor;
    const char16_t* value = ExtractBetween(i == 0 ? startMarker.c_str() : nullptr, endMarker.c_str(), cursor);
    Check(cursor >= before && cursor <= end);
    if (value == nullptr) break;
    Check(value >= before && value < cursor);
    if (cursor == before) break;  // an empty end marker would stand still
  }
}

}  // namespace fuzz
