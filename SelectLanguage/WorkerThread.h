// Worker threads that never hold the program open. When its owner goes, a
// worker is asked to stop and given a short, bounded time to end; one that
// is still busy then (a transfer that cannot be cut from outside, such as a
// blocked name lookup) is let go and finishes on its own. Everything such a
// thread touches lives in a block that the thread itself keeps alive, and
// from the stop request on its posts to the window go nowhere.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class DialogHost;

// The block that a worker shares with its owner. A worker's own state lives
// in a class derived from it and is guarded by Lock().
class WorkerLink {
 public:
  // `window` receives the worker's posts until a stop is asked for.
  explicit WorkerLink(DialogHost* window = nullptr) : window_(window) {}
  virtual ~WorkerLink() = default;
  WorkerLink(const WorkerLink&) = delete;
  WorkerLink& operator=(const WorkerLink&) = delete;

  bool StopRequested() const { return stop_.load(std::memory_order_acquire); }
  // For transfers that poll a flag of their own.
  const std::atomic<bool>& StopFlag() const { return stop_; }

  std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex_); }
  // With the lock held: waits until `ready` holds or a stop is asked for.
  // False when stopped: the stop wins over work that is ready.
  template <typename Ready>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, Ready ready) {
    wake_.wait(lock, [&] { return StopRequested() || ready(); });
    return !StopRequested();
  }
  // Wakes the worker's wait after the owner changed the state.
  void Wake() { wake_.notify_all(); }
  // Sleeps for `pause`, ending at once when a stop is asked for. False when
  // stopped.
  bool Pause(std::chrono::milliseconds pause);
  // Posts to the window, or nowhere once a stop was asked for. The window
  // is never touched after RequestStop has returned.
  void Post(uint32_t message, uint64_t wParam, int64_t lParam);

  // Asks the worker to stop and cuts it off from the window. Idempotent.
  void RequestStop();

 private:
  friend class WorkerThread;
  void MarkFinished();
  // Waits until the worker has finished or `deadline` has passed.
  bool WaitFinished(std::chrono::steady_clock::time_point deadline);

  std::mutex mutex_;
  std::condition_variable wake_;      // the worker's waits
  std::condition_variable finished_;  // the owner's wait for the end
  std::atomic<bool> stop_{false};
  bool done_ = false;
  DialogHost* window_;
};

class WorkerThread {
 public:
  // How long an owner waits for a stopped worker, from the stop request on:
  // well under the 2 s in which a closed window must have ended the program,
  // and long enough for a transfer that polls its stop flag about once a
  // second to clean up after itself.
  static constexpr std::chrono::milliseconds kStopWait{1000};

  explicit WorkerThread(std::chrono::milliseconds stopWait = kStopWait) : stopWait_(stopWait) {}
  // Asks the worker to stop and waits until the stop's deadline at most;
  // a worker still running then is let go.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs body(*block) on a new thread that holds the block until the body
  // has returned. False when the thread cannot start (or already started).
  template <typename Block>
  bool Start(std::shared_ptr<Block> block, void (*body)(Block&)) {
    return Launch(block, [block, body] { body(*block); });
  }
  // Asks the worker to stop, without waiting; the bounded wait of the
  // destructor counts from the first request.
  void RequestStop();

  // Workers whose body has not returned yet, in the whole process.
  static int Running();

 private:
  bool Launch(std::shared_ptr<WorkerLink> link, std::function<void()> body);

  std::chrono::milliseconds stopWait_;
  std::shared_ptr<WorkerLink> link_;
  std::chrono::steady_clock::time_point stopDeadline_{};
  std::thread thread_;
};

// The last step of main. While a worker runs, or once one was let go, the program's
// static destructors and exit handlers must not: the worker may be inside
// the HTTP or TLS library that they tear down. Then the process ends here,
// with exitCode, after the standard streams are flushed. Otherwise it
// returns, and main returns as usual.
void EndProcessIfWorkersRun(int exitCode);
