#include "volumes/Partition.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <vector>

#include "util/ByteReader.h"
#include "volumes/BootSector.h"

namespace talvix {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kSectorsPerMiB = 2048;
// Sector numbers beyond this are damage: no disk is that large, and x 512 stays in range.
constexpr std::uint64_t kMaxSector = std::uint64_t{1} << 54;

// GPT: the entry array is read as 80 entries of 128 bytes; at most 72 of them are used.
constexpr std::size_t kGptEntryBytes = 128;
constexpr std::size_t kGptEntriesRead = 80;
constexpr std::size_t kGptEntriesUsed = 72;
// Extended boot records followed at most, so that a chain that loops ends.
constexpr int kMaxExtendedRecords = 50;
constexpr std::uint64_t kChunkBytes = kMiB;
constexpr std::uint64_t kChunkSectors = kChunkBytes / 512;

bool isExtended(std::uint8_t type) {
  return type == 0x05 || type == 0x0F;
}

std::string format(const char* pattern, unsigned long long value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

// A GPT partition name: up to 36 UTF-16LE code units, ending at the first NUL.
std::string gptName(ByteReader& entry) {
  std::u16string units;
  for (std::size_t i = 0; i < 36; ++i) {
    const char16_t unit = entry.u16le(56 + 2 * i);
    if (unit == 0) break;
    units.push_back(unit);
  }
  std::string utf8;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
    else if (cp >= 0xD800 && cp <= 0xDFFF)
      cp = 0xFFFD;
    if (cp < 0x80) {
      utf8 += static_cast<char>(cp);
    } else if (cp < 0x800) {
      utf8 += static_cast<char>(0xC0 | (cp >> 6));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (cp >> 12));
      utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (cp >> 18));
      utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return utf8;
}

}  // namespace

std::uint64_t sizeTextMegabytes(const std::string& sizeText) {
  std::uint64_t value = 0;
  std::size_t i = sizeText.find_first_not_of(' ');
  for (; i < sizeText.size() && sizeText[i] >= '0' && sizeText[i] <= '9' && value < kMaxSector; ++i)
    value = value * 10 + static_cast<std::uint64_t>(sizeText[i] - '0');
  return value;
}

bool Partition::readAt(std::uint64_t byteOffset, std::span<std::byte> out) {
  reader_.volumeBase = 0;
  errno = 0;
  if (byteOffset > kMaxSector * 512 || !reader_.seek(static_cast<std::int64_t>(byteOffset)) ||
      !reader_.read(out.data(), out.size())) {
    lastError_ = errno ? errno : EIO;
    return false;
  }
  return true;
}

void Partition::found(Volume volume) {
  volume.volumeName = std::to_string(recordNumber_++);
  found_.volumeFound(volume);
}

int Partition::standardScan() {
  std::array<std::byte, 1024> head{};
  if (!readAt(0, head)) return lastError_;
  return gptMode ? gptScan(std::span(head).subspan(512)) : mbrScan(head);
}

// GPT header (second sector): | 72 | 8 | first sector of the entry array |
// Entry (128 bytes): | 0 | 16 | type GUID | 32 | 8 | first sector | 40 | 8 | last sector |
//                    | 56 | 72 | name, UTF-16LE |
int Partition::gptScan(std::span<const std::byte> headerSector) {
  const std::uint64_t arraySector = ByteReader(headerSector).u64le(72);
  std::vector<std::byte> array(kGptEntriesRead * kGptEntryBytes);
  if (arraySector > kMaxSector || !readAt(arraySector * 512, array))
    return arraySector > kMaxSector ? 0 : lastError_;

  struct Entry {
    std::uint64_t first, last;
    std::string name;
  };
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < kGptEntriesUsed; ++i) {
    ByteReader e(std::span<const std::byte>(array).subspan(i * kGptEntryBytes, kGptEntryBytes));
    const std::uint64_t first = e.u64le(32);
    bool typeHas0x30 = false;
    for (std::size_t b = 0; b < 4; ++b) typeHas0x30 |= e.u8(b) == 0x30;
    if (first <= 2 || typeHas0x30) break;
    entries.push_back({first, e.u64le(40), gptName(e)});
  }

  std::array<std::byte, 512> boot{};
  for (const auto& entry : entries) {
    if (entry.name == "Microsoft reserved partition") continue;
    if (entry.first > kMaxSector) continue;  // damage: no volume there
    if (!readAt(entry.first * 512, boot)) return lastError_;
    ByteReader r(boot);
    const auto start = static_cast<std::int64_t>(entry.first);
    if (r.u8(0) == 0xEB && r.u8(1) == 0x52 && r.u16le(11) == 512) {
      const std::uint64_t megabytes = std::min(r.u64le(40), kMaxSector) / kSectorsPerMiB;
      if (megabytes >= 1) {
        status(format("found NTFS %d...", static_cast<unsigned long long>(++ntfsCount_)));
        found({"NTFS", "", "", format("%llu   MB", megabytes), start});
      }
    } else if (auto fat = fatVolume(boot); fat || isExfatBootSector(boot)) {
      if (!fat) fat = FatVolume{"FAT64", std::min(r.u64le(72), kMaxSector) * 512};
      status(fat->fileSystem == "FAT32"   ? "found FAT 32..."
             : fat->fileSystem == "FAT16" ? "found FAT 16..."
             : fat->fileSystem == "FAT12" ? "found FAT 12..."
             : fat->fileSystem == "FAT64" ? "found FAT 64..."
                                          : "found unknown...");
      if (fat->sizeBytes / kMiB >= 1)
        found({fat->fileSystem, "", "", format("%llu  MB", fat->sizeBytes / kMiB), start});
    } else {
      std::array<std::byte, 512> header{};
      const bool hfs = readAt((entry.first + 2) * 512, header) && isHfsPlusHeader(header);
      const std::uint64_t sectors = entry.last > entry.first ? entry.last - entry.first : 0;
      found({hfs ? "HFS+" : entry.name, "", "", format("%llu", sectors / kSectorsPerMiB), start});
      continue;
    }
    if (stopRequested) break;
  }
  return 0;
}

void Partition::addTableVolume(std::uint8_t type, std::uint64_t start, std::uint64_t sectors,
                               bool logical) {
  std::string fileSystem = "Unknown";
  std::string statusText = "found UNKNOWN...";
  switch (type) {
    case 0x01:
      fileSystem = "FAT12";
      statusText.clear();
      break;
    case 0x04:
    case 0x06:
    case 0x0E:
      fileSystem = "FAT16";
      statusText = "found FAT 16...";
      break;
    case 0x07: {
      std::array<std::byte, 512> boot{};
      if (readAt(start * 512, boot) && isExfatBootSector(boot)) {
        fileSystem = "FAT64";
        statusText = "found FAT64...";
      } else {
        fileSystem = "NTFS";
        ++ntfsCount_;
        statusText = logical
                         ? "found NTFS..."
                         : format("found NTFS %d...", static_cast<unsigned long long>(ntfsCount_));
      }
      break;
    }
    case 0x0B:
    case 0x0C:
      fileSystem = "FAT32";
      statusText = "found FAT 32...";
      break;
    case 0x42:
      if (!logical) {
        fileSystem = "NTFS";
        statusText = "NTFS...";
      }
      break;
    case 0x83:
      fileSystem = "extX";
      statusText = logical ? "found extx..." : "found ext2...";
      break;
    default:
      break;
  }
  if (!statusText.empty()) status(statusText);
  found({fileSystem, "", "", format("%llu   MB", sectors / kSectorsPerMiB),
         static_cast<std::int64_t>(start)});
}

// Partition table (MBR and every extended boot record): four 16-byte entries from byte 446:
// | 4 | 1 | type | 8 | 4 | first sector (relative) | 12 | 4 | sector count |
int Partition::mbrScan(std::span<const std::byte> mbr) {
  ByteReader table(mbr);
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t at = 446 + 16 * i;
    const std::uint8_t type = table.u8(at + 4);
    const std::uint64_t start = table.u32le(at + 8);
    // An empty entry, as a deleted partition leaves it, hides none of the entries after it.
    if (type == 0) continue;
    if (!isExtended(type)) {
      addTableVolume(type, start, table.u32le(at + 12), false);
      continue;
    }
    // Logical volumes: each extended boot record describes one, relative to itself, and
    // links to the next record relative to the extended partition's start.
    const std::uint64_t extendedBase = start;
    std::uint64_t record = extendedBase;
    for (int n = 0; n < kMaxExtendedRecords; ++n) {
      std::array<std::byte, 512> ebr{};
      if (!readAt(record * 512, ebr)) return lastError_;
      ByteReader links(ebr);
      std::optional<std::uint64_t> next;
      for (std::size_t j = 0; j < 4; ++j) {
        const std::size_t e = 446 + 16 * j;
        const std::uint8_t logicalType = links.u8(e + 4);
        const std::uint64_t relative = links.u32le(e + 8);
        if (logicalType == 0) continue;
        if (isExtended(logicalType)) {
          if (!next) next = extendedBase + relative;
          continue;
        }
        addTableVolume(logicalType, record + relative, links.u32le(e + 12), true);
      }
      if (!next || *next == record) break;
      record = *next;
    }
  }
  return 0;
}

int Partition::advancedScan(std::uint64_t diskSectors, ProgressTarget& progress,
                            VolumeScanView& view) {
  view.setFilterEntriesEnabled(false);
  status("Scanning partition.....");
  stopRequested = false;
  progress.setProgressRange(0, 1000);

  std::uint64_t current = customStartSector > 0 ? static_cast<std::uint64_t>(customStartSector) : 0;
  // The end is checked per chunk: the chunk that holds the end sector is tested to its end.
  const std::uint64_t endByte =
      customEndSector > 0 && static_cast<std::uint64_t>(customEndSector) <= kMaxSector
          ? static_cast<std::uint64_t>(customEndSector) * 512
          : ~std::uint64_t{0};
  std::vector<std::byte> chunk(kChunkBytes);
  bool stopped = false;
  while (current < diskSectors && current <= kMaxSector) {
    const std::uint64_t chunkByte = current * 512;
    if (!readAt(chunkByte, chunk)) return lastError_;
    if (endByte < chunkByte) break;
    std::uint64_t index = 0;
    for (; index < kChunkSectors; ++index) {
      if (stopRequested) {
        stopped = true;
        break;
      }
      const auto sector =
          std::span<const std::byte>(chunk).subspan(static_cast<std::size_t>(index) * 512, 512);
      const auto start = testVolumeStart(sector);
      if (!start) continue;
      std::string text = start->statusText;
      if (start->fileSystem == "NTFS")
        text = format("found NTFS %d...", static_cast<unsigned long long>(++ntfsCount_));
      status(text);
      const std::uint64_t megabytes = start->sizeBytes / kMiB;
      if (start->fileSystem.empty() || megabytes < 1) continue;
      const auto absolute = static_cast<std::int64_t>(current + index) + start->startOffset;
      found({start->fileSystem, "", "", format(start->sizeFormat, megabytes), absolute});
      // Go on with the first sector behind the volume, where the next one may start.
      const std::uint64_t behind = static_cast<std::uint64_t>(absolute) + start->sectors;
      if (skipVolumeSize && behind > current + index + 1) index = behind - current - 1;
    }
    if (stopped || stopRequested) {
      status("Scanned Partitions");
      break;
    }
    current += index;
    progress.setProgressPosition(static_cast<std::int64_t>(
        std::min<long double>(1000, static_cast<long double>(current) / diskSectors * 1000)));
  }
  view.setFilterEntriesEnabled(true);
  return 1;
}

}  // namespace talvix
