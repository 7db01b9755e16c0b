// Whole-second modification times of the files a test made or checks.
#pragma once

#include <cstdint>
#include <filesystem>

// The path's own modification time (a link's, not its target's), or -1
// when there is nothing at the path.
int64_t ModifiedTime(const std::filesystem::path& path);
// Sets it; false when the path cannot be changed.
bool SetModifiedTime(const std::filesystem::path& path, int64_t seconds);
