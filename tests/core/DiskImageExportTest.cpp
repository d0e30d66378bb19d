#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Recorders.h"
#include "SyntheticDisks.h"
#include "app/DiskImageExport.h"

namespace talvix {
namespace {

using test::Bytes;
constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::string_view kSaved = "Image Saved,Choose any one of the mode and click next.";

std::uint64_t allocatedBytes(const std::filesystem::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return static_cast<std::uint64_t>(st.st_blocks) * 512;
}

class ExportTest : public ::testing::Test {
 protected:
  // A flat disk file of `bytes` bytes, read through a VMDK reader with extent type FLAT.
  DiskChoice flatDisk(std::size_t bytes, const char* name = "disk.vmdk") {
    disk = test::pattern(bytes, 5);
    test::writeFile(dir / name, disk);
    return {DiskKind::vmdk, dir / name, false, false, "FLAT"};
  }
  ExportResult run(const DiskChoice& choice, const std::filesystem::path& image,
                   ExportOptions options = {}) {
    buildExportReader(state, choice);
    return exportDiskImage(state, choice.path, image, {ui, ui, ui, ui, control}, options);
  }

  test::TempDir dir;
  Bytes disk;
  ApplicationState state;
  test::Recorder ui;
  WorkerControl control;
};

TEST_F(ExportTest, ImageNamesFollowTheDiskAndAvoidExistingFiles) {
  const std::string diskPath = (dir / "vm" / "disk.vmdk").string();
  EXPECT_EQ(chooseImagePath(dir.path(), diskPath), dir / "disk.vmdk.img");
  test::writeFile(dir / "disk.vmdk.img", "taken");
  test::writeFile(dir / "1disk.vmdk.img", "taken");
  EXPECT_EQ(chooseImagePath(dir.path(), diskPath), dir / "2disk.vmdk.img");
  EXPECT_EQ(chooseImagePath(dir.path(), "disk.vmdk"), dir / "Recovered_diskimg.img");
  test::writeFile(dir / "Recovered_diskimg.img", "taken");
  EXPECT_EQ(chooseImagePath(dir.path(), "disk.vmdk"), dir / "1Recovered_diskimg.img");
}

TEST_F(ExportTest, CopiesTheWholeDiskWithProgressAndStatus) {
  const auto choice = flatDisk(10 * kMiB);
  test::writeFile(dir / "disk.vmdk.img", "already there");
  const auto image = chooseImagePath(dir.path(), choice.path.string());
  EXPECT_EQ(image.filename(), "1disk.vmdk.img");
  const auto result = run(choice, image);
  EXPECT_EQ(result.outcome, ExportResult::Outcome::completed);
  EXPECT_EQ(test::readFile(image), disk);
  EXPECT_EQ(ui.events, (std::vector<std::string>{"disable", "show", "hide", "enable"}));
  EXPECT_EQ(ui.ranges, (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 20480}}));
  EXPECT_EQ(ui.positions, (std::vector<std::int64_t>{0, 20480}));
  ASSERT_EQ(ui.statuses.size(), 3u);
  EXPECT_EQ(ui.statuses[0], "5 MB of 10 MB or 0.004883 GB of 0.009766 GB Saved");
  EXPECT_EQ(ui.statuses.back(), kSaved);
  EXPECT_EQ(state.diskReader, nullptr);
  EXPECT_EQ(state.diskSectors, 0u);
  EXPECT_FALSE(state.imageExportRunning);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ExportTest, LastChunkCopiesExactlyTheRest) {
  const auto choice = flatDisk(7 * kMiB + 512);
  const auto result = run(choice, dir / "out.img");
  EXPECT_EQ(result.outcome, ExportResult::Outcome::completed);
  EXPECT_EQ(test::readFile(dir / "out.img"), disk);
}

TEST_F(ExportTest, StopDuringTheFirstChunkKeepsThatChunk) {
  const auto choice = flatDisk(12 * kMiB);
  control.requestStop();
  const auto result = run(choice, dir / "out.img");
  EXPECT_EQ(result.outcome, ExportResult::Outcome::stopped);
  EXPECT_EQ(std::filesystem::file_size(dir / "out.img"), 5 * kMiB);
  EXPECT_LE(allocatedBytes(dir / "out.img"), 6 * kMiB);  // the reservation behind it is given back
  EXPECT_FALSE(control.stopRequested());                 // cleared for the next run
  EXPECT_EQ(ui.statuses.back(), kSaved);
}

TEST_F(ExportTest, ZerosAreReservedOrLeftAsHoles) {
  test::SparseVmdkBuilder b;
  b.grainSize = 128;
  b.capacity = 128 * 200;  // 12.5 MiB, two grains of data
  b.grains[3] = test::pattern(b.grainBytes(), 1);
  b.grains[199] = test::pattern(b.grainBytes(), 2);
  test::writeFile(dir / "s.vmdk", b.build());
  Bytes expected(b.capacity * 512);
  std::copy(b.grains[3].begin(), b.grains[3].end(),
            expected.begin() + static_cast<std::ptrdiff_t>(3 * b.grainBytes()));
  std::copy(b.grains[199].begin(), b.grains[199].end(),
            expected.end() - static_cast<std::ptrdiff_t>(b.grainBytes()));
  for (const bool sparse : {false, true}) {
    const auto result = run({DiskKind::vmdk, dir / "s.vmdk"}, dir / "out.img", {.sparse = sparse});
    ASSERT_EQ(result.outcome, ExportResult::Outcome::completed);
    EXPECT_EQ(test::readFile(dir / "out.img"), expected);
    if (sparse)
      EXPECT_LT(allocatedBytes(dir / "out.img"), 2 * kMiB);
    else
      EXPECT_GE(allocatedBytes(dir / "out.img"), expected.size());
  }
}

TEST_F(ExportTest, FailuresEndWithThePageUsableAgain) {
  // The disk cannot be opened: no message (the page's own status tells), buttons back.
  const auto missing = run({DiskKind::vmdk, dir / "absent.vmdk"}, dir / "out.img");
  EXPECT_EQ(missing.outcome, ExportResult::Outcome::failed);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.events, (std::vector<std::string>{"disable", "hide", "enable"}));

  // The image cannot be created.
  const auto choice = flatDisk(kMiB);
  const auto noFolder = run(choice, dir / "no" / "such" / "folder.img");
  EXPECT_EQ(noFolder.outcome, ExportResult::Outcome::failed);
  EXPECT_EQ(ui.messages.back(), "File cannot be Created");

  // No reader at all.
  state.dropDiskReader();
  const auto lost = exportDiskImage(state, choice.path, dir / "x.img", {ui, ui, ui, ui, control});
  EXPECT_EQ(lost.outcome, ExportResult::Outcome::failed);
  EXPECT_EQ(ui.messages.back(), "Information lost, please click Back button and parse again");
  EXPECT_FALSE(state.imageExportRunning);
}

TEST_F(ExportTest, FullTargetIsReportedBeforeCopying) {
  const auto target = dir / "small";
  std::filesystem::create_directory(target);
  if (::geteuid() != 0 || ::mount("tmpfs", target.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "needs root to mount a small tmpfs";
  const auto choice = flatDisk(4 * kMiB);
  const auto result = run(choice, target / "out.img");
  ::umount(target.c_str());
  EXPECT_EQ(result.outcome, ExportResult::Outcome::failed);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Insufficient Disk Space in saving Location"});
  EXPECT_EQ(ui.events, (std::vector<std::string>{"disable", "hide", "enable"}));
  EXPECT_EQ(state.diskReader, nullptr);
}

}  // namespace
}  // namespace talvix
