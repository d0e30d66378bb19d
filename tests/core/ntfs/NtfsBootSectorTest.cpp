#include <gtest/gtest.h>

#include <functional>

#include "TestFiles.h"
#include "fs/ntfs/NtfsBootSector.h"

namespace talvix::ntfs {
namespace {

using test::Bytes;

// The sample volume's boot sector fields: 512-byte sectors, 4 KiB clusters, 1 KiB records.
Bytes soundBootSector() {
  Bytes b(512);
  b[0] = std::byte{0xEB};
  b[1] = std::byte{0x52};
  b[2] = std::byte{0x90};
  test::putText(b, 3, "NTFS    ");
  test::putLe16(b, 11, 512);
  b[13] = std::byte{8};
  test::putLe64(b, 40, 57343);
  test::putLe64(b, 48, 4);
  test::putLe64(b, 56, 3583);
  b[64] = std::byte{0xF6};  // -10: 2^10 bytes
  b[68] = std::byte{1};     // one cluster
  test::putLe64(b, 72, 0x6CF1D5152C5B6FDDu);
  test::putLe16(b, 510, 0xAA55);
  return b;
}

TEST(NtfsBootSector, DecodesEveryField) {
  const BootSector boot = decodeBootSector(soundBootSector());
  EXPECT_EQ(boot.verdict, Verdict::valid);
  EXPECT_EQ(boot.bytesPerSector, 512);
  EXPECT_EQ(boot.sectorsPerCluster, 8u);
  EXPECT_EQ(boot.clusterBytes, 4096u);
  EXPECT_EQ(boot.totalSectors, 57343u);
  EXPECT_EQ(boot.volumeBytes, 57343u * 512);
  EXPECT_EQ(boot.mftCluster, 4u);
  EXPECT_EQ(boot.mftMirrorCluster, 3583u);
  EXPECT_EQ(boot.clustersPerMftRecord, -10);
  EXPECT_EQ(boot.mftRecordBytes, 1024u);
  EXPECT_EQ(boot.indexRecordBytes, 4096u);
  EXPECT_EQ(boot.serialNumber, 0x6CF1D5152C5B6FDDu);
}

struct BootCase {
  const char* what;
  std::function<void(Bytes&)> change;
  Verdict verdict;
  std::uint64_t clusterBytes;    // when valid
  std::uint32_t mftRecordBytes;  // when valid
};

TEST(NtfsBootSector, ChangeOneField) {
  const BootCase cases[] = {
      {"another file system", [](Bytes& b) { test::putText(b, 3, "EXFAT   "); },
       Verdict::notThisStructure, 0, 0},
      {"bytes per sector 0", [](Bytes& b) { test::putLe16(b, 11, 0); }, Verdict::corrupt, 0, 0},
      {"bytes per sector 500", [](Bytes& b) { test::putLe16(b, 11, 500); }, Verdict::corrupt, 0, 0},
      {"bytes per sector 8192", [](Bytes& b) { test::putLe16(b, 11, 8192); }, Verdict::corrupt, 0,
       0},
      {"4096-byte sectors", [](Bytes& b) { test::putLe16(b, 11, 4096), b[13] = std::byte{1}; },
       Verdict::valid, 4096, 1024},
      {"sectors per cluster 0", [](Bytes& b) { b[13] = std::byte{0}; }, Verdict::corrupt, 0, 0},
      {"sectors per cluster 3", [](Bytes& b) { b[13] = std::byte{3}; }, Verdict::corrupt, 0, 0},
      {"128 sectors per cluster",
       [](Bytes& b) { b[13] = std::byte{0x80}, test::putLe64(b, 56, 2); }, Verdict::valid, 65536,
       1024},
      {"2 MiB clusters as a negative power",
       [](Bytes& b) { b[13] = std::byte{0xF4}, test::putLe64(b, 56, 2); }, Verdict::valid,
       2 * 1024 * 1024, 1024},
      {"4 MiB clusters", [](Bytes& b) { b[13] = std::byte{0xF3}; }, Verdict::corrupt, 0, 0},
      {"record of 2 clusters", [](Bytes& b) { b[64] = std::byte{2}; }, Verdict::valid, 4096, 8192},
      {"record of 2^12 bytes", [](Bytes& b) { b[64] = std::byte{0xF4}; }, Verdict::valid, 4096,
       4096},
      {"record size 0", [](Bytes& b) { b[64] = std::byte{0}; }, Verdict::corrupt, 0, 0},
      {"record of 2^-40 bytes", [](Bytes& b) { b[64] = std::byte{0xD8}; }, Verdict::corrupt, 0, 0},
      {"record of 64 clusters", [](Bytes& b) { b[64] = std::byte{64}; }, Verdict::corrupt, 0, 0},
      {"record of 3 clusters", [](Bytes& b) { b[64] = std::byte{3}; }, Verdict::corrupt, 0, 0},
      {"$MFT at cluster 0", [](Bytes& b) { test::putLe64(b, 48, 0); }, Verdict::corrupt, 0, 0},
      {"$MFT past the volume", [](Bytes& b) { test::putLe64(b, 48, 7167); }, Verdict::corrupt, 0,
       0},
      {"$MFTMirr past the volume", [](Bytes& b) { test::putLe64(b, 56, 1u << 31); },
       Verdict::corrupt, 0, 0},
      {"total sectors past 64-bit bytes", [](Bytes& b) { test::putLe64(b, 40, 1ull << 60); },
       Verdict::corrupt, 0, 0},
  };
  for (const BootCase& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b = soundBootSector();
    c.change(b);
    const BootSector boot = decodeBootSector(b);
    EXPECT_EQ(boot.verdict, c.verdict);
    if (c.verdict == Verdict::valid) {
      EXPECT_EQ(boot.clusterBytes, c.clusterBytes);
      EXPECT_EQ(boot.mftRecordBytes, c.mftRecordBytes);
    }
  }
}

TEST(NtfsBootSector, VolumeBytesCountTheVolumesOwnSectorSize) {
  Bytes b = soundBootSector();
  test::putLe16(b, 11, 4096);
  b[13] = std::byte{1};
  test::putLe64(b, 40, 7167);
  EXPECT_EQ(decodeBootSector(b).volumeBytes, 7167u * 4096);
}

TEST(NtfsBootSector, ACorruptSectorKeepsTheFieldsItCouldRead) {
  Bytes b = soundBootSector();
  test::putLe64(b, 48, 1u << 20);
  const BootSector boot = decodeBootSector(b);
  EXPECT_EQ(boot.verdict, Verdict::corrupt);
  EXPECT_EQ(boot.mftCluster, 1u << 20);
  EXPECT_EQ(boot.clusterBytes, 4096u);
}

TEST(NtfsBootSector, ShortInputIsCorruptOrNotNtfs) {
  const Bytes b = soundBootSector();
  EXPECT_EQ(decodeBootSector(std::span(b).first(60)).verdict, Verdict::corrupt);
  EXPECT_EQ(decodeBootSector(std::span(b).first(8)).verdict, Verdict::notThisStructure);
  EXPECT_EQ(decodeBootSector({}).verdict, Verdict::notThisStructure);
}

}  // namespace
}  // namespace talvix::ntfs
