// The program's own resources (language list, sprite file, icon, strings),
// found by type name and id. Windows takes them from the executable's
// resource section, other platforms from data embedded by the build.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Resource ids.
inline constexpr int kResourceAboutBox = 100;
inline constexpr int kResourceAboutString = 101;
inline constexpr int kResourceMainDialog = 102;
inline constexpr int kResourceIcon = 132;
inline constexpr int kResourceLanguageList = 133;
inline constexpr int kResourceSpriteFile = 136;

// The resource's bytes, or an empty span when there is none.
std::span<const uint8_t> FindProgramResource(std::u16string_view type, int id);

// String-table entry `id`, or empty text.
std::u16string LoadProgramString(int id);
