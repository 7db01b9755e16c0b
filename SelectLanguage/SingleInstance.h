// One installer at a time in a user's session: a second start must not touch the
// running one's progress log or its setup program's file. The program's
// entry point claims this before anything else and holds it for its life;
// the dialog and its hosts know nothing of it, so a process that runs many
// dialogs (the tests) is not affected. Implemented per platform
// (SingleInstance_posix.cpp, SingleInstance_win32.cpp).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// What a later start says in a message box when the running installer's
// window did not come forward.
inline constexpr std::u16string_view kAnotherInstallerRuns = u"Another installer is already running.";

class SingleInstance {
 public:
  enum class Claim {
    First,      // this start runs; later starts find it
    Second,     // another installer runs: bring it forward and exit
    Unguarded,  // the lock could not be used safely (Problem() says why): run without it
  };

  // Claims the lock of the user's session. Never blocks.
  SingleInstance();
  // Releases the lock; a later start can then be the first.
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  Claim Outcome() const;
  const std::string& Problem() const;

  // For a second start: asks the running installer to bring its window to
  // the front (restored if minimised). Waits 2 s at most; false when no
  // window of the running one came forward by then (no answer, a holder of
  // the lock that is no installer, a window not shown yet).
  bool BringRunningToFront();

  // For the first start: from now on each later start's request calls
  // bringToFront on the thread that runs the program's main loop, with the
  // later start's activation token (empty when it had none); it returns
  // whether a window came forward. An empty function stops answering. Where
  // a later start brings the window forward by itself (Windows), nothing is
  // ever called.
  void AnswerLaterStarts(std::function<bool(const std::string& activationToken)> bringToFront);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
