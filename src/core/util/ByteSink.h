#pragma once

#include <cstdint>
#include <span>

namespace talvix {

// Where recovered bytes go: a file, a pipe, memory. zeros() lets a file keep its holes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool write(std::span<const std::byte> bytes) = 0;
  // Writes `count` zero bytes (the default writes them from a buffer of zeros).
  virtual bool zeros(std::uint64_t count);
};

}  // namespace talvix
