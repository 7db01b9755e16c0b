// Shared by the Win32 platform files: the core's UTF-16 text as the wide
// strings of the Windows API (wchar_t is 16 bits there).
#pragma once

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

// A zero-terminated wide copy that stops at an embedded zero unit.
inline std::wstring ToWide(std::u16string_view text) {
  const auto end = text.find(u'\0');
  if (end != std::u16string_view::npos) text = text.substr(0, end);
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

inline std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
