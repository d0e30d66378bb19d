// The NTFS decoders on a volume that mkntfs made and ntfs-3g wrote: examples/sample.vmdk holds
// it at sector 2048, and examples/sample.md lists its files (names, folders, deleted entries
// and contents) as The Sleuth Kit reads them.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>

#include "TestFiles.h"
#include "disk/DiskChoice.h"
#include "fs/ntfs/FileNameAttribute.h"
#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/MftRecord.h"
#include "fs/ntfs/NtfsBootSector.h"
#include "fs/ntfs/RunList.h"

namespace talvix::ntfs {
namespace {

using test::Bytes;

constexpr std::int64_t kVolumeSector = 2048;

// The unnamed $DATA of a record (a named one is an alternate data stream).
std::optional<Attribute> unnamedData(std::span<const std::byte> record) {
  for (const Attribute& a : walkAttributes(record).attributes) {
    if (a.type == kAttrData && a.nameLength == 0 && a.sound) return a;
  }
  return std::nullopt;
}

RunList runsOf(std::span<const std::byte> record, const Attribute& a) {
  return decodeRunList(runListBytes(record, a), a.lastVcn - a.firstVcn + 1);
}

// The sample's NTFS volume read through the disk reader, with the $MFT's runs decoded.
class SampleVolume : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto path = test::sourceDir() / "examples" / "sample.vmdk";
    reader_ = makeDiskReader(detectDiskChoice(path));
    ASSERT_NE(reader_, nullptr);
    ASSERT_TRUE(reader_->open(path));
    reader_->volumeBase = kVolumeSector * 512;
    boot_ = decodeBootSector(read(0, 512));
    ASSERT_EQ(boot_.verdict, Verdict::valid);
    ASSERT_EQ(boot_.mftRecordBytes, kDefaultRecordBytes);

    Bytes first = read(static_cast<std::int64_t>(boot_.mftCluster * boot_.clusterBytes),
                       boot_.mftRecordBytes);
    ASSERT_EQ(applyFixups(first).verdict, Verdict::valid);
    const auto data = unnamedData(first);
    ASSERT_TRUE(data.has_value());
    ASSERT_TRUE(data->nonResident);
    mftRuns_ = runsOf(first, *data);
    ASSERT_TRUE(mftRuns_.ended);
    ASSERT_FALSE(mftRuns_.corrupt);
    ASSERT_FALSE(mftRuns_.runs.empty());
    recordCount_ = data->realSize / boot_.mftRecordBytes;
  }

  Bytes read(std::int64_t at, std::size_t bytes) { return test::readDiskAt(*reader_, at, bytes); }

  // The volume position of virtual cluster `vcn` of `runs`; nullopt in a hole.
  static std::optional<std::uint64_t> clusterAt(const RunList& runs, std::uint64_t vcn) {
    for (const DataRun& run : runs.runs) {
      if (vcn < run.clusterCount) {
        if (run.sparse) return std::nullopt;
        return run.startCluster + vcn;
      }
      vcn -= run.clusterCount;
    }
    return std::nullopt;
  }

  // MFT record `number`, fixed up.
  Bytes record(std::uint64_t number) {
    const std::uint64_t byte = number * boot_.mftRecordBytes;
    const auto cluster = clusterAt(mftRuns_, byte / boot_.clusterBytes);
    EXPECT_TRUE(cluster.has_value()) << "record " << number;
    if (!cluster) return {};
    Bytes bytes =
        read(static_cast<std::int64_t>(*cluster * boot_.clusterBytes + byte % boot_.clusterBytes),
             boot_.mftRecordBytes);
    const FixupResult fixed = applyFixups(bytes);
    if (fixed.verdict == Verdict::valid) {
      EXPECT_EQ(fixed.tornSectors, 0u) << "record " << number;
    }
    return bytes;
  }

  // The record's name as a folder listing shows it: the Win32 or POSIX name, the DOS name
  // only when there is no other.
  static std::optional<FileName> primaryName(std::span<const std::byte> record) {
    std::optional<FileName> best;
    for (const Attribute& a : walkAttributes(record).attributes) {
      if (a.type != kAttrFileName) continue;
      FileName name = decodeFileName(residentValue(record, a));
      EXPECT_EQ(name.verdict, Verdict::valid);
      if (!best || best->nameSpace == static_cast<std::uint8_t>(NameSpace::dos)) best = name;
    }
    return best;
  }

  // The whole data of a non-resident $DATA, read cluster by cluster (holes as zeros).
  Bytes clusters(const RunList& runs, std::uint64_t firstVcn, std::uint64_t count) {
    Bytes out;
    for (std::uint64_t vcn = firstVcn; vcn < firstVcn + count; ++vcn) {
      const auto lcn = clusterAt(runs, vcn);
      const Bytes piece =
          lcn ? read(static_cast<std::int64_t>(*lcn * boot_.clusterBytes), boot_.clusterBytes)
              : Bytes(boot_.clusterBytes);
      out.insert(out.end(), piece.begin(), piece.end());
    }
    return out;
  }

  std::unique_ptr<readWriteInterface> reader_;
  BootSector boot_;
  RunList mftRuns_;
  std::uint64_t recordCount_ = 0;
};

TEST_F(SampleVolume, BootSectorDescribesTheVolume) {
  EXPECT_EQ(boot_.bytesPerSector, 512);
  EXPECT_EQ(boot_.clusterBytes, 4096u);
  // The partition's 57344 sectors less the backup boot sector at its end.
  EXPECT_EQ(boot_.totalSectors, 57343u);
  EXPECT_EQ(boot_.volumeBytes, 57343u * 512);
  EXPECT_EQ(boot_.clustersPerMftRecord, -10);
  // $MFTMirr holds copies of the first records: its record 0 equals the $MFT's.
  Bytes mirror = read(static_cast<std::int64_t>(boot_.mftMirrorCluster * boot_.clusterBytes),
                      boot_.mftRecordBytes);
  ASSERT_EQ(applyFixups(mirror).verdict, Verdict::valid);
  EXPECT_EQ(mirror, record(0));
  EXPECT_GT(recordCount_, 87u);
}

struct Listed {
  std::uint64_t record;
  const char* path;  // from the root, as sample.md lists it
  bool deleted;
  bool folder;
};

// sample.md's `fls` listing: system files, live and deleted files and folders.
const Listed kListing[] = {
    {0, "$MFT", false, false},
    {1, "$MFTMirr", false, false},
    {2, "$LogFile", false, false},
    {3, "$Volume", false, false},
    {4, "$AttrDef", false, false},
    {6, "$Bitmap", false, false},
    {7, "$Boot", false, false},
    {8, "$BadClus", false, false},
    {9, "$Secure", false, false},
    {10, "$UpCase", false, false},
    {11, "$Extend", false, true},
    {24, "$Extend/$Quota", false, false},
    {25, "$Extend/$ObjId", false, false},
    {26, "$Extend/$Reparse", false, false},
    {64, "Compressed", false, true},
    {65, "Documents", false, true},
    {66, "Documents/Reports", false, true},
    {67, "Documents/Reports/2023", false, true},
    {68, "Fragmented", false, true},
    {69, "Old Projects", true, true},
    {70, "Pictures", false, true},
    {71, "Sparse", false, true},
    {72, "Ünïcødé – 日本語", false, true},
    {73, "README.txt", false, false},
    {74, "Documents/letter.txt", false, false},
    {75, "Documents/Reports/2023/summary.txt", false, false},
    {76, "Documents/Reports/2023/annual-report.bin", false, false},
    {77, "Pictures/photo-0001.bin", false, false},
    {78, "Ünïcødé – 日本語/Grüße.txt", false, false},
    {79, "Ünïcødé – 日本語/Привет мир.txt", false, false},
    {80, "deleted-note.txt", true, false},
    {81, "Pictures/deleted-photo.bin", true, false},
    {82, "Old Projects/plan.txt", true, false},
    {83, "Old Projects/data.bin", true, false},
    {84, "Compressed/compressible.txt", false, false},
    {85, "Sparse/sparse.bin", false, false},
    {86, "Fragmented/interleaved-a.bin", false, false},
    {87, "Fragmented/interleaved-b.bin", false, false},
};

TEST_F(SampleVolume, NamesAndParentsMatchTheListing) {
  constexpr std::uint64_t kRoot = 5;
  std::map<std::uint64_t, FileName> names;
  std::map<std::uint64_t, RecordHeader> headers;
  for (std::uint64_t n = 0; n < recordCount_; ++n) {
    const Bytes bytes = record(n);
    const RecordHeader header = decodeRecordHeader(bytes);
    if (header.verdict != Verdict::valid) continue;
    headers[n] = header;
    EXPECT_TRUE(walkAttributes(bytes).endMarker) << "record " << n;
    if (auto name = primaryName(bytes)) names[n] = *name;
  }
  ASSERT_TRUE(names.contains(kRoot));
  EXPECT_EQ(names[kRoot].name, ".");
  EXPECT_EQ(names[kRoot].parentRecord, kRoot);

  // A path from the parent references, as far as they lead (the chain is at most the depth of
  // the listing, so a longer one is a loop).
  auto pathOf = [&](std::uint64_t n) {
    std::string path = names[n].name;
    for (int depth = 0; depth < 8; ++depth) {
      const std::uint64_t parent = names[n].parentRecord;
      if (parent == kRoot) return path;
      if (!names.contains(parent)) return "?/" + path;
      path = names[parent].name + "/" + path;
      n = parent;
    }
    return "loop/" + path;
  };
  for (const Listed& entry : kListing) {
    SCOPED_TRACE(entry.path);
    ASSERT_TRUE(names.contains(entry.record));
    EXPECT_EQ(pathOf(entry.record), entry.path);
    EXPECT_EQ(names[entry.record].isDirectory(), entry.folder);
    EXPECT_EQ((headers[entry.record].flags & kRecordInUse) == 0, entry.deleted);
    EXPECT_EQ((headers[entry.record].flags & kRecordIsDirectory) != 0, entry.folder);
  }
  // The reserved records 16 to 23 carry no name.
  for (std::uint64_t n = 16; n <= 23; ++n) EXPECT_FALSE(names.contains(n)) << "record " << n;
  // Nothing beyond the listing has a name.
  EXPECT_EQ(names.size(), std::size(kListing) + 1);  // and the root
}

TEST_F(SampleVolume, ResidentDataAndItsAlternateStream) {
  const Bytes letter = record(74);
  std::map<std::string, std::size_t> streams;
  for (const Attribute& a : walkAttributes(letter).attributes) {
    if (a.type != kAttrData) continue;
    ASSERT_TRUE(a.sound);
    ASSERT_FALSE(a.nonResident);
    streams[utf16leToUtf8(attributeName(letter, a))] = residentValue(letter, a).size();
  }
  EXPECT_EQ(streams, (std::map<std::string, std::size_t>{{"", 70}, {"Zone.Identifier", 26}}));
}

TEST_F(SampleVolume, FragmentedAndSparseRunLists) {
  for (std::uint64_t n : {86u, 87u}) {
    const Bytes bytes = record(n);
    const auto data = unnamedData(bytes);
    ASSERT_TRUE(data.has_value());
    const RunList runs = runsOf(bytes, *data);
    EXPECT_TRUE(runs.ended);
    EXPECT_FALSE(runs.corrupt);
    EXPECT_EQ(runs.runs.size(), 6u) << "record " << n;
    EXPECT_EQ(runs.clusters * boot_.clusterBytes, 73728u);
    for (const DataRun& run : runs.runs) EXPECT_FALSE(run.sparse);
  }

  const Bytes sparse = record(85);
  const auto data = unnamedData(sparse);
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ(data->realSize, 1048576u);
  EXPECT_EQ(data->initializedSize, 663552u);
  EXPECT_EQ(data->compressedSize, 3u * 4096);
  const RunList runs = runsOf(sparse, *data);
  EXPECT_TRUE(runs.ended);
  EXPECT_FALSE(runs.corrupt);
  EXPECT_EQ(runs.clusters, data->lastVcn - data->firstVcn + 1);
  std::uint64_t stored = 0;
  for (const DataRun& run : runs.runs) {
    if (!run.sparse) stored += run.clusterCount;
  }
  EXPECT_EQ(stored, 3u);  // 4 KiB at the start and 8 KiB at 640 KiB
  EXPECT_FALSE(clusterAt(runs, 0) == std::nullopt);
  EXPECT_EQ(clusterAt(runs, 1), std::nullopt);
  EXPECT_FALSE(clusterAt(runs, 160) == std::nullopt);
  EXPECT_FALSE(clusterAt(runs, 161) == std::nullopt);
  EXPECT_EQ(clusterAt(runs, 162), std::nullopt);
}

TEST_F(SampleVolume, CompressedFileDecompressesToItsText) {
  const Bytes bytes = record(84);
  const auto data = unnamedData(bytes);
  ASSERT_TRUE(data.has_value());
  ASSERT_TRUE(data->nonResident);
  EXPECT_EQ(data->flags & kAttrFlagCompressed, kAttrFlagCompressed);
  ASSERT_EQ(data->compressionUnit, 4);  // units of 16 clusters
  EXPECT_EQ(data->realSize, 105000u);
  EXPECT_EQ(data->compressedSize, 4u * 4096);  // two units of two clusters
  const RunList runs = runsOf(bytes, *data);
  ASSERT_FALSE(runs.corrupt);

  // The file's text: 1500 lines of 70 bytes.
  std::string expected;
  for (int line = 1; line <= 1500; ++line) {
    char text[80];
    std::snprintf(text, sizeof text,
                  "Line %06d of a compressible file on the NTFS volume of sample.vmdk.\n", line);
    expected += text;
  }
  ASSERT_EQ(expected.size(), 105000u);

  constexpr std::uint64_t kUnitClusters = 16;
  const std::size_t unitBytes = kUnitClusters * boot_.clusterBytes;
  std::string content;
  bool sawCompressedUnit = false;
  for (std::uint64_t vcn = 0; vcn < runs.clusters; vcn += kUnitClusters) {
    // A unit whose last cluster is a hole is compressed into its stored clusters.
    std::uint64_t stored = 0;
    while (stored < kUnitClusters && clusterAt(runs, vcn + stored)) ++stored;
    const Bytes input = clusters(runs, vcn, stored);
    Bytes unit(unitBytes);
    if (stored == kUnitClusters) {
      unit = input;
    } else {
      sawCompressedUnit = true;
      const DecompressResult result = decompressUnit(input, unit);
      EXPECT_FALSE(result.corrupt) << "unit at " << vcn;
      if (vcn == 0) {
        EXPECT_EQ(result.written, unitBytes);
      }
      unit.resize(result.written);
    }
    content.append(reinterpret_cast<const char*>(unit.data()), unit.size());
  }
  EXPECT_TRUE(sawCompressedUnit);
  ASSERT_GE(content.size(), expected.size());
  content.resize(expected.size());
  EXPECT_EQ(content.substr(0, unitBytes), expected.substr(0, unitBytes));
  EXPECT_EQ(content, expected);
}

}  // namespace
}  // namespace talvix::ntfs
