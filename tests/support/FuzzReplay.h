// Runs a fuzz target over every file of a folder of saved inputs (seeds, or
// inputs that once made the target fail). For tests only: uses GoogleTest.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// How many inputs were replayed; 0 when the folder does not exist.
inline int ReplayFuzzInputs(const std::filesystem::path& folder, void (*target)(const uint8_t*, std::size_t)) {
  int count = 0;
  if (!std::filesystem::exists(folder)) return count;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    SCOPED_TRACE(entry.path().string());
    target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++count;
  }
  return count;
}
