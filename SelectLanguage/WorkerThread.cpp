#include "SelectLanguage/WorkerThread.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "SelectLanguage/DialogHost.h"

namespace {

// Constant-initialised and trivially destroyed: usable while the process
// ends, whatever a let-go worker is doing.
std::atomic<int> runningWorkers{0};
// Workers ever let go. One whose body has returned may still be in its
// thread's last steps (the TLS library's per-thread cleanup), which nothing
// can wait for once the thread is detached.
std::atomic<int> letGoWorkers{0};

}  // namespace

bool WorkerLink::Pause(std::chrono::milliseconds pause) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, pause, [this] { return StopRequested(); });
}

void WorkerLink::Post(uint32_t message, uint64_t wParam, int64_t lParam) {
  // The lock is held while the post is made, so RequestStop cannot return
  // while a post is still on its way into the window's queue.
  std::lock_guard lock(mutex_);
  if (window_ != nullptr && !StopRequested()) window_->Post(message, wParam, lParam);
}

void WorkerLink::RequestStop() {
  {
    std::lock_guard lock(mutex_);
    stop_.store(true, std::memory_order_release);
    window_ = nullptr;
  }
  wake_.notify_all();
}

void WorkerLink::MarkFinished() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  finished_.notify_all();
}

bool WorkerLink::WaitFinished(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  return finished_.wait_until(lock, deadline, [this] { return done_; });
}

bool WorkerThread::Launch(std::shared_ptr<WorkerLink> link, std::function<void()> body) {
  if (thread_.joinable() || !link) return false;
  runningWorkers.fetch_add(1);
  try {
    thread_ = std::thread([link, body = std::move(body)]() mutable {
      body();
      body = nullptr;  // what the body held goes before the worker counts as ended
      link->MarkFinished();
      runningWorkers.fetch_sub(1);
    });
  } catch (const std::system_error&) {
    runningWorkers.fetch_sub(1);
    return false;
  }
  link_ = std::move(link);
  return true;
}

void WorkerThread::RequestStop() {
  if (!link_) return;
  if (stopDeadline_ == std::chrono::steady_clock::time_point{}) {
    stopDeadline_ = std::chrono::steady_clock::now() + stopWait_;
  }
  link_->RequestStop();
}

WorkerThread::~WorkerThread() {
  if (!thread_.joinable()) return;
  RequestStop();
  if (link_->WaitFinished(stopDeadline_)) {
    thread_.join();  // the body has returned: only the thread's own end is left
  } else {
    letGoWorkers.fetch_add(1);
    thread_.detach();  // it keeps its block and reaches nothing of ours
  }
}

int WorkerThread::Running() { return runningWorkers.load(); }

void EndProcessIfWorkersRun(int exitCode) {
  if (WorkerThread::Running() == 0 && letGoWorkers.load() == 0) return;
  std::fflush(nullptr);
  std::_Exit(exitCode);
}
