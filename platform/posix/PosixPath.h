// Shared by the POSIX platform files: UTF-16 paths to the byte paths of the
// system calls (UTF-8, with the bytes that were not UTF-8 restored; see
// BytesToUtf16Escaped). The text stops at an embedded zero unit.
#pragma once

#include <string>
#include <string_view>

std::string ToNativePath(std::u16string_view path);
