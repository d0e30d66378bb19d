#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "TestFiles.h"
#include "fs/ntfs/Lznt1.h"

namespace talvix::ntfs {
namespace {

using test::Bytes;
using test::bytes;

void append(Bytes& b, std::string_view text) {
  for (char c : text) b.push_back(std::byte{static_cast<std::uint8_t>(c)});
}
std::string asText(std::span<const std::byte> b) {
  return {reinterpret_cast<const char*>(b.data()), b.size()};
}

// A compressed chunk: its header (bits 12-14 = 3, bit 15 = compressed) and `data`.
Bytes chunk(const Bytes& data) {
  Bytes b = bytes({0, 0});
  test::putLe16(b, 0, static_cast<std::uint16_t>(0xB000 | (data.size() - 1)));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// Literals only: "abc".
Bytes abcChunk() {
  Bytes data = bytes({0x00});
  append(data, "abc");
  return chunk(data);
}

struct Decoded {
  std::string text;
  bool corrupt;
};
Decoded decode(const Bytes& input, std::size_t capacity = 65536) {
  Bytes out(capacity, std::byte{0xEE});
  const DecompressResult r = decompressUnit(input, out);
  EXPECT_LE(r.written, capacity);
  return {asText(std::span(out).first(r.written)), r.corrupt};
}

TEST(Lznt1, LiteralsAndAnOverlappingBackReference) {
  // "abc", then 9 bytes from 3 back: the copy repeats what it writes.
  Bytes data = bytes({0x08});
  append(data, "abc");
  data.push_back(std::byte{0x06});  // displacement 3 (2 + 1), length 9 (6 + 3): 4|12 bits
  data.push_back(std::byte{0x20});
  const Decoded d = decode(chunk(data));
  EXPECT_EQ(d.text, "abcabcabcabc");
  EXPECT_FALSE(d.corrupt);
}

TEST(Lznt1, TheOffsetFieldWidensWithThePositionInTheChunk) {
  // 16 literals, then `more` literals and one token: up to 16 bytes written a token has 4
  // displacement bits; after 17 it has 5.
  struct Case {
    const char* what;
    std::string_view more;
    unsigned token;
    const char* text;
  };
  const Case cases[] = {
      {"after 16 bytes: displacement 16, length 3 is (15 << 12) | 0", "", 0xF000,
       "ABCDEFGHIJKLMNOPABC"},
      {"after 17 bytes: displacement 17, length 4 is (16 << 11) | 1", "Q", 0x8001,
       "ABCDEFGHIJKLMNOPQABCD"},
      {"after 20 bytes: displacement 20, length 5 is (19 << 11) | 2", "QRST", 0x9802,
       "ABCDEFGHIJKLMNOPQRSTABCDE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes data = bytes({0x00});
    append(data, "ABCDEFGH");
    data.push_back(std::byte{0x00});
    append(data, "IJKLMNOP");
    data.push_back(std::byte{static_cast<std::uint8_t>(1u << c.more.size())});
    append(data, c.more);
    data.push_back(std::byte{static_cast<std::uint8_t>(c.token & 0xFF)});
    data.push_back(std::byte{static_cast<std::uint8_t>(c.token >> 8)});
    const Decoded d = decode(chunk(data));
    EXPECT_EQ(d.text, c.text);
    EXPECT_FALSE(d.corrupt);
  }
}

TEST(Lznt1, ChunksFollowEachOtherEvery4096Bytes) {
  // An uncompressed chunk (bit 15 clear) of 4096 bytes, a short compressed chunk, another.
  Bytes input = bytes({0xFF, 0x3F});
  const Bytes stored = test::pattern(4096, 7);
  input.insert(input.end(), stored.begin(), stored.end());
  const Bytes abc = abcChunk();
  input.insert(input.end(), abc.begin(), abc.end());
  input.insert(input.end(), abc.begin(), abc.end());
  input.insert(input.end(), {std::byte{0}, std::byte{0}, std::byte{'x'}});  // end, then junk
  const Decoded d = decode(input);
  EXPECT_FALSE(d.corrupt);
  const std::string expected =
      asText(stored) + "abc" + std::string(4093, '\0') + "abc";  // a short chunk's gap is zeros
  EXPECT_EQ(d.text, expected);
}

TEST(Lznt1, DamagedInputStopsWithoutLeavingItsBuffers) {
  struct Case {
    const char* what;
    Bytes input;
    std::size_t capacity;
    std::string text;  // the sound bytes before the damage
  };
  Bytes longReference = bytes({0x02, 'a', 0xFF, 0x0F});  // 4098 bytes from 1 back
  Bytes pastInput = abcChunk();
  pastInput.insert(pastInput.end(), {std::byte{0x10}, std::byte{0xB0}, std::byte{0}});
  const Case cases[] = {
      {"a back reference before any byte", chunk(bytes({0x01, 0x00, 0x00})), 65536, ""},
      {"a back reference before the chunk",
       chunk(bytes({0x04, 'a', 'b', 0x00, 0x20})),  // displacement 3 after 2 bytes
       65536, "ab"},
      {"a chunk that ends past the input", pastInput, 65536, "abc"},
      {"a back reference past the chunk's 4096 bytes", chunk(longReference), 65536,
       std::string(4096, 'a')},
      {"a truncated token", chunk(bytes({0x02, 'a', 0x01})), 65536, "a"},
      {"more than the output holds", chunk(longReference), 100, std::string(100, 'a')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Decoded d = decode(c.input, c.capacity);
    EXPECT_TRUE(d.corrupt);
    EXPECT_EQ(d.text, c.text);
  }
}

TEST(Lznt1, OutputStopsAtTheUnitSize) {
  Bytes input = bytes({0xFF, 0x3F});
  const Bytes stored = test::pattern(4096, 3);
  input.insert(input.end(), stored.begin(), stored.end());
  const Decoded d = decode(input, 1000);
  EXPECT_EQ(d.text, asText(std::span(stored).first(1000)));
  EXPECT_TRUE(d.corrupt);
  EXPECT_EQ(decode(abcChunk(), 0).text, "");
  EXPECT_EQ(decode(Bytes{}).text, "");
  EXPECT_EQ(decode(bytes({0x02})).text, "");
}

// Arbitrary bytes as input: whatever comes out, nothing outside the two buffers is touched
// (the sanitizer build checks that) and the count stays within the output.
TEST(Lznt1, ArbitraryInputStaysInItsBuffers) {
  for (std::uint32_t seed = 0; seed < 200; ++seed) {
    Bytes input = test::pattern(64 + seed * 37, seed);
    // Headers that claim compressed chunks of a plausible length, so tokens are decoded.
    for (std::size_t at = 0; at + 1 < input.size(); at += 700) {
      test::putLe16(input, at, static_cast<std::uint16_t>(0xB000 | (seed * 13 % 690)));
    }
    for (std::size_t capacity :
         {std::size_t{0}, std::size_t{1}, std::size_t{4097}, std::size_t{65536}}) {
      decode(input, capacity);
    }
  }
}

}  // namespace
}  // namespace talvix::ntfs
