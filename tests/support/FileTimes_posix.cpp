#include <fcntl.h>
#include <sys/stat.h>

#include "tests/support/FileTimes.h"

int64_t ModifiedTime(const std::filesystem::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec : -1;
}

bool SetModifiedTime(const std::filesystem::path& path, int64_t seconds) {
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}
