#include "wizard/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace talvix {

std::filesystem::path SingleInstanceLock::defaultPath() {
  std::error_code ec;
  auto folder = std::filesystem::temp_directory_path(ec);
  if (ec) folder = "/tmp";
  return folder / "Global_{OxbelVMDKRecovery}.lock";
}

SingleInstanceLock::SingleInstanceLock(const std::filesystem::path& path) {
  // Readable by every user, so that a copy started by another user finds the lock too.
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd_ < 0) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd_ < 0) {
    // Without a lock file nothing tells whether another copy runs; do not keep the user out.
    acquired_ = true;
    return;
  }
  int answer = 0;
  do answer = ::flock(fd_, LOCK_EX | LOCK_NB);
  while (answer != 0 && errno == EINTR);
  acquired_ = answer == 0;
}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace talvix
