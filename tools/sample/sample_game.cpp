// The sample game: records that it was started, in "started.txt" next to
// its own file (one line per start: time, process id, current directory),
// and exits.
#include <unistd.h>

#include <climits>
#include <ctime>
#include <filesystem>
#include <fstream>

int main() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  self[n] = '\0';
  const std::filesystem::path marker = std::filesystem::path(self).parent_path() / "started.txt";
  std::ofstream out(marker, std::ios::app);
  out << std::time(nullptr) << ' ' << ::getpid() << ' ' << std::filesystem::current_path().string() << '\n';
  return out ? 0 : 1;
}
