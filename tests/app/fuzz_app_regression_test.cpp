// Replays the seeds of the list-file, language-list and sprite-file fuzz
// targets, and every input that once made one of them fail.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/FuzzTargetsApp.h"
#include "tests/support/FuzzReplay.h"

namespace {

TEST(FuzzAppRegression, SavedInputsStillPass) {
  const std::filesystem::path saved(ZK_FUZZ_APP_REGRESSIONS);
  const std::filesystem::path corpus(ZK_FUZZ_CORPUS);
  for (const auto& [name, target] :
       {std::pair{"list_file", &fuzz_app::FuzzListFile}, std::pair{"language_list", &fuzz_app::FuzzLanguageList},
        std::pair{"sprite_file", &fuzz_app::FuzzSpriteFile}}) {
    const int replayed = ReplayFuzzInputs(saved / name, target) + ReplayFuzzInputs(corpus / name, target);
    EXPECT_GT(replayed, 0) << "no saved inputs for " << name;
  }
}

}  // namespace
