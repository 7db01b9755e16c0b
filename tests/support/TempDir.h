// A fresh folder for one test, removed with everything in it afterwards;
// optionally the process's current directory for the test's duration.
#pragma once

#include <filesystem>
#include <string>

class TempDir {
 public:
  explicit TempDir(bool enter = false);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::u16string U16(const std::string& name = {}) const;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
  bool entered_ = false;
};

// A new, uniquely named, empty folder under the system's temporary folder
// (one implementation per platform: TempDir_posix.cpp, TempDir_win32.cpp).
std::filesystem::path CreateUniqueTestFolder();

// Whole file as bytes (empty when missing).
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);
