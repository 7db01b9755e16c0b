// The language list resource: UTF-16LE text after a byte-order mark, one
// name per line, every line ended by "\r\n".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The names that go into the language combo box, in resource order. The
// first unit (the byte-order mark) is skipped, text after the last "\r\n" is
// not a line, a zero unit ends the text, and only a line that is exactly
// "한국어" is left out.
std::vector<std::u16string> ParseLanguageList(std::span<const uint8_t> resource);
