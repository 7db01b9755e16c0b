#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "net/Text.h"

TempDir::TempDir(bool enter) {
  std::string pattern = (std::filesystem::temp_directory_path() / "zk-test-XXXXXX").string();
  path_ = ::mkdtemp(pattern.data());
  if (enter) {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
    entered_ = true;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (entered_) std::filesystem::current_path(previous_, ignored);
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::u16string TempDir::U16(const std::string& name) const {
  return Utf8ToUtf16((name.empty() ? path_ : path_ / name).string());
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
