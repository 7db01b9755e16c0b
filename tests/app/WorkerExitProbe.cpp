// A program's end with or without a let-go worker, for worker_thread_test.
// Usage: worker_exit_probe let-go|joined
// Prints what happened (buffered, so only a flush makes it appear), then
// ends through EndProcessIfWorkersRun(7), or returns 3 from main. An exit
// handler prints "exit handlers ran".
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "SelectLanguage/WorkerThread.h"

namespace {

struct Blocked : WorkerLink {
  int fds[2] = {-1, -1};
  static void Run(Blocked& self) {
    char byte = 0;
    (void)!::read(self.fds[0], &byte, 1);  // nobody writes
  }
};

struct Quick : WorkerLink {
  static void Run(Quick&) {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::atexit([] { std::fputs("exit handlers ran\n", stdout); });
  static char buffer[BUFSIZ];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  if (std::strcmp(argv[1], "let-go") == 0) {
    auto block = std::make_shared<Blocked>();
    if (::pipe(block->fds) != 0) return 2;
    WorkerThread worker(std::chrono::milliseconds(50));
    if (!worker.Start(block, &Blocked::Run)) return 2;
    std::fputs("worker let go\n", stdout);
  } else {
    WorkerThread worker(std::chrono::milliseconds(5000));
    if (!worker.Start(std::make_shared<Quick>(), &Quick::Run)) return 2;
    std::fputs("worker joined\n", stdout);
  }
  EndProcessIfWorkersRun(7);
  return 3;
}
