#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace talvix {

// The sparse extent header, sector 0 of a hosted sparse extent (little-endian; sector values
// in 512-byte units). docs/formats/vmdk.md has the notes.
//
// | offset | size | field              | use                                               |
// |--------|------|--------------------|---------------------------------------------------|
// | 0      | 4    | magic              | "KDMV" (0x564D444B)                               |
// | 4      | 4    | version            | 1, 2 or 3                                         |
// | 8      | 4    | flags              | bit 16: grains compressed; bit 17: markers        |
// | 12     | 8    | capacity           | sectors of the extent                             |
// | 20     | 8    | grainSize          | sectors per grain                                 |
// | 28     | 8    | descriptorOffset   | sector of the embedded descriptor                 |
// | 36     | 8    | descriptorSize     | sectors of the embedded descriptor                |
// | 44     | 4    | numGTEsPerGT       | entries per grain table                           |
// | 48     | 8    | rgdOffset          | sector of the redundant grain directory           |
// | 56     | 8    | gdOffset           | sector of the grain directory; ~0: in the footer  |
// | 77     | 2    | compressAlgorithm  | 1: deflate                                        |
struct VmdkSparseHeader {
  static constexpr std::uint32_t kMagic = 0x564D444B;
  static constexpr std::uint64_t kGdAtEnd = ~std::uint64_t{0};
  static constexpr std::uint32_t kFlagCompressed = 1u << 16;
  static constexpr std::uint16_t kCompressDeflate = 1;

  std::uint32_t version = 0;
  std::uint32_t flags = 0;
  std::uint64_t capacity = 0;
  std::uint64_t grainSize = 0;
  std::uint64_t descriptorOffset = 0;
  std::uint64_t descriptorSize = 0;
  std::uint32_t numGTEsPerGT = 0;
  std::uint64_t rgdOffset = 0;
  std::uint64_t gdOffset = 0;
  std::uint16_t compressAlgorithm = 0;

  bool compressedGrains() const {
    return (flags & kFlagCompressed) && compressAlgorithm == kCompressDeflate;
  }

  // nullopt when the bytes do not start with the sparse magic.
  static std::optional<VmdkSparseHeader> decode(std::span<const std::byte> sector);
};

}  // namespace talvix
