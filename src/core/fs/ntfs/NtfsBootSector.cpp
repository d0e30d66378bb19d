#include "fs/ntfs/NtfsBootSector.h"

#include <bit>

#include "util/ByteReader.h"

namespace talvix::ntfs {
namespace {

// Boot sector (all little-endian):
// | offset | size | meaning                                                       |
// |--------|------|---------------------------------------------------------------|
// | 0      | 3    | jump instruction                                              |
// | 3      | 8    | OEM id "NTFS    "                                             |
// | 11     | 2    | bytes per sector (256 .. 4096, a power of two)                 |
// | 13     | 1    | sectors per cluster: 1..128, or 0xF4.. = 2^(256 - value)      |
// | 40     | 8    | total sectors (the volume less its backup boot sector)         |
// | 48     | 8    | cluster number of $MFT                                        |
// | 56     | 8    | cluster number of $MFTMirr                                    |
// | 64     | 1    | clusters per MFT record, signed: n < 0 means 2^-n bytes        |
// | 68     | 1    | clusters per index record, same encoding                      |
// | 72     | 8    | volume serial number                                          |
// | 510    | 2    | 0x55 0xAA (not required: some tools leave it out)             |

// Clusters of 2 MiB are the largest that Windows formats; anything above is damage.
constexpr std::uint64_t kMaxClusterBytes = 2u * 1024 * 1024;
// MFT and index records are at most 64 KiB by the format (and 1 or 4 KiB in practice); the cap
// also bounds the buffers callers allocate for one record.
constexpr std::uint64_t kMaxRecordBytes = 64u * 1024;

// Bytes of a record whose size field is `field`; 0 when the field cannot be used.
std::uint32_t recordBytes(std::int8_t field, std::uint64_t clusterBytes) {
  std::uint64_t bytes = 0;
  if (field > 0) {
    bytes = static_cast<std::uint64_t>(field) * clusterBytes;
  } else if (field < 0 && field >= -31) {
    bytes = std::uint64_t{1} << -field;
  }
  if (bytes < 256 || bytes > kMaxRecordBytes || !std::has_single_bit(bytes)) return 0;
  return static_cast<std::uint32_t>(bytes);
}

}  // namespace

BootSector decodeBootSector(std::span<const std::byte> sector) {
  ByteReader r(sector);
  BootSector boot;
  if (r.text(3, 8) != "NTFS    " || !r.ok()) return boot;
  boot.verdict = Verdict::valid;
  boot.bytesPerSector = r.u16le(11);
  const std::uint8_t sectorsPerClusterField = r.u8(13);
  boot.totalSectors = r.u64le(40);
  boot.mftCluster = r.u64le(48);
  boot.mftMirrorCluster = r.u64le(56);
  boot.clustersPerMftRecord = static_cast<std::int8_t>(r.u8(64));
  boot.clustersPerIndexRecord = static_cast<std::int8_t>(r.u8(68));
  boot.serialNumber = r.u64le(72);
  if (!r.ok()) {
    boot.verdict = Verdict::corrupt;
    return boot;
  }

  if (sectorsPerClusterField <= 0x80) {
    boot.sectorsPerCluster = sectorsPerClusterField;
  } else if (256 - sectorsPerClusterField <= 12) {
    boot.sectorsPerCluster = 1u << (256 - sectorsPerClusterField);
  }
  const bool sectorSizeSound = boot.bytesPerSector >= 256 && boot.bytesPerSector <= 4096 &&
                               std::has_single_bit(boot.bytesPerSector);
  const bool clusterSound =
      boot.sectorsPerCluster != 0 && std::has_single_bit(boot.sectorsPerCluster);
  if (!sectorSizeSound || !clusterSound) {
    boot.verdict = Verdict::corrupt;
    return boot;
  }
  boot.clusterBytes = std::uint64_t{boot.bytesPerSector} * boot.sectorsPerCluster;
  if (boot.clusterBytes > kMaxClusterBytes) {
    boot.verdict = Verdict::corrupt;
    return boot;
  }
  // Below 2^52 sectors of at most 4096 bytes the byte count stays inside 64 bits.
  if (boot.totalSectors >= (std::uint64_t{1} << 52)) {
    boot.verdict = Verdict::corrupt;
    return boot;
  }
  boot.volumeBytes = boot.totalSectors * boot.bytesPerSector;
  boot.mftRecordBytes = recordBytes(boot.clustersPerMftRecord, boot.clusterBytes);
  boot.indexRecordBytes = recordBytes(boot.clustersPerIndexRecord, boot.clusterBytes);
  const std::uint64_t volumeClusters = boot.volumeBytes / boot.clusterBytes;
  if (boot.mftRecordBytes == 0 || boot.mftCluster == 0 || boot.mftCluster >= volumeClusters ||
      boot.mftMirrorCluster >= volumeClusters) {
    boot.verdict = Verdict::corrupt;
  }
  return boot;
}

}  // namespace talvix::ntfs
