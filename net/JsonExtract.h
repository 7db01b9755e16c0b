// Picking values out of a JSON-shaped answer without a JSON parser. Both
// work in place on a writable zero-terminated UTF-16 text.
#pragma once

// Replaces every `": null` (seven characters) by `": ""` (five); the text
// never grows. A null text is left alone.
void NormalizeJsonNulls(char16_t* text);

// From `cursor`: skips past startMarker (when it is given and not empty),
// then finds endMarker, ends the value there with a zero and moves the
// cursor past the end marker. Returns the value's start, or nullptr when a
// marker is missing (the cursor then stays where it was before that marker).
// Plain case-sensitive substring searches; blanks are not skipped.
char16_t* ExtractBetween(const char16_t* startMarker, const char16_t* endMarker, char16_t*& cursor);
