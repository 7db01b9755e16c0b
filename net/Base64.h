// The standard base64 alphabet ("A-Z a-z 0-9 + /"), padded with "=".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Only the canonical form decodes: a length that is a multiple of four, no
// blanks or line breaks, "=" only as the last one or two characters, and
// zero bits behind the last byte. Anything else gives nothing, so one
// signature has exactly one spelling.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text);
