// `talvix volumes` on disks partitioned and formatted by real tools (sfdisk, sgdisk, mkntfs,
// mkfs.vfat, mkfs.exfat, mke2fs, xorriso) lists what the listings beside them say; their
// start sectors agree with mmls, as tests/fixtures/README.md notes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Cli.h"
#include "TestFiles.h"

namespace talvix {
namespace {

struct Case {
  std::string disk;
  std::string mode;
  std::vector<std::string> options;
};

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class VolumesOnRealDisks : public ::testing::TestWithParam<Case> {};

TEST_P(VolumesOnRealDisks, ListingMatches) {
  const auto& c = GetParam();
  std::vector<std::string> args = {"volumes", "--format", "tsv"};
  args.insert(args.end(), c.options.begin(), c.options.end());
  args.push_back((test::fixtureDir().parent_path() / "partitioned" / (c.disk + ".vmdk")).string());
  std::ostringstream out, err;
  ASSERT_EQ(cli::run(args, {out, err, false}), 0) << err.str();
  EXPECT_EQ(out.str(), slurp(std::filesystem::path(TALVIX_EXPECTED_DIR) / "volumes" /
                             (c.disk + "." + c.mode + ".tsv")));
}

std::vector<Case> cases() {
  std::vector<Case> all;
  for (const char* disk : {"mbr", "gpt", "hfsplus"}) {
    all.push_back({disk, "standard", {}});
    all.push_back({disk, "gpt", {"--gpt"}});
    all.push_back({disk, "advanced", {"--advanced"}});
    all.push_back({disk, "advanced-no-skip", {"--advanced", "--no-skip"}});
  }
  return all;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, VolumesOnRealDisks, ::testing::ValuesIn(cases()),
                         [](const auto& param) {
                           std::string name = param.param.disk + "_" + param.param.mode;
                           for (auto& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

}  // namespace
}  // namespace talvix
