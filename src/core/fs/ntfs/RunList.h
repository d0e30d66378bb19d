#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace talvix::ntfs {

// One run of a non-resident attribute: `clusterCount` clusters from `startCluster` (a logical
// cluster number of the volume), or a hole when `sparse` (the clusters read as zeros; its
// `startCluster` is 0). Cluster 0 is a real place: the $Boot file's data starts there.
struct DataRun {
  std::uint64_t startCluster = 0;
  std::uint64_t clusterCount = 0;
  bool sparse = false;
  // The run reaches past the volume's last cluster (only judged when the volume size is known).
  // It is kept as it stands: reading it is the caller's decision.
  bool outsideVolume = false;

  bool operator==(const DataRun&) const = default;
};

struct RunList {
  std::vector<DataRun> runs;
  std::uint64_t clusters = 0;  // sum of the counts of `runs`
  // The 0x00 end byte was met. Without it the list ran to the end of its bytes; the runs of an
  // attribute continued in a later attribute of the same type then follow.
  bool ended = false;
  // A field that cannot be decoded (a size nibble above 8, a zero or negative length, a start
  // before cluster 0 or past 2^63) or runs past the attribute's VCN range: decoding stopped
  // there (or the last run was cut to the range) and the runs before are kept.
  bool corrupt = false;
};

// Decodes the run list in `bytes` (from the attribute's run list offset to its end).
// `rangeClusters` is the attribute's VCN range, last VCN - first VCN + 1: the runs are cut to
// it. `volumeClusters` (0: unknown) marks the runs that reach past the volume.
RunList decodeRunList(std::span<const std::byte> bytes, std::uint64_t rangeClusters,
                      std::uint64_t volumeClusters = 0);

}  // namespace talvix::ntfs
