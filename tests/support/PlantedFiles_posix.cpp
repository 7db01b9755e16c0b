#include "tests/support/PlantedFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

void PlantFifo(const std::filesystem::path& path) { ::mkfifo(path.c_str(), 0644); }

void PlantSparseFile(const std::filesystem::path& path, std::uintmax_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (::ftruncate(fd, static_cast<off_t>(size)) != 0) ::unlink(path.c_str());
  ::close(fd);
}

bool FinishesWithoutWaitingOn(const std::filesystem::path& fifo, const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::atomic<bool> released{false};
  std::thread watchdog([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!done && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (done) return;
    released = true;
    // Opening both ends at once never waits, and lets a waiting open through.
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (fd >= 0) ::close(fd);
  });
  work();
  done = true;
  watchdog.join();
  return !released;
}
