#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace talvix {

// What a sector that starts a volume says about it.
struct VolumeStart {
  std::string fileSystem;  // empty: looks like a volume start but its size is unusable
  std::uint64_t sizeBytes = 0;
  std::string statusText;        // "found NTFS %d..." keeps its %d for the caller's count
  const char* sizeFormat = "";   // printf format of the size in MiB
  std::int64_t startOffset = 0;  // sectors from this sector back to the volume's first sector
  std::uint64_t sectors = 0;     // the volume's length: the search may go on behind it
};

// The sector search's test of one 512-byte sector for an NTFS, FAT, exFAT or HFS+ volume
// start (an HFS+ volume header sits two sectors into its volume).
std::optional<VolumeStart> testVolumeStart(std::span<const std::byte> sector);

// The probes that name partitions of type 0x07 and GPT partitions.
bool isExfatBootSector(std::span<const std::byte> sector);
bool isHfsPlusHeader(std::span<const std::byte> sector);  // the sector 2 sectors into the volume

// The FAT family test of a boot sector: FAT32, FAT16 or FAT12 with its size, or nullopt.
struct FatVolume {
  std::string fileSystem;
  std::uint64_t sizeBytes = 0;
};
bool hasFatJump(std::span<const std::byte> sector);
std::optional<FatVolume> fatVolume(std::span<const std::byte> sector);

}  // namespace talvix
