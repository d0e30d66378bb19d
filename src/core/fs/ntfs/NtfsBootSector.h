#pragma once

#include <cstdint>
#include <span>

// NTFS on-disk decoding; layouts in docs/formats/ntfs.md.
namespace talvix::ntfs {

// How a decoder judged its bytes: the structure it looks for, not that structure at all (normal
// while searching), or that structure with fields that cannot be used.
enum class Verdict { valid, notThisStructure, corrupt };

// The NTFS boot sector (volume sector 0; a copy sits in the volume's last sector).
struct BootSector {
  Verdict verdict = Verdict::notThisStructure;
  std::uint16_t bytesPerSector = 0;
  std::uint32_t sectorsPerCluster = 0;  // decoded: the raw byte may be a negative power of two
  std::uint64_t clusterBytes = 0;
  std::uint64_t totalSectors = 0;
  std::uint64_t volumeBytes = 0;  // totalSectors x bytesPerSector
  std::uint64_t mftCluster = 0;
  std::uint64_t mftMirrorCluster = 0;
  std::int8_t clustersPerMftRecord = 0;  // raw field: n > 0 clusters, n < 0 2^-n bytes
  std::uint32_t mftRecordBytes = 0;
  std::int8_t clustersPerIndexRecord = 0;  // raw field, same encoding
  std::uint32_t indexRecordBytes = 0;
  std::uint64_t serialNumber = 0;
};

// Decodes a 512-byte (or longer) boot sector. Without "NTFS    " at offset 3 the verdict is
// notThisStructure; sizes that are not powers of two in range, a $MFT outside the volume or a
// record size that cannot be give corrupt, with every field decoded as far as possible.
BootSector decodeBootSector(std::span<const std::byte> sector);

}  // namespace talvix::ntfs
