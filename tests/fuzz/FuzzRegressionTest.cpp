// Replays every fuzz target's seeds and every input that once made it fail,
// through the same bodies the fuzzers run, so a fixed fault stays fixed.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/FuzzTargets.h"
#include "fuzz/FuzzTargetsApp.h"
#include "fuzz/FuzzTargetsSignature.h"

namespace {

struct FuzzTarget {
  const char* name;  // also the folder of its inputs
  void (*body)(const uint8_t*, std::size_t);
};

// Gives each case its target's name.
std::ostream& operator<<(std::ostream& out, const FuzzTarget& target) { return out << target.name; }

// How many inputs were replayed; 0 when the folder does not exist.
int Replay(const std::filesystem::path& folder, void (*body)(const uint8_t*, std::size_t)) {
  int count = 0;
  if (!std::filesystem::exists(folder)) return count;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    SCOPED_TRACE(entry.path().string());
    body(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++count;
  }
  return count;
}

class FuzzRegression : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(FuzzRegression, SavedInputsStillPass) {
  const FuzzTarget& target = GetParam();
  const int replayed = Replay(std::filesystem::path(ZK_FUZZ_REGRESSIONS) / target.name, target.body) +
                       Replay(std::filesystem::path(ZK_FUZZ_CORPUS) / target.name, target.body);
  EXPECT_GT(replayed, 0) << "no saved inputs for " << target.name;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression,
                         ::testing::Values(FuzzTarget{"game_settings", &fuzz::FuzzGameSettings},
                                           FuzzTarget{"json_extract", &fuzz::FuzzJsonExtract},
                                           FuzzTarget{"config_signature", &fuzz::FuzzConfigSignature},
                                           FuzzTarget{"list_file", &fuzz_app::FuzzListFile},
                                           FuzzTarget{"language_list", &fuzz_app::FuzzLanguageList},
                                           FuzzTarget{"sprite_file", &fuzz_app::FuzzSpriteFile}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
