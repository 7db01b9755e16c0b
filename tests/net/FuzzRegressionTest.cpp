// Replays inputs that the fuzzers once found troublesome, plus their seeds.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/FuzzTargets.h"
#include "fuzz/FuzzTargetsSignature.h"
#include "tests/support/FuzzReplay.h"

namespace {

TEST(FuzzRegression, SavedInputsStillPass) {
  const std::filesystem::path saved(ZK_FUZZ_REGRESSIONS);
  const std::filesystem::path corpus(ZK_FUZZ_CORPUS);
  for (const auto& [name, target] :
       {std::pair{"game_settings", &fuzz::FuzzGameSettings}, std::pair{"json_extract", &fuzz::FuzzJsonExtract},
        std::pair{"config_signature", &fuzz::FuzzConfigSignature}}) {
    const int replayed = ReplayFuzzInputs(saved / name, target) + ReplayFuzzInputs(corpus / name, target);
    EXPECT_GT(replayed, 0) << "no saved inputs for " << name;
  }
}

}  // namespace
