// A sandbox whose files service serves a folder that each test fills, for
// the download tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/Sandbox.h"
#include "tests/support/TempDir.h"

class ServedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sandbox_.Start({"--files", served_.Path().string()})); }
  // Puts bytes at path ("/setup/s.exe", its folders made) and returns their URL.
  std::string Serve(const std::string& path, const std::string& bytes) {
    const std::filesystem::path file = served_.Path() / path.substr(1);
    std::filesystem::create_directories(file.parent_path());
    WriteFileBytes(file, bytes);
    return Url(path);
  }
  std::string Url(const std::string& path) const { return sandbox_.FilesBase() + path; }

  TempDir served_;
  Sandbox sandbox_;
};
