// The status line's text: what the installation is doing, in one of the
// language list's languages, built from the program's own string table and
// the figures it computed. Numbers are written by the program itself, never
// by the locale, so the line reads the same on every machine.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "SelectLanguage/InstallStatus.h"
#include "resources/StatusTexts.h"

// The line for `status` in language slot `language` (0 English to 4
// Japanese; any other slot is English), with its countdowns at `now`.
std::u16string StatusLine(const InstallStatus& status, int language, std::chrono::steady_clock::time_point now);

// A text of the table in a language slot.
std::u16string StatusString(StatusText text, int language);
// `pattern` with "{1}", "{2}", ... replaced by the values in order; a
// placeholder without a value stays as it is.
std::u16string FillPlaceholders(std::u16string_view pattern, std::initializer_list<std::u16string_view> values);
// Bytes as megabytes (10^6) with one decimal, truncated: "12.3".
std::u16string FormatMegabytes(uint64_t bytes);
