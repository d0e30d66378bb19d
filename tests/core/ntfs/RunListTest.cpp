#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "TestFiles.h"
#include "fs/ntfs/RunList.h"

namespace talvix::ntfs {
namespace {

using test::Bytes;
using test::bytes;

DataRun at(std::uint64_t start, std::uint64_t count) {
  return {.startCluster = start, .clusterCount = count};
}
DataRun hole(std::uint64_t count) {
  return {.clusterCount = count, .sparse = true};
}

struct RunCase {
  const char* what;
  Bytes list;
  std::uint64_t rangeClusters;
  std::vector<DataRun> runs;
  bool ended;
  bool corrupt;
};

TEST(NtfsRunList, Decodes) {
  constexpr std::uint64_t kAny = ~std::uint64_t{0};
  const RunCase cases[] = {
      {"one run", bytes({0x21, 0x18, 0x34, 0x56, 0x00}), 0x18, {at(0x5634, 0x18)}, true, false},
      {"relative starts, one backwards",
       bytes({0x11, 0x04, 0x64, 0x21, 0x02, 0x00, 0x01, 0x11, 0x03, 0xF6, 0x00}),
       kAny,
       {at(100, 4), at(356, 2), at(346, 3)},
       true,
       false},
      {"sparse runs keep the running start",
       bytes({0x11, 0x01, 0x0A, 0x01, 0x9F, 0x11, 0x02, 0x05, 0x00}),
       kAny,
       {at(10, 1), hole(159), at(15, 2)},
       true,
       false},
      {"a run at cluster 0 is not a hole",
       bytes({0x11, 0x01, 0x00, 0x00}),
       1,
       {at(0, 1)},
       true,
       false},
      {"starts past 2^32 clusters",
       bytes({0x61, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}),
       kAny,
       {at(std::uint64_t{1} << 40, 16)},
       true,
       false},
      {"lengths past 2^32 clusters",
       bytes({0x15, 0x00, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00}),
       kAny,
       {at(1, std::uint64_t{2} << 32)},
       true,
       false},
      {"a one-byte length of 0x80",
       bytes({0x11, 0x80, 0x01, 0x00}),
       kAny,
       {at(1, 128)},
       true,
       false},
      {"no end byte", bytes({0x11, 0x02, 0x05}), kAny, {at(5, 2)}, false, false},
      {"empty", Bytes{}, kAny, {}, false, false},
      {"runs beyond the attribute's range are cut",
       bytes({0x11, 0x08, 0x05, 0x11, 0x08, 0x20, 0x11, 0x08, 0x20, 0x00}),
       12,
       {at(5, 8), at(37, 4)},
       false,
       true},
      {"length size 0 with an offset",
       bytes({0x11, 0x02, 0x05, 0x10, 0x05, 0x00}),
       kAny,
       {at(5, 2)},
       false,
       true},
      {"offset size 9",
       bytes({0x91, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00}),
       kAny,
       {},
       false,
       true},
      {"length size 9",
       bytes({0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x05, 0x00}),
       kAny,
       {},
       false,
       true},
      {"fields past the list's end",
       bytes({0x11, 0x02, 0x05, 0x33, 0x01, 0x00}),
       kAny,
       {at(5, 2)},
       false,
       true},
      {"zero length", bytes({0x11, 0x00, 0x05, 0x00}), kAny, {}, false, true},
      {"length with the top bit of 8 bytes",
       bytes({0x18, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x01, 0x00}),
       kAny,
       {},
       false,
       true},
      {"start before cluster 0",
       bytes({0x11, 0x02, 0x05, 0x11, 0x02, 0xF0, 0x00}),
       kAny,
       {at(5, 2)},
       false,
       true},
      {"start past 2^63",
       bytes({0x81, 0x01, 0, 0, 0, 0, 0, 0, 0xF0, 0x7F, 0x81, 0x01, 0, 0, 0, 0, 0, 0, 0x20, 0x00}),
       kAny,
       {at(0x7FF0'0000'0000'0000u, 1)},
       false,
       true},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.what);
    const RunList list = decodeRunList(c.list, c.rangeClusters);
    EXPECT_EQ(list.runs, c.runs);
    EXPECT_EQ(list.ended, c.ended);
    EXPECT_EQ(list.corrupt, c.corrupt);
    std::uint64_t clusters = 0;
    for (const DataRun& run : list.runs) clusters += run.clusterCount;
    EXPECT_EQ(list.clusters, clusters);
  }
}

TEST(NtfsRunList, RunsOutsideTheVolumeAreKeptAndMarked) {
  const Bytes list =
      bytes({0x11, 0x05, 0x50, 0x11, 0x20, 0x0A, 0x01, 0x08, 0x21, 0x01, 0x00, 0x01, 0x00});
  const RunList runs = decodeRunList(list, ~std::uint64_t{0}, 100);
  ASSERT_EQ(runs.runs.size(), 4u);
  EXPECT_FALSE(runs.runs[0].outsideVolume);  // 80..84
  EXPECT_TRUE(runs.runs[1].outsideVolume);   // 90..121
  EXPECT_FALSE(runs.runs[2].outsideVolume);  // a hole
  EXPECT_TRUE(runs.runs[3].outsideVolume);   // 346
  EXPECT_FALSE(runs.corrupt);
  EXPECT_TRUE(runs.ended);
}

}  // namespace
}  // namespace talvix::ntfs
