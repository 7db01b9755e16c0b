// The program's own resources (language list, sprite file, icon, strings),
// found by type name and id. Windows takes them from the executable's
// resource section, other platforms from data embedded by the build.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "resources/ResourceIds.h"

inline constexpr int kResourceAboutBox = ZK_RESOURCE_ABOUT_BOX;
inline constexpr int kResourceAboutString = ZK_RESOURCE_ABOUT_STRING;
inline constexpr int kResourceMainDialog = ZK_RESOURCE_MAIN_DIALOG;
inline constexpr int kResourceIcon = ZK_RESOURCE_ICON;
inline constexpr int kResourceLanguageList = ZK_RESOURCE_LANGUAGE_LIST;
inline constexpr int kResourceSpriteFile = ZK_RESOURCE_SPRITE_FILE;
inline constexpr int kResourceStatusStrings = ZK_RESOURCE_STATUS_STRINGS;
inline constexpr int kResourceSpriteFile2x = ZK_RESOURCE_SPRITE_FILE_2X;  // also type "MTO"

// The resource's bytes, or an empty span when there is none.
std::span<const uint8_t> FindProgramResource(std::u16string_view type, int id);

// String-table entry `id`, or empty text.
std::u16string LoadProgramString(int id);
