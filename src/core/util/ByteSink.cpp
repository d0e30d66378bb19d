#include "util/ByteSink.h"

#include <algorithm>
#include <array>

namespace talvix {

bool ByteSink::zeros(std::uint64_t count) {
  static const std::array<std::byte, 65536> kZeros{};
  while (count > 0) {
    const auto n = std::min<std::uint64_t>(count, kZeros.size());
    if (!write(std::span(kZeros.data(), n))) return false;
    count -= n;
  }
  return true;
}

}  // namespace talvix
