#include "disk/VhdReader.h"

#include <algorithm>
#include <array>
#include <limits>

#include "util/ByteReader.h"
#include "util/Text.h"

namespace talvix {
namespace {

constexpr std::uint64_t kInfinite = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint32_t kUnallocated = 0xFFFFFFFF;
// VDI marks a block that reads as zeros without being stored with this entry.
constexpr std::uint32_t kVdiZeroBlock = 0xFFFFFFFE;
// Blocks larger than this are not written by any known tool (VHD: 2 MiB, VDI: 1 MiB), and
// the bound keeps every block offset far from 64-bit overflow.
constexpr std::uint64_t kMaxBlockBytes = std::uint64_t{1} << 30;

// Entries of a table of big- or little-endian 32-bit values at `offset`: as many of `count` as
// the file holds; the rest read as unallocated.
bool readTable(ContainerFile& file, std::uint64_t offset, std::uint64_t count, bool bigEndian,
               std::vector<std::uint32_t>& table) {
  const auto fileBytes = static_cast<std::uint64_t>(file.length());
  const std::uint64_t present = offset < fileBytes ? std::min(count, (fileBytes - offset) / 4) : 0;
  std::vector<std::byte> raw(static_cast<std::size_t>(present * 4));
  if (!file.readAt(offset, raw)) return false;
  table.assign(static_cast<std::size_t>(present), kUnallocated);
  ByteReader r(raw);
  for (std::size_t i = 0; i < table.size(); ++i)
    table[i] = bigEndian ? r.u32be(i * 4) : r.u32le(i * 4);
  return true;
}

}  // namespace

// Footer (512 bytes at the end of the file; dynamic disks keep a copy at offset 0):
// | 0  | 8 | cookie "conectix"   | 40 | 8 | original size (bytes)    |
// | 12 | 4 | file format version | 48 | 8 | current size (bytes)     |
// | 16 | 8 | dynamic header offset | 56 | 2+1+1 | cylinders, heads, sectors per track |
// | 60 | 4 | disk type: 2 fixed, 3 dynamic, 4 differencing |
bool FileReadSeekVHD::readFooter(std::uint64_t offset, Footer& footer) {
  std::array<std::byte, kSectorBytes> raw{};
  if (!file_.readAt(offset, raw)) return false;
  ByteReader r(raw);
  if (r.text(0, 8) != "conectix") return false;
  footer.version = r.u32be(12);
  footer.dataOffset = r.u64be(16);
  footer.originalSize = r.u64be(40);
  footer.currentSize = r.u64be(48);
  footer.cylinders = r.u16be(56);
  footer.heads = r.u8(58);
  footer.sectorsPerTrack = r.u8(59);
  footer.diskType = r.u32be(60);
  return r.ok();
}

bool FileReadSeekVHD::open(const std::filesystem::path& path) {
  const std::string name = path.string();
  if (checkName && name.size() > 3 && !endsWithNoCase(name, "vhd"))
    return fail("not a vhd file", true);
  if (!file_.open(path)) return fail("invalid handle ...", true);
  fileLength_ = file_.length();
  const auto fileBytes = static_cast<std::uint64_t>(fileLength_);
  // The footer at the end is authoritative; a dynamic disk's copy at offset 0 stands in for
  // a damaged or truncated end.
  const bool atEnd = fileBytes >= kSectorBytes && readFooter(fileBytes - kSectorBytes, footer_);
  if (!atEnd && !readFooter(0, footer_)) return fail("no VHD footer (\"conectix\") was found");
  if (footer_.diskType == kDifferencing)
    return fail("a differencing VHD holds only the changes to its parent disk; open the parent");
  if (footer_.diskType != kFixed && footer_.diskType != kDynamic)
    return fail("unknown VHD disk type " + std::to_string(footer_.diskType));
  if (footer_.diskType == kDynamic && !openDynamic()) return false;
  diskSectors_ = footer_.currentSize / kSectorBytes;
  return true;
}

// Dynamic header (1024 bytes at the footer's data offset, normally 512):
// | 0 | 8 | cookie "cxsparse" | 16 | 8 | block table offset | 28 | 4 | max table entries |
// | 32 | 4 | block size (bytes) |
bool FileReadSeekVHD::openDynamic() {
  std::array<std::byte, 1024> raw{};
  if (footer_.dataOffset > static_cast<std::uint64_t>(fileLength_) ||
      !file_.readAt(footer_.dataOffset, raw))
    return fail("the VHD dynamic header lies outside the file");
  ByteReader r(raw);
  if (r.text(0, 8) != "cxsparse")
    return fail("the VHD dynamic header is damaged (no \"cxsparse\")");
  const std::uint64_t tableOffset = r.u64be(16);
  const std::uint32_t tableEntries = r.u32be(28);
  blockBytes_ = r.u32be(32);
  if (blockBytes_ == 0 || blockBytes_ % kSectorBytes != 0 || blockBytes_ > kMaxBlockBytes)
    return fail("the VHD dynamic header gives an impossible block size of " +
                std::to_string(blockBytes_));
  // Each block is led by a bitmap with one bit per sector, padded to whole sectors.
  const std::uint64_t blockSectors = blockBytes_ / kSectorBytes;
  bitmapBytes_ = (blockSectors / 8 + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
  if (!readTable(file_, tableOffset, tableEntries, true, blockTable_))
    return failSystem("cannot read the VHD block table", file_.error());
  return true;
}

bool FileReadSeekVHD::seekAllowed(std::uint64_t diskOffset) {
  if (footer_.diskType == kFixed) return true;
  return diskOffset / blockBytes_ < blockTable_.size();
}

readWriteInterface::Mapping FileReadSeekVHD::mapAt(std::uint64_t diskOffset) {
  if (diskOffset >= footer_.currentSize) return {Mapping::Kind::zeros, 0, kInfinite};
  const std::uint64_t toEnd = footer_.currentSize - diskOffset;
  if (footer_.diskType == kFixed) return {Mapping::Kind::stored, diskOffset, toEnd};
  const std::uint64_t block = diskOffset / blockBytes_;
  const std::uint64_t inBlock = diskOffset % blockBytes_;
  const std::uint64_t length = std::min(blockBytes_ - inBlock, toEnd);
  if (block >= blockTable_.size() || blockTable_[block] == kUnallocated)
    return {Mapping::Kind::zeros, 0, length};
  const std::uint64_t blockStart = std::uint64_t{blockTable_[block]} * kSectorBytes + bitmapBytes_;
  return {Mapping::Kind::stored, blockStart + inBlock, length};
}

DiskInfo FileReadSeekVHD::info() const {
  DiskInfo info;
  info.kind = footer_.diskType == kFixed ? "VHD fixed" : "VHD dynamic";
  info.formatVersion =
      std::to_string(footer_.version >> 16) + "." + std::to_string(footer_.version & 0xFFFF);
  info.sectors = diskSectors_;
  info.cylinders = std::to_string(footer_.cylinders);
  info.heads = std::to_string(footer_.heads);
  info.sectorsPerTrack = std::to_string(footer_.sectorsPerTrack);
  return info;
}

// Header (offsets from the start of the file):
// | 0x40  | 4 | signature 0xBEDA107F | 0x158 | 4 | data offset          |
// | 0x44  | 4 | version              | 0x15C | 4+4+4 | cylinders, heads, sectors |
// | 0x48  | 4 | header size          | 0x170 | 8 | disk size (bytes)    |
// | 0x154 | 4 | block map offset     | 0x178 | 4 | block size (bytes)   |
// | 0x17C | 4 | extra data per block | 0x180 | 4 | blocks               |
// | 0x184 | 4 | allocated blocks     |
bool FileReadSeekVdi::open(const std::filesystem::path& path) {
  if (!file_.open(path)) return fail("invalid handle ...", true);
  fileLength_ = file_.length();
  std::array<std::byte, 472> raw{};
  if (!file_.readAt(0, raw)) return failSystem("cannot read the VDI header", file_.error());
  ByteReader r(raw);
  version_ = r.u32le(0x44);
  const std::uint32_t headerSize = r.u32le(0x48);
  const std::uint32_t mapOffset = r.u32le(0x154);
  const std::uint32_t dataOffset = r.u32le(0x158);
  cylinders_ = r.u32le(0x15C);
  heads_ = r.u32le(0x160);
  sectors_ = r.u32le(0x164);
  diskBytes_ = r.u64le(0x170);
  blockBytes_ = r.u32le(0x178);
  const std::uint32_t extraBytes = r.u32le(0x17C);
  const std::uint32_t blocks = r.u32le(0x180);
  const std::uint32_t allocated = r.u32le(0x184);
  if (diskBytes_ == 0 || headerSize == 0 || allocated == 0 || blockBytes_ == 0)
    return fail("not a usable VDI header (a size or the allocated block count is 0)");
  if (blockBytes_ > kMaxBlockBytes || extraBytes > kMaxBlockBytes)
    return fail("the VDI header gives an impossible block size of " + std::to_string(blockBytes_));
  blockStride_ = blockBytes_ + extraBytes;
  blockDataStart_ = std::uint64_t{dataOffset} + extraBytes;
  if (!readTable(file_, mapOffset, blocks, false, blockMap_))
    return failSystem("cannot read the VDI block map", file_.error());
  diskSectors_ = diskBytes_ / kSectorBytes;
  return true;
}

bool FileReadSeekVdi::seekAllowed(std::uint64_t diskOffset) {
  return diskOffset / blockBytes_ < blockMap_.size();
}

readWriteInterface::Mapping FileReadSeekVdi::mapAt(std::uint64_t diskOffset) {
  if (diskOffset >= diskBytes_) return {Mapping::Kind::zeros, 0, kInfinite};
  const std::uint64_t block = diskOffset / blockBytes_;
  const std::uint64_t inBlock = diskOffset % blockBytes_;
  const std::uint64_t length = std::min(blockBytes_ - inBlock, diskBytes_ - diskOffset);
  if (block >= blockMap_.size() || blockMap_[block] >= kVdiZeroBlock)
    return {Mapping::Kind::zeros, 0, length};
  return {Mapping::Kind::stored, blockMap_[block] * blockStride_ + blockDataStart_ + inBlock,
          length};
}

DiskInfo FileReadSeekVdi::info() const {
  DiskInfo info;
  info.kind = "VDI";
  info.formatVersion = std::to_string(version_ >> 16) + "." + std::to_string(version_ & 0xFFFF);
  info.sectors = diskSectors_;
  info.cylinders = std::to_string(cylinders_);
  info.heads = std::to_string(heads_);
  info.sectorsPerTrack = std::to_string(sectors_);
  return info;
}

}  // namespace talvix
