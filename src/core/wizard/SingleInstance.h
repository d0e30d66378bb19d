#pragma once

#include <filesystem>
#include <string_view>

namespace talvix {

// One running copy per machine: an exclusive lock on a file in the system's temporary
// folder, held while this object lives. The lock goes with the process, also when it dies.
class SingleInstanceLock {
 public:
  // The lock file for the application's instance name.
  static std::filesystem::path defaultPath();

  explicit SingleInstanceLock(const std::filesystem::path& path);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // False when another copy holds the lock.
  bool acquired() const noexcept { return acquired_; }

 private:
  int fd_ = -1;
  bool acquired_ = false;
};

}  // namespace talvix
