#include "util/ContainerFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace talvix {

ContainerFile::~ContainerFile() {
  close();
}

ContainerFile::ContainerFile(ContainerFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      length_(std::exchange(other.length_, 0)),
      error_(other.error_) {}

ContainerFile& ContainerFile::operator=(ContainerFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    length_ = std::exchange(other.length_, 0);
    error_ = other.error_;
  }
  return *this;
}

void ContainerFile::close() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool ContainerFile::open(const std::filesystem::path& path) {
  close();
  length_ = 0;
  // Non-blocking, so that a descriptor naming a FIFO cannot hang the open.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) {
    error_ = errno;
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    error_ = errno;
    close();
    return false;
  }
  if (S_ISREG(st.st_mode)) {
    length_ = st.st_size;
  } else if (S_ISBLK(st.st_mode)) {
    length_ = ::lseek(fd_, 0, SEEK_END);
  } else {  // folders, devices that are not disks, FIFOs, sockets
    error_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    close();
    return false;
  }
  error_ = 0;
  return true;
}

bool ContainerFile::readAt(std::uint64_t offset, std::span<std::byte> out) {
  const auto fileLength = static_cast<std::uint64_t>(length_);
  std::size_t done = 0;
  if (fd_ >= 0 && offset < fileLength) {
    const std::size_t inFile =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), fileLength - offset));
    while (done < inFile) {
      const ssize_t got =
          ::pread(fd_, out.data() + done, inFile - done, static_cast<off_t>(offset + done));
      if (got < 0) {
        if (errno == EINTR) continue;
        error_ = errno;
        return false;
      }
      if (got == 0) break;  // the file shrank under us: the rest reads as zeros
      done += static_cast<std::size_t>(got);
    }
  } else if (fd_ < 0) {
    error_ = EBADF;
    return false;
  }
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(done), out.end(), std::byte{0});
  return true;
}

std::string systemErrorText(int errorNumber) {
  return std::strerror(errorNumber);
}

}  // namespace talvix
