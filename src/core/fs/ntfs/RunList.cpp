#include "fs/ntfs/RunList.h"

#include <limits>

namespace talvix::ntfs {
namespace {

// Run list entry:
// | offset      | size | meaning                                                        |
// |-------------|------|----------------------------------------------------------------|
// | 0           | 1    | header: low nibble L = size of the length, high nibble O = size |
// |             |      | of the offset; 0x00 ends the list                              |
// | 1           | L    | run length in clusters, unsigned little-endian, > 0             |
// | 1 + L       | O    | start cluster relative to the previous run's start, signed      |
// |             |      | little-endian; O = 0: a sparse run (no clusters on disk)       |

// `size` bytes at `at` as a little-endian number, sign-extended from the top byte if `isSigned`.
std::int64_t field(std::span<const std::byte> bytes, std::size_t at, unsigned size, bool isSigned) {
  std::uint64_t value = 0;
  for (unsigned i = 0; i < size; ++i) {
    value |= std::uint64_t{std::to_integer<std::uint8_t>(bytes[at + i])} << (8 * i);
  }
  if (isSigned && size < 8 && (value >> (8 * size - 1)) != 0) {
    value |= ~std::uint64_t{0} << (8 * size);
  }
  return static_cast<std::int64_t>(value);
}

}  // namespace

RunList decodeRunList(std::span<const std::byte> bytes, std::uint64_t rangeClusters,
                      std::uint64_t volumeClusters) {
  RunList list;
  std::int64_t cluster = 0;  // the running start cluster
  std::size_t at = 0;
  // Every entry consumes at least two bytes, so the loop ends within bytes.size() / 2 runs.
  while (at < bytes.size()) {
    const auto header = std::to_integer<std::uint8_t>(bytes[at]);
    if (header == 0) {
      list.ended = true;
      break;
    }
    const unsigned lengthSize = header & 0x0F;
    const unsigned offsetSize = header >> 4;
    if (lengthSize == 0 || lengthSize > 8 || offsetSize > 8 ||
        1 + lengthSize + offsetSize > bytes.size() - at) {
      list.corrupt = true;
      break;
    }
    // Writers keep the length's top bit clear; reading it unsigned also takes a one-byte 0x80
    // as 128 clusters.
    const auto length = static_cast<std::uint64_t>(field(bytes, at + 1, lengthSize, false));
    DataRun run;
    if (length == 0 ||
        length > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      list.corrupt = true;
      break;
    }
    run.clusterCount = length;
    if (offsetSize == 0) {
      run.sparse = true;
    } else {
      const std::int64_t delta = field(bytes, at + 1 + lengthSize, offsetSize, true);
      // A start before cluster 0, or one whose end passes 2^63 clusters, is damage.
      if ((delta < 0 && cluster < std::numeric_limits<std::int64_t>::min() - delta) ||
          (delta > 0 && cluster > std::numeric_limits<std::int64_t>::max() - delta) ||
          cluster + delta < 0) {
        list.corrupt = true;
        break;
      }
      cluster += delta;
      if (run.clusterCount >
          static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() - cluster)) {
        list.corrupt = true;
        break;
      }
      run.startCluster = static_cast<std::uint64_t>(cluster);
      run.outsideVolume =
          volumeClusters != 0 && (run.startCluster >= volumeClusters ||
                                  run.clusterCount > volumeClusters - run.startCluster);
    }
    at += 1 + lengthSize + offsetSize;
    if (run.clusterCount > rangeClusters - list.clusters) {
      // More clusters than the attribute maps: keep what its range holds.
      run.clusterCount = rangeClusters - list.clusters;
      list.corrupt = true;
      if (run.clusterCount != 0) {
        list.runs.push_back(run);
        list.clusters += run.clusterCount;
      }
      break;
    }
    list.runs.push_back(run);
    list.clusters += run.clusterCount;
  }
  return list;
}

}  // namespace talvix::ntfs
