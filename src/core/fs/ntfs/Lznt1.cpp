#include "fs/ntfs/Lznt1.h"

#include <algorithm>
#include <cstdint>

namespace talvix::ntfs {
namespace {

// A unit is a sequence of chunks, each decompressing to 4096 bytes (the last may be shorter):
// | offset | size | meaning                                                           |
// |--------|------|-------------------------------------------------------------------|
// | 0      | 2    | header, little-endian: bits 0-11 = chunk bytes after the header   |
// |        |      | - 1, bits 12-14 = 3, bit 15 = compressed; 0x0000 ends the unit    |
// | 2      | n    | compressed: groups of a flag byte and 8 tokens (bit 0 first);     |
// |        |      | a clear bit is a literal byte, a set bit a 16-bit back reference  |
// |        |      | whose split into displacement and length bits depends on the     |
// |        |      | bytes written so far in the chunk; uncompressed: the bytes as is  |
constexpr std::size_t kChunkBytes = 4096;

std::uint16_t le16(std::span<const std::byte> in, std::size_t at) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(in[at]) |
                                    (std::to_integer<unsigned>(in[at + 1]) << 8));
}

// Decompresses one chunk's data into `out` (at most 4096 bytes); false on a bad reference.
// `written` receives the bytes produced.
bool decompressChunk(std::span<const std::byte> data, std::span<std::byte> out,
                     std::size_t& written) {
  std::size_t in = 0;
  std::size_t p = 0;
  while (in < data.size() && p < out.size()) {
    const auto flags = std::to_integer<unsigned>(data[in++]);
    for (unsigned bit = 0; bit < 8 && in < data.size() && p < out.size(); ++bit) {
      if ((flags & (1u << bit)) == 0) {
        out[p++] = data[in++];
        continue;
      }
      if (data.size() - in < 2 || p == 0) {
        written = p;
        return false;
      }
      const std::uint16_t token = le16(data, in);
      in += 2;
      // Offset bits: 4 while up to 16 bytes are written, one more each time p - 1 doubles.
      unsigned extra = 0;
      for (std::size_t i = p - 1; i >= 16; i >>= 1) ++extra;
      const std::size_t displacement = (token >> (12 - extra)) + 1u;
      const std::size_t length = (token & (0xFFFu >> extra)) + 3u;
      if (displacement > p) {
        written = p;
        return false;
      }
      const std::size_t end = std::min(out.size(), p + length);
      const bool cut = p + length > out.size();
      for (; p < end; ++p) out[p] = out[p - displacement];  // overlapping copies repeat
      if (cut) {
        written = p;
        return false;
      }
    }
  }
  written = p;
  return true;
}

}  // namespace

DecompressResult decompressUnit(std::span<const std::byte> input, std::span<std::byte> output) {
  DecompressResult result;
  std::size_t in = 0;
  std::size_t out = 0;  // start of the current chunk's output
  while (input.size() - in >= 2 && out < output.size()) {
    const std::uint16_t header = le16(input, in);
    if (header == 0) break;
    const std::size_t dataBytes = (header & 0x0FFFu) + 1u;
    if (dataBytes > input.size() - in - 2) {
      result.corrupt = true;
      break;
    }
    const auto data = input.subspan(in + 2, dataBytes);
    in += 2 + dataBytes;
    // A chunk that follows a short one starts at the next 4096-byte boundary; the gap is zeros.
    if (result.written < out) {
      std::fill(output.begin() + static_cast<std::ptrdiff_t>(result.written),
                output.begin() + static_cast<std::ptrdiff_t>(out), std::byte{0});
      result.written = out;
    }
    const auto window = output.subspan(out, std::min(kChunkBytes, output.size() - out));
    std::size_t produced = 0;
    if ((header & 0x8000u) == 0) {
      produced = std::min(data.size(), window.size());
      std::copy_n(data.begin(), produced, window.begin());
      if (data.size() > window.size()) result.corrupt = true;
    } else if (!decompressChunk(data, window, produced)) {
      result.corrupt = true;
    }
    result.written = out + produced;
    if (result.corrupt) break;
    out += kChunkBytes;
  }
  return result;
}

}  // namespace talvix::ntfs
