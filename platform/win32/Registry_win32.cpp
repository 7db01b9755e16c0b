// The setup program's two values, read from HKEY_LOCAL_MACHINE.
#include <vector>

#include "SelectLanguage/Registry.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinHandles.h"

bool ReadRegistryValue(std::u16string_view subKey, std::u16string_view valueName, std::u16string& value,
                       std::size_t byteSize, RegistryRoot) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, ToWide(subKey).c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return false;
  const RegistryKey key(raw);
  std::vector<BYTE> buffer(byteSize + sizeof(wchar_t), 0);  // room for a terminator the value may lack
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(byteSize);
  if (::RegQueryValueExW(key.get(), ToWide(valueName).c_str(), nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS) {
    return false;  // missing, or more than byteSize bytes
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  const auto* text = reinterpret_cast<const char16_t*>(buffer.data());
  std::size_t units = size / sizeof(char16_t);
  std::size_t length = 0;
  while (length < units && text[length] != u'\0') ++length;
  // The value and its terminator must fit the caller's buffer.
  if ((length + 1) * sizeof(char16_t) > byteSize) return false;
  value.assign(text, length);
  return true;
}
