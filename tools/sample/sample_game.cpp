// The sample game: records that it was started, in "started.txt" next to
// its own file (one line per start: time, process id, current directory,
// and GDK_GL when its environment holds it), and exits.
#include <unistd.h>

#include <climits>
#include <cstdlib>
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
  out << std::time(nullptr) << ' ' << ::getpid() << ' ' << std::filesystem::current_path().string();
  // The installer turns GDK's OpenGL off for itself only; the game must not inherit that.
  if (const char* gl = std::getenv("GDK_GL")) out << " GDK_GL=" << gl;
  out << '\n';
  return out ? 0 : 1;
}
