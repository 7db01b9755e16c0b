#include "net/JsonExtract.h"

#include <cstddef>

namespace {

std::size_t Length(const char16_t* text) {
  std::size_t n = 0;
  while (text[n] != u'\0') ++n;
  return n;
}

// First occurrence of a non-empty needle in a zero-terminated text.
char16_t* Find(char16_t* text, const char16_t* needle) {
  for (; *text != u'\0'; ++text) {
    std::size_t i = 0;
    while (needle[i] != u'\0' && text[i] == needle[i]) ++i;
    if (needle[i] == u'\0') return text;
  }
  return nullptr;
}

constexpr char16_t kNull[] = u"\": null";
constexpr char16_t kEmpty[] = u"\": \"\"";
constexpr std::size_t kNullLength = 7;
constexpr std::size_t kEmptyLength = 5;

}  // namespace

void NormalizeJsonNulls(char16_t* text) {
  if (text == nullptr || *text == u'\0') return;
  char16_t* read = text;
  char16_t* write = text;
  while (char16_t* match = Find(read, kNull)) {
    // The write position never passes the read position, so moving forward
    // one unit at a time is safe in place.
    while (read != match) *write++ = *read++;
    for (std::size_t i = 0; i < kEmptyLength; ++i) *write++ = kEmpty[i];
    read += kNullLength;
  }
  if (write == read) return;
  while ((*write++ = *read++) != u'\0') {
  }
}

char16_t* ExtractBetween(const char16_t* startMarker, const char16_t* endMarker, char16_t*& cursor) {
  if (cursor == nullptr || endMarker == nullptr || *endMarker == u'\0') return nullptr;
  if (startMarker != nullptr && *startMarker != u'\0') {
    char16_t* start = Find(cursor, startMarker);
    if (start == nullptr) return nullptr;
    cursor = start + Length(startMarker);
  }
  char16_t* value = cursor;
  char16_t* end = Find(value, endMarker);
  if (end == nullptr) return nullptr;
  cursor = end + Length(endMarker);
  *end = u'\0';
  return value;
}
