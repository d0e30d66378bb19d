#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace talvix {

// A container file opened read-only: the disk image is evidence and is never written.
// Reads are positional, so several readers may share nothing but the descriptor.
class ContainerFile {
 public:
  ContainerFile() = default;
  ~ContainerFile();
  ContainerFile(const ContainerFile&) = delete;
  ContainerFile& operator=(const ContainerFile&) = delete;
  ContainerFile(ContainerFile&& other) noexcept;
  ContainerFile& operator=(ContainerFile&& other) noexcept;

  // Opens an existing file for reading; on failure error() holds the system's error number.
  bool open(const std::filesystem::path& path);
  bool isOpen() const noexcept { return fd_ >= 0; }
  std::int64_t length() const noexcept { return length_; }
  int error() const noexcept { return error_; }

  // Fills `out` from `offset`. Bytes past the end of the file read as zeros (a truncated
  // container loses its tail, not the whole read); false only on an I/O error.
  bool readAt(std::uint64_t offset, std::span<std::byte> out);

 private:
  void close() noexcept;

  int fd_ = -1;
  std::int64_t length_ = 0;
  int error_ = 0;
};

std::string systemErrorText(int errorNumber);

}  // namespace talvix
