#pragma once

#include <cstddef>
#include <span>

namespace talvix::ntfs {

struct DecompressResult {
  std::size_t written = 0;  // bytes of `output` filled
  // A chunk that ends past the input, a back reference before the chunk's start or past its
  // 4096 bytes, or a chunk that would pass the output: decoding stopped there and `written`
  // counts the bytes that are sound.
  bool corrupt = false;
};

// Decompresses one LZNT1 compression unit (NTFS compressed files) from `input` into `output`,
// whose size is the unit's size (clusters per unit x cluster bytes). Reads only `input` and
// writes only `output`, whatever the input holds.
DecompressResult decompressUnit(std::span<const std::byte> input, std::span<std::byte> output);

}  // namespace talvix::ntfs
