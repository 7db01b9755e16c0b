// The bodies of the fuzz targets, shared with the regression test that
// replays saved inputs in the normal build. Each checks its own invariants
// and aborts on a violation.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Every field that was written must be terminated inside its capacity.
inline void FuzzGameSettings(const uint8_t* data, std::size_t size) {
  GameSettings s;
  auto* units = reinterpret_cast<char16_t*>(&s);
  for (std::size_t i = 0; i < sizeof s / 2; ++i) units[i] = u'#';
  const bool ok = ParseGameSettings(std::string_view(reinterpret_cast<const char*>(data), size), s);
  if (ok) {
    for (const auto& f : s.uPath) Check(BoundedLength(f, 256) < 256);
    for (const auto& f : s.fName) Check(BoundedLength(f, 128) < 128);
    for (const char16_t* f : {s.fNameLst, s.fNameGame, s.fNameUpdate, s.rPathRoot, s.rPathGame}) {
      Check(BoundedLength(f, 128) < 128);
    }
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
  const std::u16string endMarker =
      b == std::string_view::npos ? u"\"" : Utf8ToUtf16(in.substr(a + 1, b - a - 1));
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
