// Starts a program and reports how long it takes until a viewable window
// with the given title is on the X display, looking every 2 ms. Then ends
// the program. Used by bench/window_bench.sh; prints milliseconds, or
// "none" when no such window came within 30 s.
//   window_probe TITLE PROGRAM [ARGS...]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

bool HasTitle(Display* display, Window window, const char* title) {
  char* name = nullptr;
  if (XFetchName(display, window, &name) == 0 || name == nullptr) return false;
  const bool same = std::strcmp(name, title) == 0;
  XFree(name);
  if (!same) return false;
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display, window, &attributes) != 0 && attributes.map_state == IsViewable;
}

// The window itself, or its frame's child when a window manager took it.
bool Shown(Display* display, Window parent, const char* title, int depth) {
  Window root = 0, up = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) return false;
  bool found = false;
  for (unsigned i = 0; i < count && !found; ++i) {
    found = HasTitle(display, children[i], title) || (depth > 0 && Shown(display, children[i], title, depth - 1));
  }
  if (children != nullptr) XFree(children);
  return found;
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }  // windows come and go under the walk

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: window_probe TITLE PROGRAM [ARGS...]\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "window_probe: no display\n");
    return 2;
  }
  XSetErrorHandler(IgnoreErrors);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  bool found = false;
  double ms = 0;
  while (!found && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
    found = Shown(display, DefaultRootWindow(display), argv[1], 2);
    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (found) {
    std::printf("%.1f\n", ms);
  } else {
    std::printf("none\n");
  }
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  XCloseDisplay(display);
  return found ? 0 : 1;
}
