#include "fs/ntfs/MftRecord.h"

#include "util/ByteReader.h"

namespace talvix::ntfs {
namespace {

// MFT record header (little-endian):
// | offset | size | meaning                                                     |
// |--------|------|-------------------------------------------------------------|
// | 0      | 4    | signature "FILE" ("BAAD" after a failed check by chkdsk)    |
// | 4      | 2    | update sequence array offset                                |
// | 6      | 2    | update sequence array count (1 + record bytes / 512)         |
// | 8      | 8    | $LogFile sequence number                                    |
// | 16     | 2    | sequence number (bumped when the record is reused)           |
// | 18     | 2    | hard link count                                             |
// | 20     | 2    | offset of the first attribute                               |
// | 22     | 2    | flags: 0x01 in use, 0x02 directory                           |
// | 24     | 4    | used bytes of the record                                    |
// | 28     | 4    | allocated bytes of the record                               |
// | 32     | 8    | base record reference (48-bit number, 16-bit sequence)       |
// | 40     | 2    | next attribute id                                           |
// | 44     | 4    | this record's number (NTFS 3.1 only)                         |
constexpr std::size_t kRecordHeaderBytes = 42;

// Attribute header, common part:
// | 0  | 4 | type (0xFFFFFFFF ends the list) | 9  | 1 | name length (UTF-16 units)  |
// | 4  | 4 | length of the attribute         | 10 | 2 | name offset                 |
// | 8  | 1 | non-resident flag               | 12 | 2 | flags                       |
// |    |   |                                 | 14 | 2 | attribute id                |
// Resident part:
// | 16 | 4 | value length | 20 | 2 | value offset | 22 | 1 | indexed flag |
// Non-resident part:
// | 16 | 8 | first VCN         | 34 | 2 | compression unit (log2 clusters) |
// | 24 | 8 | last VCN          | 40 | 8 | allocated size                   |
// | 32 | 2 | run list offset   | 48 | 8 | real size                        |
// |    |   |                   | 56 | 8 | initialized size                 |
// | 64 | 8 | compressed size: only when compressed or sparse, run list offset >= 72 |
constexpr std::size_t kResidentHeaderBytes = 24;
constexpr std::size_t kNonResidentHeaderBytes = 64;
constexpr std::size_t kCompressedHeaderBytes = 72;

bool inside(std::size_t offset, std::size_t count, std::size_t size) {
  return offset <= size && count <= size - offset;
}

}  // namespace

RecordHeader decodeRecordHeader(std::span<const std::byte> record) {
  ByteReader r(record);
  RecordHeader h;
  if (r.text(0, 4) != "FILE" || !r.ok()) return h;
  h.updateSequenceOffset = r.u16le(4);
  h.updateSequenceCount = r.u16le(6);
  h.logSequenceNumber = r.u64le(8);
  h.sequenceNumber = r.u16le(16);
  h.linkCount = r.u16le(18);
  h.firstAttributeOffset = r.u16le(20);
  h.flags = r.u16le(22);
  h.usedBytes = r.u32le(24);
  h.allocatedBytes = r.u32le(28);
  const std::uint64_t base = r.u64le(32);
  h.baseRecord = base & 0xFFFF'FFFF'FFFFu;
  h.baseSequence = static_cast<std::uint16_t>(base >> 48);
  h.nextAttributeId = r.u16le(40);
  const bool attributesInside =
      h.firstAttributeOffset >= kRecordHeaderBytes && h.firstAttributeOffset < record.size();
  h.verdict = r.ok() && attributesInside ? Verdict::valid : Verdict::corrupt;
  return h;
}

FixupResult applyFixups(std::span<std::byte> record) {
  FixupResult result;
  ByteReader r(record);
  if (r.text(0, 4) != "FILE" || !r.ok()) return result;
  result.verdict = Verdict::corrupt;
  const std::size_t arrayOffset = r.u16le(4);
  const std::size_t count = r.u16le(6);
  const std::size_t strides = record.size() / kFixupStride;
  if (!r.ok() || record.size() % kFixupStride != 0 || count != strides + 1) return result;
  // The array must not reach the first saved bytes (510..511), which it would overwrite.
  if (arrayOffset < 8 || arrayOffset % 2 != 0 || !inside(arrayOffset, 2 * count, 510)) {
    return result;
  }
  const std::byte* usn = record.data() + arrayOffset;
  for (std::size_t k = 1; k <= strides; ++k) {
    std::byte* tail = record.data() + k * kFixupStride - 2;
    const std::byte* saved = usn + 2 * k;
    if (tail[0] != usn[0] || tail[1] != usn[1]) ++result.tornSectors;
    tail[0] = saved[0];
    tail[1] = saved[1];
  }
  result.verdict = Verdict::valid;
  return result;
}

AttributeWalk walkAttributes(std::span<const std::byte> record) {
  AttributeWalk walk;
  const RecordHeader header = decodeRecordHeader(record);
  if (header.verdict != Verdict::valid) return walk;
  std::size_t offset = header.firstAttributeOffset;
  // Each step moves on by at least a resident header's 24 bytes inside the record, so the walk
  // ends after at most record size / 24 attributes.
  while (inside(offset, 4, record.size())) {
    ByteReader r(record.subspan(offset));
    Attribute a;
    a.recordOffset = offset;
    a.type = r.u32le(0);
    if (a.type == kAttrEnd) {
      walk.endMarker = true;
      break;
    }
    a.length = r.u32le(4);
    if (!r.ok() || a.length < kResidentHeaderBytes || a.length > record.size() - offset) break;
    ByteReader ar(record.subspan(offset, a.length));
    a.nonResident = ar.u8(8) != 0;
    a.nameLength = ar.u8(9);
    a.nameOffset = ar.u16le(10);
    a.flags = ar.u16le(12);
    a.attributeId = ar.u16le(14);
    bool partsInside = true;
    if (a.nonResident) {
      a.firstVcn = ar.u64le(16);
      a.lastVcn = ar.u64le(24);
      a.runListOffset = ar.u16le(32);
      a.compressionUnit = ar.u16le(34);
      a.allocatedSize = ar.u64le(40);
      a.realSize = ar.u64le(48);
      a.initializedSize = ar.u64le(56);
      if ((a.flags & (kAttrFlagCompressed | kAttrFlagSparse)) != 0 &&
          a.runListOffset >= kCompressedHeaderBytes && a.length >= kCompressedHeaderBytes) {
        a.compressedSize = ar.u64le(64);
      }
      // An empty attribute (no clusters) has last VCN = first VCN - 1.
      partsInside = a.length >= kNonResidentHeaderBytes &&
                    a.runListOffset >= kNonResidentHeaderBytes && a.runListOffset <= a.length &&
                    (a.lastVcn >= a.firstVcn || a.lastVcn + 1 == a.firstVcn);
    } else {
      a.valueLength = ar.u32le(16);
      a.valueOffset = ar.u16le(20);
      partsInside =
          a.valueOffset >= kResidentHeaderBytes && inside(a.valueOffset, a.valueLength, a.length);
    }
    if (a.nameLength != 0) {
      partsInside = partsInside && inside(a.nameOffset, 2 * std::size_t{a.nameLength}, a.length);
    }
    a.sound = ar.ok() && partsInside;
    walk.attributes.push_back(a);
    offset += a.length;
  }
  return walk;
}

// `count` bytes at `offset` of the attribute, checked again against the record given (which
// may not be the one that was walked).
std::span<const std::byte> part(std::span<const std::byte> record, const Attribute& a,
                                std::size_t offset, std::size_t count) {
  if (!inside(a.recordOffset, a.length, record.size()) || !inside(offset, count, a.length)) {
    return {};
  }
  return record.subspan(a.recordOffset + offset, count);
}

std::span<const std::byte> attributeName(std::span<const std::byte> record, const Attribute& a) {
  if (!a.sound || a.nameLength == 0) return {};
  return part(record, a, a.nameOffset, 2 * std::size_t{a.nameLength});
}

std::span<const std::byte> residentValue(std::span<const std::byte> record, const Attribute& a) {
  if (!a.sound || a.nonResident) return {};
  return part(record, a, a.valueOffset, a.valueLength);
}

std::span<const std::byte> runListBytes(std::span<const std::byte> record, const Attribute& a) {
  if (!a.sound || !a.nonResident) return {};
  return part(record, a, a.runListOffset, a.length - a.runListOffset);
}

}  // namespace talvix::ntfs
