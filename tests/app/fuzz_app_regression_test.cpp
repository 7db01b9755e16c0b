// Replays the seeds of the list-file, language-list and sprite-file fuzz
// targets, and every input that once made one of them fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/FuzzTargetsApp.h"

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

TEST(FuzzAppRegression, SavedInputsStillPass) {
  const fs::path saved(ZK_FUZZ_APP_REGRESSIONS);
  const fs::path corpus(ZK_FUZZ_CORPUS);
  for (const auto& [name, target] : {std::pair{"list_file", &fuzz_app::FuzzListFile},
                                     std::pair{"language_list", &fuzz_app::FuzzLanguageList},
                                     std::pair{"sprite_file", &fuzz_app::FuzzSpriteFile}}) {
    const int replayed = Replay(saved / name, target) + Replay(corpus / name, target);
    EXPECT_GT(replayed, 0) << "no saved inputs for " << name;
  }
}

}  // namespace
