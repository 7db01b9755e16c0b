// The program's resources from its own resource section (resources/*.rc).
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinHandles.h"
#include "resources/ProgramResources.h"

namespace {

std::span<const uint8_t> Resource(const wchar_t* name, const wchar_t* type) {
  HRSRC info = ::FindResourceW(nullptr, name, type);
  if (info == nullptr) return {};
  const DWORD size = ::SizeofResource(nullptr, info);
  HGLOBAL loaded = ::LoadResource(nullptr, info);
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (data == nullptr || size == 0) return {};
  // Resources stay mapped for the life of the module.
  return {static_cast<const uint8_t*>(data), size};
}

// An icon is stored as a group (a directory of images) and its images. The
// image of the group's first entry is what other platforms carry as "ICON":
// the same bytes as the icon file's own image (a PNG).
std::span<const uint8_t> IconImage(int id) {
  const auto group = Resource(MAKEINTRESOURCEW(id), RT_GROUP_ICON);
  constexpr std::size_t kHeader = 6;
  constexpr std::size_t kEntry = 14;  // the image's id is its last two bytes
  if (group.size() < kHeader + kEntry || (group[4] | group[5] << 8) == 0) return {};
  const int imageId = group[kHeader + kEntry - 2] | group[kHeader + kEntry - 1] << 8;
  return Resource(MAKEINTRESOURCEW(imageId), RT_ICON);
}

}  // namespace

std::span<const uint8_t> FindProgramResource(std::u16string_view type, int id) {
  const std::wstring typeName = ToWide(type);
  if (typeName == L"ICON") return IconImage(id);
  return Resource(MAKEINTRESOURCEW(id), typeName.c_str());
}

std::u16string LoadProgramString(int id) {
  const wchar_t* text = nullptr;
  // A length of 0 asks for a read-only pointer into the resource itself.
  const int length =
      ::LoadStringW(::GetModuleHandleW(nullptr), static_cast<UINT>(id), reinterpret_cast<wchar_t*>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return FromWide(text, static_cast<std::size_t>(length));
}
