// Text conversions and the small formatter used for log lines.
// The core works in UTF-16 (std::u16string); 8-bit text appears only where
// outside data is 8-bit (the configuration and list files, sprite names).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

// Invalid sequences become U+FFFD; decoding never fails.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The byte paths of POSIX system calls need not be UTF-8. A byte that does
// not decode becomes the lone unit U+DC80 + (byte - 0x80), and such a unit
// becomes its byte again, so a path survives the round trip through UTF-16
// byte for byte. Other lone surrogates are written as U+FFFD.
std::u16string BytesToUtf16Escaped(std::string_view bytes);
std::string Utf16ToBytesEscaped(std::u16string_view text);

// Text from outside made safe for one log line: C0 controls, DEL and lone
// surrogates (an escaped byte among them) become U+FFFD, so a value can
// neither break a line nor forge one.
std::u16string SanitizeLogText(std::u16string_view text);

// Code page 949 (the Korean Windows code page; ASCII is a subset), one
// decoder on every platform (Cp949.cpp, its table made by the build from
// the standard mapping). A byte that starts no character becomes U+FFFD on
// its own and decoding resumes at the next byte, so no valid byte is ever
// lost; decoding never fails.
std::u16string Cp949ToUtf16(std::string_view bytes);

// One "%d" or "%s" argument.
using FormatArg = std::variant<long long, std::u16string_view>;

// Fills "%d" (integer) and "%s" (text) in order; "%%" is a percent sign.
// A placeholder without a matching argument, or of the other kind, is
// written as it stands, so a bad call never reads past its arguments.
std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args);
std::u16string FormatText(std::u16string_view format, std::span<const FormatArg> args);

// Fixed-capacity UTF-16 fields (the configuration record, a download
// request) hold a text and the terminator that ends it, so a field of N
// units takes a text of at most N - 1. This is the one rule for all of them.
constexpr bool FitsField(std::size_t length, std::size_t capacity) { return length < capacity; }

// A field's text: up to its terminator, and never past the field.
std::u16string_view FieldText(std::span<const char16_t> field);

// Writes the text and its terminator into the field; false, with the field
// untouched, when the text does not fit (a value is never cut).
bool StoreInField(std::span<char16_t> field, std::u16string_view text);
