#include "disk/VmdkReader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

#include "util/ByteReader.h"
#include "util/Text.h"

namespace talvix {
namespace {

constexpr std::uint64_t kInfinite = std::numeric_limits<std::uint64_t>::max();
// Bounds on header values. VMware's largest sparse extent is 2 TiB with 64 KiB grains and
// 512-entry tables; the bounds leave ample room for other writers while keeping every table
// and grain buffer small and every byte offset far from 64-bit overflow.
constexpr std::uint64_t kMaxCapacitySectors = std::uint64_t{1} << 40;  // 512 TiB
constexpr std::uint64_t kMaxGrainSectors = std::uint64_t{1} << 14;     // 8 MiB grains
constexpr std::uint64_t kMaxGtesPerGt = std::uint64_t{1} << 14;        // 64 KiB tables
// Grain tables kept in memory at once; a whole 2 TiB disk needs 1024 of 512 entries.
constexpr std::size_t kMaxCachedTables = 4096;
// A compressed grain's marker: its first guest sector (8 bytes) and the data's length (4).
constexpr std::uint64_t kGrainMarkerBytes = 12;

}  // namespace

void FileReadSeekVmdk::setExtent(const VmdkExtent& extent) {
  assignedExtent_ = extent;
  extentType = extent.extentType;
}

bool FileReadSeekVmdk::open(const std::filesystem::path& path) {
  if (!file_.open(path)) return fail(systemErrorText(file_.error()));
  fileLength_ = file_.length();

  std::array<std::byte, kSectorBytes> sector{};
  if (!file_.readAt(0, sector)) return failSystem("cannot read the file", file_.error());
  if (auto header = VmdkSparseHeader::decode(sector)) return openSparse(*header);

  // Flat extent: the file's bytes are the guest's sectors.
  const auto fileSectors = static_cast<std::uint64_t>(fileLength_) / kSectorBytes;
  if (assignedExtent_) {
    extents_ = {*assignedExtent_};
    flatDataOffset_ = std::min(assignedExtent_->offset, kMaxCapacitySectors) * kSectorBytes;
    extentSectors_ = assignedExtent_->sectorCount;
  } else {
    extents_ = {VmdkExtent{}};
  }
  if (extentSectors_ == 0)
    extentSectors_ = fileSectors - std::min(fileSectors, flatDataOffset_ / kSectorBytes);
  diskSectors_ = extentSectors_;
  return true;
}

bool FileReadSeekVmdk::openSparse(VmdkSparseHeader header) {
  if (header.gdOffset == VmdkSparseHeader::kGdAtEnd) {
    // streamOptimized files written in one pass keep the real header in a footer: the
    // footer marker's sector, the footer (a copy of the header), the end-of-stream marker.
    std::array<std::byte, kSectorBytes> footer{};
    if (fileLength_ >= 3 * static_cast<std::int64_t>(kSectorBytes) &&
        file_.readAt(static_cast<std::uint64_t>(fileLength_) - 2 * kSectorBytes, footer)) {
      if (auto real = VmdkSparseHeader::decode(footer)) header = *real;
    }
  }
  if (header.capacity > kMaxCapacitySectors)
    return fail("the sparse header gives an impossible capacity of " +
                std::to_string(header.capacity) + " sectors");
  if (header.grainSize == 0 || header.grainSize > kMaxGrainSectors)
    return fail("the sparse header gives an impossible grain size of " +
                std::to_string(header.grainSize) + " sectors");
  if (header.numGTEsPerGT == 0 || header.numGTEsPerGT > kMaxGtesPerGt)
    return fail("the sparse header gives an impossible grain table size of " +
                std::to_string(header.numGTEsPerGT) + " entries");
  header_ = header;
  grainBytes_ = header.grainSize * kSectorBytes;
  gtesPerGt_ = header.numGTEsPerGT;
  const std::uint64_t sectorsPerGt = header.grainSize * gtesPerGt_;
  gdEntryCount_ = header.capacity / sectorsPerGt + (header.capacity % sectorsPerGt ? 1 : 0);

  // Embedded descriptor: both its offset and size lie strictly inside the capacity.
  const std::uint64_t capacityBytes = header.capacity * kSectorBytes;
  const std::uint64_t descriptorBytes = header.descriptorSize * kSectorBytes;
  if (header.descriptorOffset > 0 && header.descriptorSize > 0 &&
      header.descriptorOffset < header.capacity && header.descriptorSize < header.capacity &&
      descriptorBytes < capacityBytes &&
      descriptorBytes <= static_cast<std::uint64_t>(fileLength_)) {
    std::string text(static_cast<std::size_t>(descriptorBytes), '\0');
    if (!file_.readAt(header.descriptorOffset * kSectorBytes,
                      std::as_writable_bytes(std::span(text))))
      return failSystem("cannot read the embedded descriptor", file_.error());
    // Extents of a split set keep an empty area where a single-file disk has its descriptor.
    if (const auto embedded = descriptorText(text); !embedded.empty()) {
      descriptor_ = parseEmbeddedDescriptor(embedded);
      descriptorRefused_ = !descriptor_.has_value();
    }
  }

  if (!loadGrainDirectory()) return false;

  if (assignedExtent_) {
    extents_ = {*assignedExtent_};
  } else if (descriptor_) {
    extents_ = descriptor_->extents;
    if (!extents_.empty()) extentType = extents_.back().extentType;
  }
  // The grain directory alone locates every grain, so the data stays readable when the
  // descriptor is missing, damaged or names another file (a renamed disk).
  extentSectors_ = header.capacity;
  const std::uint64_t listed = (descriptor_ && !assignedExtent_) ? descriptor_->extentSectors() : 0;
  diskSectors_ = listed > 0 ? listed : header.capacity;
  return true;
}

bool FileReadSeekVmdk::loadGrainDirectory() {
  std::uint64_t gdSector = header_->rgdOffset;
  if (gdSector == 0 || gdSector == VmdkSparseHeader::kGdAtEnd) gdSector = header_->gdOffset;
  if (gdSector == 0 || gdSector == VmdkSparseHeader::kGdAtEnd || gdSector > kMaxCapacitySectors)
    return true;  // no directory: every grain reads as zeros
  const std::uint64_t gdByteOffset = gdSector * kSectorBytes;
  const auto fileBytes = static_cast<std::uint64_t>(fileLength_);
  if (gdByteOffset >= fileBytes) return true;
  // Only entries that lie inside the file can exist; the rest read as unallocated.
  const std::uint64_t present = std::min(gdEntryCount_, (fileBytes - gdByteOffset) / 4);
  std::vector<std::byte> raw(static_cast<std::size_t>(present * 4));
  if (!file_.readAt(gdByteOffset, raw))
    return failSystem("cannot read the grain directory", file_.error());
  grainDirectory_.resize(static_cast<std::size_t>(present));
  for (std::size_t i = 0; i < grainDirectory_.size(); ++i)
    grainDirectory_[i] = tableEntryLe32(raw, i);
  return true;
}

const std::vector<std::uint32_t>* FileReadSeekVmdk::grainTable(std::uint64_t directoryIndex) {
  if (auto it = grainTables_.find(directoryIndex); it != grainTables_.end()) return &it->second;
  const auto tableSector = static_cast<std::int32_t>(grainDirectory_[directoryIndex]);
  if (tableSector <= 0) return nullptr;
  std::vector<std::byte> raw(static_cast<std::size_t>(gtesPerGt_ * 4));
  if (!file_.readAt(static_cast<std::uint64_t>(tableSector) * kSectorBytes, raw)) return nullptr;
  if (grainTables_.size() >= kMaxCachedTables) grainTables_.clear();
  auto& table = grainTables_[directoryIndex];
  table.resize(static_cast<std::size_t>(gtesPerGt_));
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = tableEntryLe32(raw, i);
  return &table;
}

readWriteInterface::Mapping FileReadSeekVmdk::mapAt(std::uint64_t diskOffset) {
  if (!header_) {
    const std::uint64_t extentBytes = extentSectors_ * kSectorBytes;
    if (diskOffset >= extentBytes) return {Mapping::Kind::zeros, 0, kInfinite};
    return {Mapping::Kind::stored, flatDataOffset_ + diskOffset, extentBytes - diskOffset};
  }
  if (diskOffset >= header_->capacity * kSectorBytes) return {Mapping::Kind::zeros, 0, kInfinite};
  const std::uint64_t grain = diskOffset / grainBytes_;
  const std::uint64_t inGrain = diskOffset % grainBytes_;
  const std::uint64_t directoryIndex = grain / gtesPerGt_;
  const std::uint64_t toCapacity = header_->capacity * kSectorBytes - diskOffset;
  const Mapping hole{Mapping::Kind::zeros, 0, std::min(grainBytes_ - inGrain, toCapacity)};
  if (directoryIndex >= grainDirectory_.size()) return hole;
  const auto* table = grainTable(directoryIndex);
  if (!table) return hole;
  // 0: never written; 1: a grain known to be zeros; negative: not a sector number.
  const auto entry = static_cast<std::int32_t>((*table)[grain % gtesPerGt_]);
  if (entry <= 1) return hole;
  const std::uint64_t grainOffset = static_cast<std::uint64_t>(entry) * kSectorBytes;
  if (header_->compressedGrains()) return {Mapping::Kind::compressed, grainOffset, hole.length};
  return {Mapping::Kind::stored, grainOffset + inGrain, hole.length};
}

bool FileReadSeekVmdk::readCompressed(const Mapping& mapping, std::uint64_t diskOffset,
                                      std::span<std::byte> out) {
  const std::uint64_t grain = diskOffset / grainBytes_;
  if (grain != cachedGrain_) {
    grainBuffer_.assign(static_cast<std::size_t>(grainBytes_), std::byte{0});
    cachedGrain_ = ~std::uint64_t{0};  // set again once the grain is in the buffer
    std::array<std::byte, kGrainMarkerBytes> marker{};
    if (!file_.readAt(mapping.fileOffset, marker)) return false;
    // Deflate can grow incompressible data slightly; anything far beyond a grain is damage.
    const std::uint64_t dataBytes =
        std::min<std::uint64_t>(ByteReader(marker).u32le(8), 2 * grainBytes_ + 4096);
    compressedBuffer_.resize(static_cast<std::size_t>(dataBytes));
    if (!file_.readAt(mapping.fileOffset + kGrainMarkerBytes, compressedBuffer_)) return false;
    // A damaged grain keeps what inflated before the damage; the rest reads as zeros.
    uLongf produced = static_cast<uLongf>(grainBuffer_.size());
    uLong consumed = static_cast<uLong>(compressedBuffer_.size());
    uncompress2(reinterpret_cast<Bytef*>(grainBuffer_.data()), &produced,
                reinterpret_cast<const Bytef*>(compressedBuffer_.data()), &consumed);
    cachedGrain_ = grain;
  }
  const auto inGrain = static_cast<std::size_t>(diskOffset % grainBytes_);
  std::copy_n(grainBuffer_.begin() + static_cast<std::ptrdiff_t>(inGrain), out.size(), out.begin());
  return true;
}

DiskInfo FileReadSeekVmdk::info() const {
  DiskInfo info;
  info.sectors = diskSectors_;
  if (!header_) {
    info.kind = "VMDK flat extent (raw sectors)";
    return info;
  }
  info.kind =
      header_->compressedGrains() ? "VMDK sparse extent, compressed grains" : "VMDK sparse extent";
  info.formatVersion = std::to_string(header_->version);
  if (descriptor_) {
    if (!descriptor_->createType.empty()) info.kind += " (" + descriptor_->createType + ")";
    if (auto v = trimmed(descriptor_->version); !v.empty()) info.formatVersion = v;
    info.cylinders = descriptor_->cylinders;
    info.heads = descriptor_->heads;
    info.sectorsPerTrack = descriptor_->sectorsPerTrack;
    for (const auto& e : descriptor_->extents)
      info.extents.push_back({e.fileName, e.extentType, e.sectorCount, {}});
  } else {
    info.kind +=
        descriptorRefused_ ? " (embedded descriptor damaged)" : " (no embedded descriptor)";
  }
  return info;
}

}  // namespace talvix
