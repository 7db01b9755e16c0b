// One installer at a time for the user: a second start must not touch the
// running one's progress log or its setup program's file. The program's
// entry point claims this before anything else and holds it for its life;
// the dialog and its hosts know nothing of it, so a process that runs many
// dialogs (the tests) is not affected. Implemented per platform
// (SingleInstance_posix.cpp, SingleInstance_win32.cpp).
#pragma once

#include <functional>
#include <memory>
#include <string>

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
  // the front (restored if minimised). Waits a bounded time, never for ever;
  // false when the running one could not be reached.
  bool BringRunningToFront();

  // For the first start: from now on each later start's request calls
  // bringToFront on the thread that runs the program's main loop, with the
  // later start's activation token (empty when it had none). An empty
  // function stops answering. Where a later start brings the window forward
  // by itself (Windows), nothing is ever called.
  void AnswerLaterStarts(std::function<void(const std::string& activationToken)> bringToFront);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
