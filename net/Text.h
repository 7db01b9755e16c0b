// Text conversions and the small formatter used for log lines.
// The core works in UTF-16 (std::u16string); 8-bit text appears only where
// outside data is 8-bit (the configuration and list files, sprite names).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

// Invalid sequences become U+FFFD; decoding never fails.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Code page 949 (the Korean Windows code page; ASCII is a subset).
// Invalid byte sequences are replaced by U+FFFD; decoding never fails.
// Implemented per platform (iconv on POSIX).
std::u16string Cp949ToUtf16(std::string_view bytes);

// One "%d" or "%s" argument.
using FormatArg = std::variant<long long, std::u16string_view>;

// Fills "%d" (integer) and "%s" (text) in order; "%%" is a percent sign.
// A placeholder without a matching argument, or of the other kind, is
// written as it stands, so a bad call never reads past its arguments.
std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args);

// Length of a zero-terminated UTF-16 text inside a fixed buffer, never
// reading past the buffer.
std::size_t BoundedLength(const char16_t* text, std::size_t capacity);
