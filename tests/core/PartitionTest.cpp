#include <gtest/gtest.h>

#include <fstream>

#include "Recorders.h"
#include "SyntheticDisks.h"
#include "disk/VmdkReader.h"
#include "volumes/BootSector.h"
#include "volumes/Partition.h"

namespace talvix {
namespace {

using test::Bytes;

// A raw disk file, sparse, with sectors written where a test puts them.
class RawDisk {
 public:
  RawDisk(const std::filesystem::path& path, std::uint64_t sectors) : path_(path) {
    std::ofstream(path, std::ios::binary).flush();
    std::filesystem::resize_file(path, sectors * 512);
  }
  void put(std::uint64_t sector, const Bytes& bytes) {
    std::fstream f(path_, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(sector * 512));
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

Bytes ntfsBoot(std::uint64_t totalSectors) {
  Bytes b(512);
  b[0] = std::byte{0xEB};
  b[1] = std::byte{0x52};
  b[2] = std::byte{0x90};
  test::putText(b, 3, "NTFS    ");
  test::putLe16(b, 11, 512);
  test::putLe64(b, 40, totalSectors);
  test::putLe16(b, 510, 0xAA55);
  return b;
}

Bytes fatBoot(const char* oem, std::uint16_t sectorsPerFat, std::uint32_t totalSectors,
              std::uint16_t rootEntries = 512) {
  Bytes b(512);
  b[0] = std::byte{0xEB};
  b[1] = std::byte{0x58};
  test::putText(b, 3, oem);
  test::putLe16(b, 11, 512);
  b[13] = std::byte{8};
  test::putLe16(b, 14, sectorsPerFat == 0 ? 32 : 1);
  b[16] = std::byte{2};
  test::putLe16(b, 17, sectorsPerFat == 0 ? 0 : rootEntries);
  b[21] = std::byte{0xF8};
  test::putLe16(b, 22, sectorsPerFat);
  test::putLe32(b, 32, totalSectors);
  test::putLe16(b, 510, 0xAA55);
  return b;
}

Bytes exfatBoot(std::uint64_t length) {
  Bytes b(512);
  b[0] = std::byte{0xEB};
  b[1] = std::byte{0x76};
  test::putText(b, 3, "EXFAT   ");
  test::putLe64(b, 72, length);
  return b;
}

Bytes hfsHeader(std::uint32_t blockSize, std::uint32_t blocks) {
  Bytes b(512);
  test::putText(b, 0, "H+");
  test::putBe16(b, 0, 0x482B);
  test::putBe16(b, 2, 4);
  test::putBe32(b, 40, blockSize);
  test::putBe32(b, 44, blocks);
  return b;
}

// One 16-byte partition table entry at slot `slot` of a table sector.
void entry(Bytes& table, int slot, std::uint8_t type, std::uint32_t start, std::uint32_t sectors) {
  const std::size_t at = 446 + 16 * static_cast<std::size_t>(slot);
  table.resize(512);
  table[at + 4] = std::byte{type};
  test::putLe32(table, at + 8, start);
  test::putLe32(table, at + 12, sectors);
  test::putLe16(table, 510, 0xAA55);
}

struct Collected : VolumeSink, VolumeScanView {
  void volumeFound(const Volume& v) override { volumes.push_back(v); }
  void setFilterEntriesEnabled(bool enabled) override { filterEnabled.push_back(enabled); }
  std::vector<Volume> volumes;
  std::vector<bool> filterEnabled;
};

class PartitionTest : public ::testing::Test {
 protected:
  RawDisk disk(std::uint64_t sectors) { return RawDisk(dir / "disk.raw", sectors); }
  // Runs a scan over the disk file through a flat reader.
  std::vector<Volume> scan(const RawDisk& d, bool gpt = false) {
    reader = std::make_unique<FileReadSeekVmdk>();
    reader->extentType = "FLAT";
    EXPECT_TRUE(reader->open(d.path()));
    Partition p(*reader, ui, sink);
    p.gptMode = gpt;
    EXPECT_EQ(p.standardScan(), 0);
    return sink.volumes;
  }
  std::vector<Volume> advanced(const RawDisk& d, bool skip, std::int64_t from = 0,
                               std::int64_t to = 0,
                               std::optional<std::uint64_t> diskSectors = std::nullopt) {
    reader = std::make_unique<FileReadSeekVmdk>();
    reader->extentType = "FLAT";
    EXPECT_TRUE(reader->open(d.path()));
    Partition p(*reader, ui, sink);
    p.skipVolumeSize = skip;
    p.customStartSector = from;
    p.customEndSector = to;
    EXPECT_EQ(p.advancedScan(diskSectors.value_or(reader->diskSectors()), ui, sink), 1);
    return sink.volumes;
  }
  static std::vector<std::pair<std::string, std::int64_t>> starts(const std::vector<Volume>& v) {
    std::vector<std::pair<std::string, std::int64_t>> out;
    for (const auto& x : v) out.emplace_back(x.fileSystem, x.startSector);
    return out;
  }
  using Starts = std::vector<std::pair<std::string, std::int64_t>>;

  test::TempDir dir;
  std::unique_ptr<FileReadSeekVmdk> reader;
  test::Recorder ui;
  Collected sink;
};

TEST_F(PartitionTest, NtfsPrimaryGivesOneRecordWithItsTexts) {
  auto d = disk(2048 + 204800);
  Bytes mbr;
  entry(mbr, 0, 0x07, 2048, 204800);
  d.put(0, mbr);
  d.put(2048, ntfsBoot(204800 - 1));
  const auto v = scan(d);
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0], (Volume{"NTFS", "", "0", "100   MB", 2048}));
  EXPECT_EQ(ui.statuses, std::vector<std::string>{"found NTFS 1..."});
}

TEST_F(PartitionTest, TypesNameTheirVolumes) {
  auto d = disk(40000);
  Bytes mbr;
  entry(mbr, 0, 0x01, 100, 4096);
  entry(mbr, 1, 0x07, 5000, 4096);  // holds exFAT
  entry(mbr, 2, 0x42, 10000, 2048);
  entry(mbr, 3, 0x9F, 20000, 2047);
  d.put(0, mbr);
  d.put(5000, exfatBoot(4096));
  EXPECT_EQ(starts(scan(d)),
            (Starts{{"FAT12", 100}, {"FAT64", 5000}, {"NTFS", 10000}, {"Unknown", 20000}}));
  EXPECT_EQ(sink.volumes[3].sizeText, "0   MB");
  EXPECT_EQ(ui.statuses,
            (std::vector<std::string>{"found FAT64...", "NTFS...", "found UNKNOWN..."}));
}

TEST_F(PartitionTest, EmptyEntriesAndEntriesAfterTheExtendedOneAreStillListed) {
  auto d = disk(100000);
  Bytes mbr;
  entry(mbr, 0, 0x0C, 2048, 8192);
  entry(mbr, 1, 0x00, 0, 0);  // a deleted partition
  entry(mbr, 2, 0x0F, 20000, 40000);
  entry(mbr, 3, 0x83, 70000, 20000);
  d.put(0, mbr);
  Bytes ebr;
  entry(ebr, 0, 0x06, 63, 4096);
  d.put(20000, ebr);
  EXPECT_EQ(starts(scan(d)), (Starts{{"FAT32", 2048}, {"FAT16", 20063}, {"extX", 70000}}));
}

TEST_F(PartitionTest, LogicalVolumesStartAtTheirRecordPlusTheirOffset) {
  auto d = disk(200000);
  Bytes mbr;
  entry(mbr, 0, 0x05, 10000, 150000);
  d.put(0, mbr);
  // Three records: at the base, at base + 30000, at base + 70000; the second lists its
  // link before its volume and the third has an empty first slot.
  Bytes e1, e2, e3;
  entry(e1, 0, 0x83, 2048, 20000);
  entry(e1, 1, 0x05, 30000, 40000);
  entry(e2, 0, 0x05, 70000, 40000);
  entry(e2, 1, 0x07, 2048, 30000);
  entry(e3, 1, 0x0B, 63, 10000);
  d.put(10000, e1);
  d.put(40000, e2);
  d.put(80000, e3);
  EXPECT_EQ(starts(scan(d)), (Starts{{"extX", 12048}, {"NTFS", 42048}, {"FAT32", 80063}}));
  EXPECT_EQ(ui.statuses,
            (std::vector<std::string>{"found extx...", "found NTFS...", "found FAT 32..."}));
}

TEST_F(PartitionTest, HostileChainsEndCleanly) {
  struct Case {
    const char* name;
    std::function<void(RawDisk&)> build;
    std::size_t maxRecords;
  };
  const Case cases[] = {
      {"record links to itself",
       [](RawDisk& d) {
         Bytes mbr, e;
         entry(mbr, 0, 0x05, 100, 1000);
         entry(e, 0, 0x83, 10, 10);
         entry(e, 1, 0x05, 0, 1000);
         d.put(0, mbr);
         d.put(100, e);
       },
       1},
      {"two records link to each other",
       [](RawDisk& d) {
         Bytes mbr, a, b;
         entry(mbr, 0, 0x05, 100, 1000);
         entry(a, 0, 0x83, 10, 10);
         entry(a, 1, 0x05, 200, 1000);
         entry(b, 0, 0x83, 10, 10);
         entry(b, 1, 0x05, 0, 1000);
         d.put(0, mbr);
         d.put(100, a);
         d.put(300, b);
       },
       50},
      {"extended partition far past the end",
       [](RawDisk& d) {
         Bytes mbr;
         entry(mbr, 0, 0x05, 0xFFFFFFF0, 0xFFFFFFFF);
         entry(mbr, 1, 0x07, 0xFFFFFFFF, 0xFFFFFFFF);
         d.put(0, mbr);
       },
       1},
  };
  for (const auto& c : cases) {
    sink.volumes.clear();
    auto d = disk(1000);
    c.build(d);
    EXPECT_LE(scan(d).size(), c.maxRecords) << c.name;
  }
}

// GPT header at sector 1 naming the entry array at `arraySector`; entries of 128 bytes.
Bytes gptEntry(const char* typeFirstBytes, std::uint64_t first, std::uint64_t last,
               std::u16string name) {
  Bytes e(128);
  for (std::size_t i = 0; i < 4; ++i) e[i] = static_cast<std::byte>(typeFirstBytes[i]);
  e[4] = std::byte{0x11};
  test::putLe64(e, 32, first);
  test::putLe64(e, 40, last);
  for (std::size_t i = 0; i < name.size(); ++i) test::putLe16(e, 56 + 2 * i, name[i]);
  return e;
}

TEST_F(PartitionTest, GptEntriesBecomeRecordsByTheirBootSectors) {
  auto d = disk(600000);
  Bytes header(512);
  test::putText(header, 0, "EFI PART");
  test::putLe64(header, 72, 300);  // beyond one byte: the whole field is the sector
  d.put(1, header);
  Bytes array;
  for (const auto& e : {gptEntry("\x16\xE3\xC9\xE3", 34, 32801, u"Microsoft reserved partition"),
                        gptEntry("\xA2\xA0\xD0\xEB", 40960, 245759, u"Basic data partition"),
                        gptEntry("\xAF\x3D\xC6\x0F", 245760, 409599, u"Linux filesystem"),
                        gptEntry("\x00\x53\x46\x48", 409640, 450000, u"Apple HFS"),
                        gptEntry("\xA2\xA0\xD0\xEB", 460000, 530000, u"data \u00e9t\u00e9"),
                        gptEntry("\xA2\xA0\xD0\xEB", 540000, 560000, u"after the end")})
    array.insert(array.end(), e.begin(), e.end());
  array.resize(5 * 128);  // entry 5 stays empty and ends the list
  d.put(300, array);
  d.put(40960, ntfsBoot(204800));
  d.put(409642, hfsHeader(4096, 5000));
  d.put(460000, fatBoot("mkfs.fat", 0, 70000));
  EXPECT_EQ(
      starts(scan(d, true)),
      (Starts{{"NTFS", 40960}, {"Linux filesystem", 245760}, {"HFS+", 409640}, {"FAT32", 460000}}));
  EXPECT_EQ(sink.volumes[0].sizeText, "100   MB");
  EXPECT_EQ(sink.volumes[1].sizeText, "79");
  EXPECT_EQ(sink.volumes[3].sizeText, "34  MB");
}

TEST_F(PartitionTest, GptModeOnAnMbrDiskListsNothing) {
  auto d = disk(5000);
  Bytes mbr;
  entry(mbr, 0, 0x07, 2048, 2000);
  d.put(0, mbr);
  EXPECT_TRUE(scan(d, true).empty());
  sink.volumes.clear();
  Bytes header(512);
  test::putLe64(header, 72, ~std::uint64_t{0});  // an entry array no disk can hold
  d.put(1, header);
  EXPECT_TRUE(scan(d, true).empty());
}

TEST_F(PartitionTest, AdvancedScanSkipsAFoundVolumeOrFindsItsBackupBootSector) {
  for (const bool skip : {true, false}) {
    sink.volumes.clear();
    auto d = disk(2048 + 204800 + 100);
    d.put(2048, ntfsBoot(204800 - 1));
    d.put(2048 + 204800 - 1, ntfsBoot(204800 - 1));  // the backup in the volume's last sector
    const auto v = advanced(d, skip);
    if (skip)
      EXPECT_EQ(starts(v), (Starts{{"NTFS", 2048}}));
    else
      EXPECT_EQ(starts(v), (Starts{{"NTFS", 2048}, {"NTFS", 206847}}));
    EXPECT_EQ(v[0].sizeText, "99   MB");
    EXPECT_EQ(ui.ranges.back(), (std::pair<std::int64_t, std::int64_t>{0, 1000}));
    EXPECT_EQ(ui.positions.back(), 1000);
    EXPECT_EQ(sink.filterEnabled, (std::vector<bool>{false, true}));
    sink.filterEnabled.clear();
  }
}

TEST_F(PartitionTest, AdvancedScanFindsEveryKindOfVolumeStart) {
  auto d = disk(409642 + 10);
  d.put(4096, fatBoot("mkfs.fat", 0, 70000));           // FAT32 made by a non-Microsoft tool
  d.put(100000, fatBoot("MSDOS5.0", 200, 40960));       // FAT16
  d.put(150000, fatBoot("mkfs.fat", 0x20, 8000, 224));  // FAT12: few clusters
  d.put(200000, exfatBoot(65536));
  d.put(300000, fatBoot("MSDOS5.0", 77, 0));  // "MSDO" with no usable size
  d.put(409642, hfsHeader(4096, 5000));       // HFS+ header 2 sectors into its volume
  EXPECT_EQ(starts(advanced(d, false)), (Starts{{"FAT32", 4096},
                                                {"FAT16", 100000},
                                                {"FAT12", 150000},
                                                {"FAT64", 200000},
                                                {"HFS+", 409640}}));
  EXPECT_NE(std::find(ui.statuses.begin(), ui.statuses.end(), "found HFS+..."), ui.statuses.end());
}

TEST_F(PartitionTest, AdvancedScanRangeAndEnd) {
  auto d = disk(10000);
  for (std::uint64_t s : {50, 2147, 2148}) d.put(s, ntfsBoot(4096));
  // A range of 100..200 tests the whole first chunk (sectors 100 to 2147).
  EXPECT_EQ(starts(advanced(d, false, 100, 200)), (Starts{{"NTFS", 2147}}));
  sink.volumes.clear();
  EXPECT_TRUE(advanced(d, false, 0, 0, 0).empty());  // a disk of unknown size is not scanned
}

TEST_F(PartitionTest, StopEndsTheAdvancedScan) {
  auto d = disk(10000);
  d.put(10, ntfsBoot(4096));
  reader = std::make_unique<FileReadSeekVmdk>();
  reader->extentType = "FLAT";
  ASSERT_TRUE(reader->open(d.path()));
  struct StopOnFind : VolumeSink {
    Partition* partition = nullptr;
    std::vector<Volume> volumes;
    void volumeFound(const Volume& v) override {
      volumes.push_back(v);
      partition->stopRequested = true;
    }
  } stopper;
  Partition p(*reader, ui, stopper);
  stopper.partition = &p;
  EXPECT_EQ(p.advancedScan(10000, ui, sink), 1);
  EXPECT_EQ(stopper.volumes.size(), 1u);
  EXPECT_EQ(ui.statuses.back(), "Scanned Partitions");
}

TEST(VolumeText, SizeTextMegabytes) {
  EXPECT_EQ(sizeTextMegabytes("100   MB"), 100u);
  EXPECT_EQ(sizeTextMegabytes(" 7"), 7u);
  EXPECT_EQ(sizeTextMegabytes("MB"), 0u);
  EXPECT_EQ(sizeTextMegabytes(""), 0u);
}

}  // namespace
}  // namespace talvix
