#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace talvix {

// Stop and pause for long work. The worker calls checkpoint() between units of work
// (sectors, chunks, records, clusters): it waits there while paused, so a paused worker
// holds nothing, and it learns there whether to stop.
class WorkerControl {
 public:
  // Also wakes a paused worker, so that it can end.
  void requestStop();
  void clearStop() noexcept { stop_.store(false); }
  bool stopRequested() const noexcept { return stop_.load(); }

  void pause();
  void resume();
  bool paused() const;

  // Waits while paused; answers true when the work should stop.
  bool checkpoint();

 private:
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::condition_variable resumed_;
  bool paused_ = false;
};

// One worker thread at a time for a page.
class Worker {
 public:
  ~Worker() { join(); }
  // False when a worker still runs.
  bool start(std::function<void()> work);
  void join();
  bool running() const noexcept { return running_.load(); }

 private:
  std::thread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace talvix
