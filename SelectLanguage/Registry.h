// The two values that the setup program leaves behind ("Path" and
// "localfolder") are read from the platform's registry: HKEY_LOCAL_MACHINE on
// Windows, a folder-tree store on POSIX (Registry_posix.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum class RegistryRoot { kLocalMachine };

// Reads root\subKey's valueName as text. False when the key or value is
// missing, or when the value with its terminator takes more than byteSize
// bytes as UTF-16.
bool ReadRegistryValue(std::u16string_view subKey, std::u16string_view valueName, std::u16string& value,
                       std::size_t byteSize, RegistryRoot root);
