#include <stdlib.h>

#include "tests/support/TempDir.h"

std::filesystem::path CreateUniqueTestFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zk-test-XXXXXX").string();
  return ::mkdtemp(pattern.data());
}
