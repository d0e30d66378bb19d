#include "disk/VmdkSparseHeader.h"

#include "util/ByteReader.h"

namespace talvix {

std::optional<VmdkSparseHeader> VmdkSparseHeader::decode(std::span<const std::byte> sector) {
  ByteReader r(sector);
  if (r.u32le(0) != kMagic) return std::nullopt;
  VmdkSparseHeader h;
  h.version = r.u32le(4);
  h.flags = r.u32le(8);
  h.capacity = r.u64le(12);
  h.grainSize = r.u64le(20);
  h.descriptorOffset = r.u64le(28);
  h.descriptorSize = r.u64le(36);
  h.numGTEsPerGT = r.u32le(44);
  h.rgdOffset = r.u64le(48);
  h.gdOffset = r.u64le(56);
  h.compressAlgorithm = r.u16le(77);
  if (!r.ok()) return std::nullopt;
  return h;
}

}  // namespace talvix
