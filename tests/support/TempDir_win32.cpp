// The test folders on Windows: a fresh, uniquely named folder under the
// system's temporary folder.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "net/Text.h"
#include "tests/support/TempDir.h"

TempDir::TempDir(bool enter) {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (unsigned attempt = 0;; ++attempt) {
    const std::wstring name = L"zk-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(attempt);
    std::error_code error;
    if (std::filesystem::create_directory(base / name, error)) {
      path_ = base / name;
      break;
    }
  }
  if (enter) {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
    entered_ = true;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (entered_) std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::u16string TempDir::U16(const std::string& name) const {
  const std::wstring wide = (name.empty() ? path_ : path_ / name).wstring();
  return std::u16string(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
