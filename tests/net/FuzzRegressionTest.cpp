// Replays inputs that the fuzzers once found troublesome, plus their seeds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/FuzzTargets.h"

namespace {

namespace fs = std::filesystem;

int Replay(const fs::path& folder, void (*target)(const uint8_t*, std::size_t)) {
  int count = 0;
  if (!fs::exists(folder)) return count;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    SCOPED_TRACE(entry.path().string());
    target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++count;
  }
  return count;
}

TEST(FuzzRegression, SavedInputsStillPass) {
  const fs::path saved(ZK_FUZZ_REGRESSIONS);
  const fs::path corpus = fs::path(ZK_FUZZ_CORPUS);
  int replayed = Replay(saved / "game_settings", fuzz::FuzzGameSettings);
  replayed += Replay(saved / "json_extract", fuzz::FuzzJsonExtract);
  replayed += Replay(corpus / "game_settings", fuzz::FuzzGameSettings);
  replayed += Replay(corpus / "json_extract", fuzz::FuzzJsonExtract);
  EXPECT_GT(replayed, 0) << "no saved inputs found";
}

}  // namespace
