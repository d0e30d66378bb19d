#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fs/ntfs/NtfsBootSector.h"

namespace talvix::ntfs {

// The record size when the boot sector cannot tell it.
inline constexpr std::size_t kDefaultRecordBytes = 1024;
// The stride of the update sequence: the last two bytes of every 512 bytes of a record are
// saved in the update sequence array, whatever the volume's sector size.
inline constexpr std::size_t kFixupStride = 512;

inline constexpr std::uint32_t kAttrStandardInformation = 0x10;
inline constexpr std::uint32_t kAttrAttributeList = 0x20;
inline constexpr std::uint32_t kAttrFileName = 0x30;
inline constexpr std::uint32_t kAttrData = 0x80;
inline constexpr std::uint32_t kAttrEnd = 0xFFFFFFFF;

inline constexpr std::uint16_t kRecordInUse = 0x0001;
inline constexpr std::uint16_t kRecordIsDirectory = 0x0002;

// The header of an MFT record ("FILE"), as stored.
struct RecordHeader {
  Verdict verdict = Verdict::notThisStructure;
  std::uint16_t updateSequenceOffset = 0;
  std::uint16_t updateSequenceCount = 0;  // entries, the sequence number included
  std::uint64_t logSequenceNumber = 0;
  std::uint16_t sequenceNumber = 0;
  std::uint16_t linkCount = 0;
  std::uint16_t firstAttributeOffset = 0;
  std::uint16_t flags = 0;  // kRecordInUse, kRecordIsDirectory
  std::uint32_t usedBytes = 0;
  std::uint32_t allocatedBytes = 0;
  std::uint64_t baseRecord = 0;  // record number (low 48 bits) of the base record; 0 = is base
  std::uint16_t baseSequence = 0;
  std::uint16_t nextAttributeId = 0;
};

// Decodes the header of `record`. notThisStructure without "FILE"; corrupt when the first
// attribute offset lies outside the record.
RecordHeader decodeRecordHeader(std::span<const std::byte> record);

struct FixupResult {
  Verdict verdict = Verdict::notThisStructure;
  // Sectors whose last two bytes did not hold the update sequence number: a write that was
  // torn. Their bytes are restored anyway; the caller decides whether to trust them.
  unsigned tornSectors = 0;
};

// Restores, in place, the last two bytes of every 512 bytes of `record` from the update
// sequence array. The record's size must be a multiple of 512 and the array must have one
// entry per 512 bytes plus the sequence number, inside the first 510 bytes; otherwise the
// record is left as it is and the verdict is corrupt.
FixupResult applyFixups(std::span<std::byte> record);

// One attribute header of a record, decoded; offsets are bytes from the record's start.
struct Attribute {
  std::size_t recordOffset = 0;
  std::uint32_t type = 0;
  std::uint32_t length = 0;
  bool nonResident = false;
  std::uint8_t nameLength = 0;   // UTF-16 units
  std::uint16_t nameOffset = 0;  // from the attribute's start
  std::uint16_t flags = 0;       // 0x0001 compressed, 0x4000 encrypted, 0x8000 sparse
  std::uint16_t attributeId = 0;
  // Resident.
  std::uint32_t valueLength = 0;
  std::uint16_t valueOffset = 0;  // from the attribute's start
  // Non-resident.
  std::uint64_t firstVcn = 0;
  std::uint64_t lastVcn = 0;
  std::uint16_t runListOffset = 0;    // from the attribute's start
  std::uint16_t compressionUnit = 0;  // log2 of the clusters of a compression unit
  std::uint64_t allocatedSize = 0;
  std::uint64_t realSize = 0;
  std::uint64_t initializedSize = 0;
  // Clusters' bytes actually stored (compressed or sparse attributes, whose header is 72 bytes);
  // 0 when the header has no such field.
  std::uint64_t compressedSize = 0;
  // The name, value or run list lies inside the attribute (and a non-resident attribute's VCN
  // range is ordered). An attribute that is not sound is listed, but none of its parts is used.
  bool sound = false;
};

inline constexpr std::uint16_t kAttrFlagCompressed = 0x0001;
inline constexpr std::uint16_t kAttrFlagEncrypted = 0x4000;
inline constexpr std::uint16_t kAttrFlagSparse = 0x8000;

struct AttributeWalk {
  std::vector<Attribute> attributes;
  // The walk met the end marker; false when it stopped at the record's end or at a length that
  // was too short or ran past the record (damage).
  bool endMarker = false;
};

// The attributes of a record, from the header's first attribute offset, in record order.
AttributeWalk walkAttributes(std::span<const std::byte> record);

// The parts of a sound attribute inside its record; empty when absent or not sound.
std::span<const std::byte> attributeName(std::span<const std::byte> record, const Attribute& a);
std::span<const std::byte> residentValue(std::span<const std::byte> record, const Attribute& a);
std::span<const std::byte> runListBytes(std::span<const std::byte> record, const Attribute& a);

}  // namespace talvix::ntfs
