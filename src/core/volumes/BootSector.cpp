#include "volumes/BootSector.h"

#include <algorithm>
#include <bit>

#include "util/ByteReader.h"

namespace talvix {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
// FAT volumes with fewer clusters than this are FAT12.
constexpr std::uint64_t kFat12Clusters = 4085;
// HFS+ sizes the search accepts: 1 MiB up to 20 TiB.
constexpr std::uint64_t kMaxHfsPlusMegabytesLessOne = 0x13FFFFE;

// Boot sector fields of the FAT family (BIOS parameter block):
// | 11 | 2 | bytes per sector   | 17 | 2 | root entries (FAT12/16) | 22 | 2 | sectors per FAT
// (FAT12/16) | | 13 | 1 | sectors per cluster | 19 | 2 | total sectors (16-bit)  | 32 | 4 | total
// sectors (32-bit)     | | 14 | 2 | reserved sectors   | 21 | 1 | media descriptor        | 510 | 2
// | 0x55 0xAA                 | | 16 | 1 | number of FATs     |
bool plausibleFatParameters(ByteReader& r) {
  const std::uint16_t bytesPerSector = r.u16le(11);
  const std::uint8_t sectorsPerCluster = r.u8(13);
  const std::uint8_t fats = r.u8(16);
  const std::uint8_t media = r.u8(21);
  return r.ok() &&
         (bytesPerSector == 512 || bytesPerSector == 1024 || bytesPerSector == 2048 ||
          bytesPerSector == 4096) &&
         sectorsPerCluster != 0 && std::has_single_bit(sectorsPerCluster) && r.u16le(14) >= 1 &&
         (fats == 1 || fats == 2) && (media == 0xF0 || media >= 0xF8) && r.u16le(510) == 0xAA55;
}

std::string_view text4(ByteReader& r) {
  return r.text(3, 4);
}

// Bytes of a sector count read from disk; absurd counts are held below 64-bit overflow.
std::uint64_t sectorBytes(std::uint64_t sectors) {
  return std::min(sectors, std::uint64_t{1} << 54) * 512;
}

}  // namespace

bool hasFatJump(std::span<const std::byte> sector) {
  ByteReader r(sector);
  const std::uint8_t jump = r.u8(1);
  return r.u8(0) == 0xEB && (jump == 0x3C || jump == 0x58 || jump == 0x76) && r.ok();
}

bool isExfatBootSector(std::span<const std::byte> sector) {
  ByteReader r(sector);
  return hasFatJump(sector) && text4(r) == "EXFA";
}

bool isHfsPlusHeader(std::span<const std::byte> sector) {
  ByteReader r(sector);
  return r.text(0, 2) == "H+" && r.u8(2) == 0 && r.ok();
}

std::optional<FatVolume> fatVolume(std::span<const std::byte> sector) {
  if (!hasFatJump(sector)) return std::nullopt;
  ByteReader r(sector);
  // Microsoft's formatters write "MSDOS5.0" as the maker's name; other tools write their own
  // ("mkfs.fat", "MTOO4043"), so a sound parameter block is accepted too.
  const bool plausible = plausibleFatParameters(r);
  if (text4(r) != "MSDO" && !plausible) return std::nullopt;
  const std::uint16_t sectorsPerFat = r.u16le(22);
  const auto total16 = static_cast<std::int16_t>(r.u16le(19));
  const std::uint32_t total32 = r.u32le(32);
  if (sectorsPerFat == 0) return FatVolume{"FAT32", std::uint64_t{total32} * 512};
  if (!plausible && sectorsPerFat != 128 && sectorsPerFat != 200 && sectorsPerFat != 256)
    return FatVolume{};  // looks like FAT, but nothing says how large it is
  const std::uint64_t total = total16 > 0 ? static_cast<std::uint64_t>(total16) : total32;
  FatVolume fat{"FAT16", total * 512};
  if (plausible) {
    const std::uint64_t bytesPerSector = r.u16le(11);
    const std::uint64_t rootSectors =
        (std::uint64_t{r.u16le(17)} * 32 + bytesPerSector - 1) / bytesPerSector;
    const std::uint64_t metadata =
        r.u16le(14) + std::uint64_t{r.u8(16)} * sectorsPerFat + rootSectors;
    const std::uint64_t clusters = total > metadata ? (total - metadata) / r.u8(13) : 0;
    if (clusters < kFat12Clusters) fat.fileSystem = "FAT12";
  }
  return fat;
}

std::optional<VolumeStart> testVolumeStart(std::span<const std::byte> sector) {
  ByteReader r(sector);
  // NTFS counts the sectors of its volume but one: the backup boot sector in the last sector.
  if (r.u8(0) == 0xEB && r.u8(1) == 0x52 && text4(r) == "NTFS" && r.u16le(11) == 512) {
    const std::uint64_t size = sectorBytes(r.u64le(40));
    return VolumeStart{"NTFS", size, "found NTFS %d...", "%llu   MB", 0, size / 512 + 1};
  }
  if (auto fat = fatVolume(sector)) {
    if (fat->fileSystem.empty()) return VolumeStart{"", 0, "found unknown...", "", 0};
    const char* status = fat->fileSystem == "FAT32"   ? "found FAT 32..."
                         : fat->fileSystem == "FAT16" ? "found FAT 16..."
                                                      : "found FAT 12...";
    return VolumeStart{fat->fileSystem,     fat->sizeBytes, status, "%llu  MB", 0,
                       fat->sizeBytes / 512};
  }
  if (isExfatBootSector(sector)) {
    const std::uint64_t size = sectorBytes(r.u64le(72));
    return VolumeStart{"FAT64", size, "found FAT 64...", "%llu  MB", 0, size / 512};
  }
  if (isHfsPlusHeader(sector)) {
    const std::uint64_t size = std::uint64_t{r.u32be(40)} * r.u32be(44);
    const std::uint64_t megabytes = size / kMiB;
    if (megabytes == 0 || megabytes - 1 > kMaxHfsPlusMegabytesLessOne)
      return VolumeStart{"", 0, "found HFS+...", "", 0};
    return VolumeStart{"HFS+", size, "found HFS+...", "%llu  MB", -2, size / 512};
  }
  return std::nullopt;
}

}  // namespace talvix
