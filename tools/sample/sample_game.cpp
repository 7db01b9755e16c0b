// The sample game: records that it was started, in "started.txt" next to
// its own file (one line per start: time, process id, the CLOCK_REALTIME
// nanoseconds of its start, $ZK_STARTED_BY or "-", current directory, and
// GDK_GL when its environment holds it), then runs on for $ZK_GAME_SECONDS
// (none by default) and exits.
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

int main() {
  timespec start{};
  ::clock_gettime(CLOCK_REALTIME, &start);  // first: the moment the game began
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  self[n] = '\0';
  const std::filesystem::path marker = std::filesystem::path(self).parent_path() / "started.txt";
  {
    std::ofstream out(marker, std::ios::app);
    const char* startedBy = std::getenv("ZK_STARTED_BY");
    out << std::time(nullptr) << ' ' << ::getpid() << ' '
        << static_cast<long long>(start.tv_sec) * 1000000000LL + start.tv_nsec << ' '
        << (startedBy != nullptr && *startedBy != '\0' ? startedBy : "-") << ' '
        << std::filesystem::current_path().string();
    // The installer turns GDK's OpenGL off for itself only; the game must not inherit that.
    if (const char* gl = std::getenv("GDK_GL")) out << " GDK_GL=" << gl;
    out << '\n';
    if (!out) return 1;
  }
  if (const char* seconds = std::getenv("ZK_GAME_SECONDS")) {
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(seconds)));
  }
  return 0;
}
