#include "TestFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>

#include "disk/DiskReader.h"

namespace talvix::test {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "talvix-test-XXXXXX").string();
  if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::filesystem::path& path, std::span<const std::byte> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeFile(const std::filesystem::path& path, std::string_view text) {
  writeFile(path, std::as_bytes(std::span(text.data(), text.size())));
}

Bytes readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes(std::filesystem::file_size(path));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

Bytes bytes(std::initializer_list<unsigned> values) {
  Bytes b;
  for (unsigned v : values) b.push_back(std::byte{static_cast<std::uint8_t>(v)});
  return b;
}

Bytes pattern(std::size_t size, std::uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes b(size);
  for (auto& x : b) x = static_cast<std::byte>(gen() >> 24);
  return b;
}

namespace {
template <typename T>
void put(Bytes& b, std::size_t offset, T v, bool big) {
  if (b.size() < offset + sizeof(T)) b.resize(offset + sizeof(T));
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    const std::size_t shift = 8 * (big ? sizeof(T) - 1 - i : i);
    b[offset + i] = static_cast<std::byte>((v >> shift) & 0xFF);
  }
}
}  // namespace

void putLe16(Bytes& b, std::size_t o, std::uint16_t v) {
  put(b, o, v, false);
}
void putLe32(Bytes& b, std::size_t o, std::uint32_t v) {
  put(b, o, v, false);
}
void putLe64(Bytes& b, std::size_t o, std::uint64_t v) {
  put(b, o, v, false);
}
void putBe16(Bytes& b, std::size_t o, std::uint16_t v) {
  put(b, o, v, true);
}
void putBe32(Bytes& b, std::size_t o, std::uint32_t v) {
  put(b, o, v, true);
}
void putBe64(Bytes& b, std::size_t o, std::uint64_t v) {
  put(b, o, v, true);
}

void putText(Bytes& b, std::size_t offset, std::string_view text) {
  if (b.size() < offset + text.size()) b.resize(offset + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) b[offset + i] = static_cast<std::byte>(text[i]);
}

Bytes readDiskAt(readWriteInterface& reader, std::int64_t at, std::size_t bytes) {
  Bytes out(bytes, std::byte{0xAA});
  EXPECT_TRUE(reader.seek(at));
  EXPECT_TRUE(reader.read(out.data(), out.size()));
  return out;
}

std::filesystem::path fixtureDir() {
  return TALVIX_FIXTURE_DIR;
}
std::filesystem::path sourceDir() {
  return TALVIX_SOURCE_DIR;
}

}  // namespace talvix::test
