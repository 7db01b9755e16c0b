// The setup program that the installer starts, and what the installer asks of
// it while it waits: has the started process ended, and with which exit
// code; does any process still run its file or hold it open; is the file
// gone. A setup can outlive the process that the installer started (it may
// start itself again, or from a copy elsewhere), so the end of that process
// alone is not the end of the setup.
// Implemented per platform (SetupProgram_posix.cpp, SetupProgram_win32.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "net/HeldFile.h"

class SetupProgram {
 public:
  // Starts the program at `path` as StartProgram does. `wake`, when given, is
  // called on another thread whenever there is news: once as soon as the
  // started process has ended, and each time a look begun by FileInUse has
  // finished. Null when the program cannot be started.
  static std::unique_ptr<SetupProgram> Start(std::u16string_view path, std::function<void()> wake = {});
  // Starts the file that was checked, held since (its name is `path`):
  // never another file put at that name meanwhile. Where the platform can
  // only compare, such a file is not started and `replaced` is set. The
  // hold ends once the program has started (or failed to); a read-only
  // descriptor that the start handed down may be kept, to tell a process
  // that merely inherited it from one that opened the file itself.
  static std::unique_ptr<SetupProgram> Start(std::u16string_view path, HeldFile checked, bool& replaced,
                                             std::function<void()> wake = {});

  // Neither stops the program nor removes its file; what it started is left
  // to run.
  ~SetupProgram();
  SetupProgram(const SetupProgram&) = delete;
  SetupProgram& operator=(const SetupProgram&) = delete;

  // Whether a setup that ended with `exitCode` did its work: 0, and on
  // Windows also the two codes that say so and ask for a restart (3010,
  // 1641). Any other code, and a signal's end, is a failed installation.
  static bool Succeeded(int exitCode);
  // Removes a setup's file that an earlier run left at `path` (its installer
  // was killed, or closed where a running program's file cannot be
  // removed), unless some process still runs it or holds it open. True when
  // nothing is left there. Where finding out takes a look at every process,
  // it is taken here, so this is not for the window's thread; `stop` cuts
  // the look short, and the file then stays.
  static bool RemoveLeftover(std::u16string_view path, const std::atomic<bool>& stop);

  // The exit code of the started process once it has ended, else nothing.
  // A process ended by a signal gives 128 + the signal's number.
  std::optional<int> ExitCode();
  enum class FileUse : uint8_t { kFree, kInUse, kLooking };
  // Whether some process that this one can inspect still runs the program's
  // file (also after a rename or a removal) or whatever file now has its
  // name, or holds either open. A descriptor that a started script only
  // handed down to the programs it starts does not count: the script's
  // interpreter, and whoever opens the file itself, do. Never waits: where
  // finding out takes a look at every process, the look runs on a thread of
  // its own, begun by a call that finds none under way, and the answer is
  // kLooking until it has finished; the first call after that answers what
  // it found (kInUse also for a look that could not finish by its deadline).
  // Where the system itself refuses to remove a file that a process runs or
  // holds, this answers kFree and leaves the question to RemoveFile.
  FileUse FileInUse();
  // Removes the file at the program's path: true when it is gone, removed
  // now or already removed by the setup itself.
  bool RemoveFile();
  // The installer goes while the setup may still run: the file is removed
  // now where the system lets a running program keep its file without a
  // name, else marked for removal at the next restart. True when done.
  bool Abandon();

 private:
  struct Platform;  // the platform's process handles and file identity
  explicit SetupProgram(std::unique_ptr<Platform> platform);
  std::unique_ptr<Platform> platform_;
};
