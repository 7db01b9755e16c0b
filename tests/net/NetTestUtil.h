// Small helpers shared by the network tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "net/Text.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TempDir.h"

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::u16string U16(const std::string& utf8) { return Utf8ToUtf16(utf8); }

// A sandbox for one test, its hosts exported, in a fresh current directory.
class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StartSandbox({})) << "the sandbox services did not start"; }
  bool StartSandbox(const std::vector<std::string>& options) {
    if (!sandbox.Start(options)) return false;
    sandbox.ExportEnvironment();
    return true;
  }
  Sandbox sandbox;
  TempDir cwd{true};
};

#define SKIP_WITHOUT_CLIENT_IP_PORT()                      \
  if (sandbox.ClientIpPort() == 0)                         \
  GTEST_SKIP() << "binding " << sandbox.ClientIpAddress()  \
               << ":443 was refused; the client-IP tests " \
                  "need root (or CAP_NET_BIND_SERVICE)"
