#pragma once

#include <algorithm>
#include <string_view>

#include "TestFiles.h"

namespace talvix::ntfs::test {

using talvix::test::Bytes;

// Builds an MFT record the way a writer lays it out: header, attributes, end marker, and the
// update sequence protecting the last two bytes of every 512 (protect()).
class RecordBuilder {
 public:
  static constexpr std::uint16_t kUsaOffset = 48;
  static constexpr std::uint16_t kFirstAttribute = 56;
  static constexpr std::uint16_t kSequenceNumber = 0x0102;

  explicit RecordBuilder(std::size_t recordBytes = 1024, std::uint16_t flags = 1)
      : bytes_(recordBytes) {
    talvix::test::putText(bytes_, 0, "FILE");
    talvix::test::putLe16(bytes_, 4, kUsaOffset);
    talvix::test::putLe16(bytes_, 6, static_cast<std::uint16_t>(recordBytes / 512 + 1));
    talvix::test::putLe16(bytes_, 16, 7);
    talvix::test::putLe16(bytes_, 18, 1);
    talvix::test::putLe16(bytes_, 20, kFirstAttribute);
    talvix::test::putLe16(bytes_, 22, flags);
    talvix::test::putLe32(bytes_, 28, static_cast<std::uint32_t>(recordBytes));
    talvix::test::putLe64(bytes_, 32, 0x0002'0000'0000'0040u);
    talvix::test::putLe16(bytes_, 40, 9);
  }

  // A resident attribute; returns its offset.
  std::size_t resident(std::uint32_t type, const Bytes& value, std::u16string_view name = {}) {
    const std::size_t nameOffset = 24;
    const std::size_t valueOffset = align(nameOffset + 2 * name.size());
    const std::size_t length = align(valueOffset + value.size());
    const std::size_t at = header(type, length, false, name, nameOffset);
    talvix::test::putLe32(bytes_, at + 16, static_cast<std::uint32_t>(value.size()));
    talvix::test::putLe16(bytes_, at + 20, static_cast<std::uint16_t>(valueOffset));
    std::copy(value.begin(), value.end(), bytes_.begin() + static_cast<long>(at + valueOffset));
    return at;
  }

  struct NonResident {
    std::uint64_t firstVcn = 0, lastVcn = 0;
    std::uint16_t compressionUnit = 0;
    std::uint64_t allocatedSize = 0, realSize = 0, initializedSize = 0;
    std::uint16_t flags = 0;
    std::uint64_t compressedSize = 0;  // written when flags say compressed or sparse
  };
  std::size_t nonResident(std::uint32_t type, const Bytes& runList, const NonResident& f,
                          std::u16string_view name = {}) {
    // Compressed and sparse attributes have a 72-byte header (compressed size at 64).
    const bool longHeader = (f.flags & 0x8001) != 0;
    const std::size_t nameOffset = longHeader ? 72 : 64;
    const std::size_t runsOffset = align(nameOffset + 2 * name.size());
    const std::size_t length = align(runsOffset + runList.size());
    const std::size_t at = header(type, length, true, name, nameOffset);
    talvix::test::putLe16(bytes_, at + 12, f.flags);
    talvix::test::putLe64(bytes_, at + 16, f.firstVcn);
    talvix::test::putLe64(bytes_, at + 24, f.lastVcn);
    talvix::test::putLe16(bytes_, at + 32, static_cast<std::uint16_t>(runsOffset));
    talvix::test::putLe16(bytes_, at + 34, f.compressionUnit);
    talvix::test::putLe64(bytes_, at + 40, f.allocatedSize);
    talvix::test::putLe64(bytes_, at + 48, f.realSize);
    talvix::test::putLe64(bytes_, at + 56, f.initializedSize);
    if (longHeader) talvix::test::putLe64(bytes_, at + 64, f.compressedSize);
    std::copy(runList.begin(), runList.end(), bytes_.begin() + static_cast<long>(at + runsOffset));
    return at;
  }

  // The record with its end marker (when it fits) and used size, before protection.
  Bytes plain() const {
    Bytes b = bytes_;
    if (next_ + 8 <= b.size()) talvix::test::putLe32(b, next_, 0xFFFFFFFF);
    talvix::test::putLe32(b, 24, static_cast<std::uint32_t>(std::min(next_ + 8, b.size())));
    return b;
  }

  // plain() with the update sequence applied: the record as a writer stores it.
  Bytes protect() const {
    Bytes b = plain();
    talvix::test::putLe16(b, kUsaOffset, kSequenceNumber);
    for (std::size_t k = 1; k <= b.size() / 512; ++k) {
      const std::size_t tail = 512 * k - 2;
      b[kUsaOffset + 2 * k] = b[tail];
      b[kUsaOffset + 2 * k + 1] = b[tail + 1];
      talvix::test::putLe16(b, tail, kSequenceNumber);
    }
    return b;
  }

 private:
  static std::size_t align(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

  std::size_t header(std::uint32_t type, std::size_t length, bool nonResident,
                     std::u16string_view name, std::size_t nameOffset) {
    const std::size_t at = next_;
    talvix::test::putLe32(bytes_, at, type);
    talvix::test::putLe32(bytes_, at + 4, static_cast<std::uint32_t>(length));
    bytes_[at + 8] = std::byte{nonResident ? std::uint8_t{1} : std::uint8_t{0}};
    bytes_[at + 9] = std::byte{static_cast<std::uint8_t>(name.size())};
    talvix::test::putLe16(bytes_, at + 10, static_cast<std::uint16_t>(nameOffset));
    talvix::test::putLe16(bytes_, at + 14, static_cast<std::uint16_t>(attributeId_++));
    for (std::size_t i = 0; i < name.size(); ++i) {
      talvix::test::putLe16(bytes_, at + nameOffset + 2 * i, name[i]);
    }
    next_ += length;
    return at;
  }

  Bytes bytes_;
  std::size_t next_ = kFirstAttribute;
  unsigned attributeId_ = 0;
};

}  // namespace talvix::ntfs::test
