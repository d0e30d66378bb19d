#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace talvix::test {

using Bytes = std::vector<std::byte>;

// A folder of its own for one test, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, std::span<const std::byte> bytes);
void writeFile(const std::filesystem::path& path, std::string_view text);
Bytes readFile(const std::filesystem::path& path);

// Bytes written out one by one: bytes({0x11, 0x05, 0x34}).
Bytes bytes(std::initializer_list<unsigned> values);

// Deterministic bytes that differ at every position, so a misplaced sector shows.
Bytes pattern(std::size_t size, std::uint32_t seed);

void putLe16(Bytes& b, std::size_t offset, std::uint16_t v);
void putLe32(Bytes& b, std::size_t offset, std::uint32_t v);
void putLe64(Bytes& b, std::size_t offset, std::uint64_t v);
void putBe16(Bytes& b, std::size_t offset, std::uint16_t v);
void putBe32(Bytes& b, std::size_t offset, std::uint32_t v);
void putBe64(Bytes& b, std::size_t offset, std::uint64_t v);
void putText(Bytes& b, std::size_t offset, std::string_view text);

}  // namespace talvix::test

namespace talvix {
class readWriteInterface;
}

namespace talvix::test {

// `bytes` bytes of the disk at position `at`, expected to seek and read without failure.
Bytes readDiskAt(readWriteInterface& reader, std::int64_t at, std::size_t bytes);

// The committed disk fixtures, unpacked at build time.
std::filesystem::path fixtureDir();
// The source tree (for examples/).
std::filesystem::path sourceDir();

}  // namespace talvix::test
