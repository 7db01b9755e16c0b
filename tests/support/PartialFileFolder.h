// A fresh folder for the partial-file tests: where the setup program is to
// go, and what the folder holds.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "net/Text.h"
#include "tests/support/TempDir.h"

class PartialFileFolderTest : public ::testing::Test {
 protected:
  std::filesystem::path Destination() const { return dir_.Path() / "_Set_UpZK.exe"; }
  std::u16string Destination16() const { return Utf8ToUtf16(Destination().string()); }
  // The names in the folder, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  TempDir dir_;
};
