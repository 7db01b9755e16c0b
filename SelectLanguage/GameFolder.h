// The installed game's folder, as the setup program leaves it in the
// registry: "Path" under HKEY_LOCAL_MACHINE\rPathRoot joined with
// "localfolder" under HKEY_LOCAL_MACHINE\rPathGame.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct GameSettings;

// Path\localfolder, or nothing when either value is missing or too long.
std::optional<std::u16string> ReadGameFolder(const GameSettings& settings);

// A name relative to a folder, in the platform's form: parts separated by
// "\\" or "/", none of them empty, "." or "..", and no ":" (no drive, no
// stream). Nothing for a name that could reach outside its folder.
std::optional<std::u16string> RelativePathInside(std::u16string_view name);

// A file of the game named by the configuration: in the game's folder or a
// subfolder of it, never outside it, links resolved. Nothing when the name
// could lead out (RelativePathInside) or the file, resolved, lies elsewhere
// or does not exist.
std::optional<std::u16string> GameFilePath(std::u16string_view gameFolder, std::u16string_view name);
