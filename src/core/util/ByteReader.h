#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace talvix {

// Bounded reads of little- and big-endian fields at byte offsets of an on-disk structure.
// A read that would pass the end answers 0 (or an empty span) and marks the reader failed,
// so a decoder reads every field of its layout table and checks ok() once at the end.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::byte> bytes) noexcept : bytes_(bytes) {}

  std::uint8_t u8(std::size_t offset) noexcept { return load<std::uint8_t>(offset, false); }
  std::uint16_t u16le(std::size_t offset) noexcept { return load<std::uint16_t>(offset, false); }
  std::uint32_t u32le(std::size_t offset) noexcept { return load<std::uint32_t>(offset, false); }
  std::uint64_t u64le(std::size_t offset) noexcept { return load<std::uint64_t>(offset, false); }
  std::uint16_t u16be(std::size_t offset) noexcept { return load<std::uint16_t>(offset, true); }
  std::uint32_t u32be(std::size_t offset) noexcept { return load<std::uint32_t>(offset, true); }
  std::uint64_t u64be(std::size_t offset) noexcept { return load<std::uint64_t>(offset, true); }

  std::span<const std::byte> bytes(std::size_t offset, std::size_t count) noexcept {
    if (!fits(offset, count)) return {};
    return bytes_.subspan(offset, count);
  }
  std::string_view text(std::size_t offset, std::size_t count) noexcept {
    auto b = bytes(offset, count);
    return {reinterpret_cast<const char*>(b.data()), b.size()};
  }

  bool ok() const noexcept { return ok_; }
  std::size_t size() const noexcept { return bytes_.size(); }

 private:
  bool fits(std::size_t offset, std::size_t count) noexcept {
    if (offset > bytes_.size() || count > bytes_.size() - offset) {
      ok_ = false;
      return false;
    }
    return true;
  }

  template <typename T>
  T load(std::size_t offset, bool bigEndian) noexcept {
    if (!fits(offset, sizeof(T))) return 0;
    T value;
    std::memcpy(&value, bytes_.data() + offset, sizeof(T));
    const bool swap = bigEndian != (std::endian::native == std::endian::big);
    return swap ? byteswap(value) : value;
  }

  template <typename T>
  static T byteswap(T value) noexcept {
    T out = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      out = static_cast<T>((out << 8) | (value & 0xFF));
      value = static_cast<T>(value >> 8);
    }
    return out;
  }

  std::span<const std::byte> bytes_;
  bool ok_ = true;
};

// Little-endian 32-bit entry i of a table of entries (grain tables, block maps).
inline std::uint32_t tableEntryLe32(std::span<const std::byte> table, std::size_t index) noexcept {
  return ByteReader(table).u32le(index * 4);
}

}  // namespace talvix
