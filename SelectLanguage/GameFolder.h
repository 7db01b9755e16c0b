// The installed game's folder, as the setup program leaves it in the
// registry: "Path" under HKEY_LOCAL_MACHINE\rPathRoot joined with
// "localfolder" under HKEY_LOCAL_MACHINE\rPathGame.
#pragma once

#include <optional>
#include <string>

struct GameSettings;

// Path\localfolder, or nothing when either value is missing or too long.
std::optional<std::u16string> ReadGameFolder(const GameSettings& settings);
