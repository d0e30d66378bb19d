#include "app/WorkerControl.h"

namespace talvix {

void WorkerControl::requestStop() {
  {
    std::lock_guard lock(mutex_);
    stop_.store(true);
  }
  resumed_.notify_all();
}

void WorkerControl::pause() {
  std::lock_guard lock(mutex_);
  paused_ = true;
}

void WorkerControl::resume() {
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
  }
  resumed_.notify_all();
}

bool WorkerControl::paused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

bool WorkerControl::checkpoint() {
  std::unique_lock lock(mutex_);
  resumed_.wait(lock, [this] { return !paused_ || stop_.load(); });
  return stop_.load();
}

bool Worker::start(std::function<void()> work) {
  if (running_.load()) return false;
  join();
  running_.store(true);
  thread_ = std::thread([this, work = std::move(work)] {
    work();
    running_.store(false);
  });
  return true;
}

void Worker::join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace talvix
