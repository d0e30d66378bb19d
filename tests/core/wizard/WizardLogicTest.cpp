#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "TestFiles.h"
#include "disk/VmdkReader.h"
#include "volumes/Partition.h"
#include "wizard/DiskFileInfo.h"
#include "wizard/RecoveryModes.h"
#include "wizard/SingleInstance.h"
#include "wizard/VolumeChoice.h"

namespace talvix {
namespace {

TEST(VolumeChoice, EndSectorFromStartAndSizeText) {
  struct Case {
    std::int64_t start;
    std::string size;
    std::int64_t end;
  } cases[] = {
      {2048, "100   MB", 206847},
      {2048, "100", 206847},
      {0, "1  MB", 2047},
      {34816, "0", 0},
      {34816, "", 0},
      {34816, "Linux", 0},
      // A damaged record's size must not overflow the end.
      {9'000'000'000'000'000'000, "99999999999999999 MB", INT64_MAX},
  };
  for (const auto& c : cases)
    EXPECT_EQ(endSectorFor(c.start, c.size), c.end) << c.start << " " << c.size;
}

TEST(VolumeChoice, FileSystemChoiceBeginsWithRowText) {
  const std::pair<std::string, std::optional<std::string_view>> cases[] = {
      {"extX", "EXTX"},          {"NTFS", "NTFS"},   {"fat32", "FAT32"},
      {"FAT", "FAT16"},          {"HFS+", "HFS+"},   {"FAT12", std::nullopt},
      {"Unknown", std::nullopt}, {"", std::nullopt}, {"Linux filesystem", std::nullopt}};
  for (const auto& [row, expected] : cases) {
    const auto index = fileSystemChoiceFor(row);
    ASSERT_EQ(index.has_value(), expected.has_value()) << row;
    if (index) {
      EXPECT_EQ(fileSystemChoices()[*index], *expected) << row;
    }
  }
}

TEST(VolumeChoice, SpinAndEditNumbers) {
  EXPECT_EQ(spinStep(0, true), 1);
  EXPECT_EQ(spinStep(0, false), 0);
  EXPECT_EQ(spinStep(5, false), 4);
  EXPECT_EQ(spinStep(INT64_MAX, true), INT64_MAX);
  EXPECT_EQ(editNumber(" 2048 "), 2048);
  EXPECT_EQ(editNumber("-5"), -5);
  EXPECT_EQ(editNumber("12ab"), 0);
  EXPECT_EQ(editNumber(""), 0);
}

const VolumeRow kNtfsRow{"0", "NTFS", "16   MB", "2048"};
Volume ntfsRecord() {
  return {"NTFS", "", "0", "16   MB", 2048};
}

TEST(VolumeChoice, CustomSettingsOverrideTheRecord) {
  struct Case {
    const char* name;
    CustomSettings custom;
    VolumeRoute route;
    std::string fileSystem, sizeText;
    std::int64_t start;
  } cases[] = {
      {"custom range",
       {true, "2048", "206847", std::nullopt},
       VolumeRoute::recoveryMode,
       "NTFS",
       "100",
       2048},
      {"end before start",
       {true, "5000", "4000", "FAT32"},
       VolumeRoute::recoveryMode,
       "fat32",
       "0",
       5000},
      {"names as the parsers know them",
       {true, "63", "63", "EXTX"},
       VolumeRoute::recoveryMode,
       "extX",
       "0",
       63},
      {"RAW even for an NTFS row",
       {true, "2048", "206847", "RAW"},
       VolumeRoute::raw,
       "RAW",
       "100",
       2048},
      {"not ticked",
       {false, "1", "99999", "FAT16"},
       VolumeRoute::recoveryMode,
       "NTFS",
       "16   MB",
       2048},
  };
  for (const auto& c : cases) {
    Volume v = ntfsRecord();
    bool applied = false;
    EXPECT_EQ(applyVolumeChoice(v, applied, kNtfsRow, c.custom), c.route) << c.name;
    EXPECT_EQ(v.fileSystem, c.fileSystem) << c.name;
    EXPECT_EQ(v.sizeText, c.sizeText) << c.name;
    EXPECT_EQ(v.startSector, c.start) << c.name;
    EXPECT_EQ(applied, c.custom.ticked) << c.name;
  }
}

TEST(VolumeChoice, PlainNextAfterCustomRestoresTheRow) {
  Volume v = ntfsRecord();
  bool applied = false;
  applyVolumeChoice(v, applied, kNtfsRow, {true, "4096", "8191", "FAT32"});
  ASSERT_EQ(v.fileSystem, "fat32");
  EXPECT_EQ(applyVolumeChoice(v, applied, kNtfsRow, {}), VolumeRoute::recoveryMode);
  EXPECT_EQ(v, (Volume{"NTFS", "", "0", "16", 2048}));
}

TEST(VolumeChoice, UnknownVolumesNeedAFileSystem) {
  for (const char* unknown : {"Unknown", "UNKNOWN", "unknown"}) {
    Volume v{unknown, "", "0", "95   MB", 1};
    const VolumeRow row = rowFor(v);
    bool applied = false;
    EXPECT_EQ(applyVolumeChoice(v, applied, row, {}), VolumeRoute::unknownVolume);
    EXPECT_EQ(applyVolumeChoice(v, applied, row, {true, "1", "2048", std::nullopt}),
              VolumeRoute::unknownVolume);
    EXPECT_EQ(applyVolumeChoice(v, applied, row, {true, "1", "2048", "NTFS"}),
              VolumeRoute::recoveryMode);
    EXPECT_EQ(v.fileSystem, "ntfs");
  }
}

TEST(VolumeChoice, CustomVolumeRecord) {
  EXPECT_EQ(customVolume(3), (Volume{"CUSTOM ", "", "3", "0", 0}));
}

// The listings of a sector search on the partitioned fixtures, as `talvix volumes` prints them.
VolumeList advancedFinds(const std::string& disk, bool skipVolumeSize) {
  FileReadSeekVmdk reader;
  const auto path = test::fixtureDir().parent_path() / "partitioned" / (disk + ".vmdk");
  EXPECT_TRUE(reader.open(path)) << path;
  struct Collect : VolumeSink, VolumeScanView, StatusLine, ProgressTarget {
    VolumeList volumes;
    void volumeFound(const Volume& v) override { volumes.push_back(v); }
    void setFilterEntriesEnabled(bool) override {}
    void setStatusText(std::string_view) override {}
    void setProgressRange(std::int64_t, std::int64_t) override {}
    void setProgressPosition(std::int64_t) override {}
  } found;
  Partition partition(reader, found, found);
  partition.skipVolumeSize = skipVolumeSize;
  partition.advancedScan(reader.diskSectors(), found, found);
  return found.volumes;
}

std::vector<std::tuple<std::string, std::string, std::int64_t>> keyed(
    const VolumeList& volumes, const std::vector<std::size_t>& indices) {
  std::vector<std::tuple<std::string, std::string, std::int64_t>> out;
  for (const auto i : indices)
    out.emplace_back(volumes[i].fileSystem, volumes[i].sizeText, volumes[i].startSector);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(FilterEntries, DropsTheBootRecordCopiesOfARealSectorSearch) {
  // Searching inside volumes finds the NTFS backup boot sector, the FAT32 backup boot sector
  // and the exFAT backup boot region; the filter leaves what the search finds when it skips
  // over each volume.
  for (const char* disk : {"mbr", "gpt", "hfsplus"}) {
    const VolumeList all = advancedFinds(disk, false);
    const VolumeList skipping = advancedFinds(disk, true);
    ASSERT_GT(all.size(), skipping.size()) << disk;
    std::vector<std::size_t> everyOne(skipping.size());
    for (std::size_t i = 0; i < everyOne.size(); ++i) everyOne[i] = i;
    EXPECT_EQ(keyed(all, distinctVolumes(all)), keyed(skipping, everyOne)) << disk;
  }
}

TEST(FilterEntries, KeepsNeighboursThatDiffer) {
  const VolumeList volumes = {
      {"NTFS", "", "0", "15   MB", 2048},   // kept
      {"FAT32", "", "1", "15  MB", 2050},   // other file system: kept
      {"NTFS", "", "2", "16   MB", 2060},   // other size: kept
      {"NTFS", "", "3", "15   MB", 34816},  // behind the first volume: kept
      {"CUSTOM ", "", "4", "0", 0},         // no size: kept
      {"CUSTOM ", "", "5", "0", 0},         // no size: kept
      {"ntfs", "", "6", "15   MB", 3000},   // inside the first, same kind: dropped
  };
  EXPECT_EQ(distinctVolumes(volumes), (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_TRUE(distinctVolumes({}).empty());
}

TEST(RecoveryModes, OfferedPerFileSystem) {
  struct Case {
    const char* fileSystem;
    bool standard, advanced, deep, formattedHint;
  } cases[] = {
      {"NTFS", true, true, true, false},   {"ntfs", true, true, true, false},
      {"FAT32", true, true, false, true},  {"fat16", true, true, false, true},
      {"FAT64", true, true, false, true},  {"FAT12", true, true, false, true},
      {"exFAT", true, true, false, false}, {"extX", true, false, false, false},
      {"HFS+", true, false, true, false},  {"  NTFS", true, true, true, false},
  };
  for (const auto& c : cases) {
    const RecoveryModes m = recoveryModesFor(c.fileSystem);
    EXPECT_EQ(m.standard, c.standard) << c.fileSystem;
    EXPECT_EQ(m.advanced, c.advanced) << c.fileSystem;
    EXPECT_EQ(m.deep, c.deep) << c.fileSystem;
    EXPECT_EQ(m.formattedHint, c.formattedHint) << c.fileSystem;
  }
  EXPECT_EQ(recoveryModesFor("  NTFS").fsPrefix, "NTF");
  EXPECT_EQ(recoveryModesFor("").fsPrefix, "");
}

TEST(DiskFileInfo, ShownForSparseVmdkVhdAndVdi) {
  struct Case {
    const char* file;
    DiskKind kind;
    bool shown;
    DiskFileInfo info;
  } cases[] = {
      {"monolithicSparse.vmdk", DiskKind::vmdk, true, {"1", "48 MB", "63", "16", "97"}},
      {"dynamic.vhd", DiskKind::vhd, true, {"1.0", "48 MB", "17", "6", "964"}},
      {"disk.vdi", DiskKind::vdi, true, {"1.1", "48 MB", "0", "0", "0"}},
      {"monolithicFlat-flat.vmdk", DiskKind::vmdk, false, {}},
      {"monolithicFlat.vmdk", DiskKind::vmdk, false, {}},
      {"no-such-file.vmdk", DiskKind::vmdk, false, {}},
  };
  for (const auto& c : cases) {
    const ChosenDiskFile chosen = examineDiskFile(test::fixtureDir() / c.file);
    EXPECT_EQ(chosen.kind, c.kind) << c.file;
    ASSERT_EQ(chosen.info.has_value(), c.shown) << c.file;
    if (!chosen.info) continue;
    EXPECT_EQ(chosen.info->formatVersion, c.info.formatVersion) << c.file;
    EXPECT_EQ(chosen.info->sizeText, c.info.sizeText) << c.file;
    EXPECT_EQ(chosen.info->sectorsPerTrack, c.info.sectorsPerTrack) << c.file;
    EXPECT_EQ(chosen.info->heads, c.info.heads) << c.file;
    EXPECT_EQ(chosen.info->cylinders, c.info.cylinders) << c.file;
  }
}

TEST(SingleInstance, SecondLockIsRefusedUntilTheFirstGoes) {
  test::TempDir dir;
  const auto path = dir / "instance.lock";
  {
    SingleInstanceLock first(path);
    ASSERT_TRUE(first.acquired());
    SingleInstanceLock second(path);
    EXPECT_FALSE(second.acquired());
  }
  SingleInstanceLock again(path);
  EXPECT_TRUE(again.acquired());
}

}  // namespace
}  // namespace talvix
