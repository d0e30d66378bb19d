#include <gtest/gtest.h>

#include <fstream>

#include "SyntheticDisks.h"
#include "disk/VmdkReader.h"

namespace talvix {
namespace {

using test::Bytes;

// The disk's bytes from `at` (0 by default).
Bytes readAll(readWriteInterface& r, std::uint64_t bytes, std::int64_t at = 0) {
  return test::readDiskAt(r, at, static_cast<std::size_t>(bytes));
}

class VmdkReaderTest : public ::testing::Test {
 protected:
  std::filesystem::path write(const Bytes& bytes, const std::string& name = "disk.vmdk") {
    const auto path = dir / name;
    test::writeFile(path, bytes);
    return path;
  }
  test::TempDir dir;
};

TEST_F(VmdkReaderTest, GrainTableAnswersBecomeDataOrZeros) {
  test::SparseVmdkBuilder b;
  b.capacity = 8 * 512 * 2;  // two grain tables of 512 grains of 8 sectors
  b.descriptor = test::vmdkDescriptorText("monolithicSparse", {"RW 8192 SPARSE \"disk.vmdk\""});
  const std::uint64_t gb = b.grainBytes();
  Bytes expected(b.capacity * 512);
  auto setGrain = [&](std::uint64_t grain, std::uint32_t seed) {
    b.grains[grain] = test::pattern(gb, seed);
    std::copy(b.grains[grain].begin(), b.grains[grain].end(),
              expected.begin() + static_cast<std::ptrdiff_t>(grain * gb));
  };
  setGrain(0, 1);
  setGrain(5, 2);
  setGrain(600, 3);  // second table
  b.grains[1] = test::pattern(gb, 4);
  b.grainEntryOverride[1] = 1;           // a zeroed grain
  b.grainEntryOverride[2] = 0x80000000;  // negative: not a sector number
  b.grains[3] = test::pattern(gb, 5);
  b.grainEntryOverride[3] = 0;  // unallocated

  FileReadSeekVmdk r;
  ASSERT_TRUE(r.open(write(b.build())));
  EXPECT_EQ(r.diskSectors(), 8192u);
  EXPECT_EQ(readAll(r, expected.size()), expected);

  // The same, one sector at a time, and across a grain boundary with a hole behind it.
  for (std::uint64_t s = 0; s < 48; ++s) {
    Bytes sector(512);
    ASSERT_TRUE(r.seek(static_cast<std::int64_t>(s * 512)));
    ASSERT_TRUE(r.read(sector.data(), 512));
    ASSERT_TRUE(std::equal(sector.begin(), sector.end(),
                           expected.begin() + static_cast<std::ptrdiff_t>(s * 512)))
        << s;
  }
  const Bytes spanning = readAll(r, 1024, static_cast<std::int64_t>(gb - 512));
  EXPECT_TRUE(std::equal(spanning.begin(), spanning.end(),
                         expected.begin() + static_cast<std::ptrdiff_t>(gb - 512)));

  EXPECT_TRUE(r.seek(0));
  EXPECT_TRUE(r.sectorMapped());
  EXPECT_TRUE(r.seek(static_cast<std::int64_t>(gb)));
  EXPECT_FALSE(r.sectorMapped());
}

TEST_F(VmdkReaderTest, SecondTableMissingFromTheDirectoryReadsAsZeros) {
  test::SparseVmdkBuilder b;
  b.capacity = 8 * 512 * 2;
  b.grains[600] = test::pattern(b.grainBytes(), 9);
  b.gdEntryOverride[1] = 0;
  FileReadSeekVmdk r;
  ASSERT_TRUE(r.open(write(b.build())));
  EXPECT_EQ(readAll(r, b.grainBytes(), static_cast<std::int64_t>(600 * b.grainBytes())),
            Bytes(b.grainBytes()));
}

TEST_F(VmdkReaderTest, PositionsBeyondTheCapacityReadAsZeros) {
  test::SparseVmdkBuilder b;
  b.capacity = 100;  // not a whole number of grains
  b.grains[12] = test::pattern(b.grainBytes(), 3);
  FileReadSeekVmdk r;
  ASSERT_TRUE(r.open(write(b.build())));
  const Bytes tail = readAll(r, 2048, 99 * 512);
  EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + 512, b.grains[12].begin() + 3 * 512));
  EXPECT_EQ(Bytes(tail.begin() + 512, tail.end()), Bytes(1536));
}

TEST_F(VmdkReaderTest, GrainTablesLargerThan512EntriesAreSizedFromTheHeader) {
  test::SparseVmdkBuilder b;
  b.gtesPerGt = 1024;
  b.capacity = 8 * 1024;
  b.grains[700] = test::pattern(b.grainBytes(), 7);
  FileReadSeekVmdk r;
  ASSERT_TRUE(r.open(write(b.build())));
  EXPECT_EQ(readAll(r, b.grainBytes(), static_cast<std::int64_t>(700 * b.grainBytes())),
            b.grains[700]);
}

TEST_F(VmdkReaderTest, ImpossibleHeaderValuesAreRefusedWithAReason) {
  struct Case {
    const char* name;
    std::size_t offset;
    std::uint64_t value;
    int width;
  };
  const Case cases[] = {
      {"capacity", 12, std::uint64_t{1} << 62, 8},   {"grain size", 20, 0, 8},
      {"grain size", 20, std::uint64_t{1} << 40, 8}, {"grain table size", 44, 0, 4},
      {"grain table size", 44, 0x7FFFFFFF, 4},
  };
  test::SparseVmdkBuilder b;
  for (const auto& c : cases) {
    Bytes bytes = b.build();
    if (c.width == 8)
      test::putLe64(bytes, c.offset, c.value);
    else
      test::putLe32(bytes, c.offset, static_cast<std::uint32_t>(c.value));
    FileReadSeekVmdk r;
    EXPECT_FALSE(r.open(write(bytes))) << c.name;
    EXPECT_NE(r.error().text.find(c.name), std::string::npos) << r.error().text;
  }
}

TEST_F(VmdkReaderTest, DataIsReadWithoutAUsableDescriptor) {
  // Renamed file, no descriptor, a damaged descriptor: the grain directory alone finds the data.
  const std::optional<std::string> descriptors[] = {
      test::vmdkDescriptorText("monolithicSparse", {"RW 4096 SPARSE \"some-other-name.vmdk\""}),
      std::nullopt,
      std::string("garbage without any of the keys"),
      // The extent lines stand beyond the first 512 characters, where they are not looked for.
      "# Disk DescriptorFile\nversion=1\nCID=1\nparentCID=2\ncreateType=\"monolithicSparse\"\n" +
          std::string(500, '#') +
          "\n# Extent description\nRW 4096 SPARSE \"x.vmdk\"\n# The Disk Data Base\n",
  };
  for (const auto& descriptor : descriptors) {
    test::SparseVmdkBuilder b;
    b.descriptor = descriptor;
    b.grains[2] = test::pattern(b.grainBytes(), 11);
    FileReadSeekVmdk r;
    ASSERT_TRUE(r.open(write(b.build(), "renamed.vmdk")));
    EXPECT_EQ(r.diskSectors(), 4096u);
    EXPECT_EQ(readAll(r, b.grainBytes(), static_cast<std::int64_t>(2 * b.grainBytes())),
              b.grains[2]);
  }
}

TEST_F(VmdkReaderTest, TwoExtentLinesAddBothSizes) {
  test::SparseVmdkBuilder b;
  b.descriptor = test::vmdkDescriptorText(
      "custom", {"RW 3000 SPARSE \"a.vmdk\"", "RW 1096 SPARSE \"b.vmdk\""});
  FileReadSeekVmdk r;
  ASSERT_TRUE(r.open(write(b.build())));
  EXPECT_EQ(r.diskSectors(), 4096u);
  EXPECT_EQ(r.extents().size(), 2u);
}

TEST_F(VmdkReaderTest, CompressedGrainsAreInflated) {
  for (bool inFooter : {false, true}) {
    test::SparseVmdkBuilder b;
    b.compressed = true;
    b.gdInFooter = inFooter;
    b.grainSize = 128;
    b.capacity = 128 * 40;
    b.descriptor = test::vmdkDescriptorText("streamOptimized", {"RW 5120 SPARSE \"disk.vmdk\""});
    Bytes text(b.grainBytes());
    for (std::size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<std::byte>("compressible "[i % 13]);
    b.grains[0] = test::pattern(b.grainBytes(), 21);  // stored larger than it was
    b.grains[7] = text;
    b.grains[39] = test::pattern(b.grainBytes(), 22);
    FileReadSeekVmdk r;
    ASSERT_TRUE(r.open(write(b.build()))) << r.error().text;
    const Bytes all = readAll(r, b.capacity * 512);
    for (const auto& [grain, data] : b.grains)
      EXPECT_TRUE(std::equal(data.begin(), data.end(),
                             all.begin() + static_cast<std::ptrdiff_t>(grain * b.grainBytes())))
          << "grain " << grain << (inFooter ? " (footer)" : "");
    // A read from the middle of a grain after reading another one.
    EXPECT_EQ(readAll(r, 512, static_cast<std::int64_t>(7 * b.grainBytes() + 1024)),
              Bytes(text.begin() + 1024, text.begin() + 1536));
  }
}

TEST_F(VmdkReaderTest, DamagedCompressedGrainKeepsWhatInflates) {
  test::SparseVmdkBuilder b;
  b.compressed = true;
  b.grainSize = 128;
  b.capacity = 256;
  b.grains[0] = test::pattern(b.grainBytes(), 5);
  const Bytes good = b.build();
  constexpr std::size_t kMarker = 6 * 512;  // header, directory, one table of 4 sectors

  Bytes damagedTail = good;
  for (std::size_t i = damagedTail.size() - 1024; i < damagedTail.size(); ++i)
    damagedTail[i] = std::byte{0x5A};
  Bytes hugeLength = good;
  test::putLe32(hugeLength, kMarker + 8, 0xFFFFFFFF);

  for (const Bytes* bytes : {&damagedTail, &hugeLength}) {
    FileReadSeekVmdk r;
    ASSERT_TRUE(r.open(write(*bytes)));
    const Bytes got = readAll(r, b.grainBytes());
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 4096, b.grains[0].begin()));
  }
}

TEST_F(VmdkReaderTest, FileWithoutSparseMagicIsAFlatDisk) {
  const Bytes raw = test::pattern(64 * 1024 + 100, 31);  // a tail shorter than a sector
  for (const char* type : {"FLAT", "SPARSE"}) {
    FileReadSeekVmdk r;
    r.extentType = type;
    ASSERT_TRUE(r.open(write(raw, "flat.vmdk")));
    EXPECT_EQ(r.diskSectors(), 128u);
    r.volumeBase = 4096;
    const Bytes got = readAll(r, 1024, 512);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), raw.begin() + 4096 + 512)) << type;
    EXPECT_EQ(r.position(), 512 + 1024);
  }
}

TEST_F(VmdkReaderTest, ReadAdvancesByWholeSectorsAndRefusesNegativePositions) {
  FileReadSeekVmdk r;
  ASSERT_TRUE(r.open(write(test::pattern(8192, 3), "flat.vmdk")));
  Bytes out(700);
  ASSERT_TRUE(r.seek(1024));
  ASSERT_TRUE(r.read(out.data(), out.size()));
  EXPECT_EQ(r.position(), 1024 + 512);
  EXPECT_FALSE(r.seek(-512));
  r.volumeBase = std::numeric_limits<std::int64_t>::max();
  EXPECT_FALSE(r.seek(512));  // the sum overflows
}

TEST_F(VmdkReaderTest, TruncatedFileReadsWhatItHolds) {
  test::SparseVmdkBuilder b;
  b.grains[0] = test::pattern(b.grainBytes(), 1);
  b.grains[1] = test::pattern(b.grainBytes(), 2);
  Bytes bytes = b.build();
  bytes.resize(bytes.size() - b.grainBytes() - 100);  // the second grain and part of the first
  FileReadSeekVmdk r;
  ASSERT_TRUE(r.open(write(bytes)));
  const Bytes got = readAll(r, 2 * b.grainBytes());
  const std::size_t kept = b.grainBytes() - 100;
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(kept),
                         b.grains[0].begin()));
  EXPECT_EQ(Bytes(got.begin() + static_cast<std::ptrdiff_t>(kept), got.end()),
            Bytes(b.grainBytes() + 100));

  // Only the header is left: the directory lies past the end.
  bytes.resize(512);
  FileReadSeekVmdk headerOnly;
  ASSERT_TRUE(headerOnly.open(write(bytes)));
  EXPECT_EQ(readAll(headerOnly, 4096), Bytes(4096));
}

TEST_F(VmdkReaderTest, TablesPointingOutsideTheFileReadAsZeros) {
  test::SparseVmdkBuilder b;
  b.grains[0] = test::pattern(b.grainBytes(), 1);
  b.grainEntryOverride[1] = 0x7FFFFFFF;  // far past the end of the file
  b.gdEntryOverride[0] = 0x7FFFFFF0;
  FileReadSeekVmdk r;
  ASSERT_TRUE(r.open(write(b.build())));
  EXPECT_EQ(readAll(r, 2 * b.grainBytes()), Bytes(2 * b.grainBytes()));
}

std::uint64_t readSystemCalls() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value)
    if (key == "syscr:") return value;
  return 0;
}

TEST_F(VmdkReaderTest, LargeReadOfContiguousGrainsCostsFewSystemCalls) {
  test::SparseVmdkBuilder b;
  b.grainSize = 128;
  b.capacity = 128 * 160;  // 10 MiB
  for (std::uint64_t g = 0; g < 160; g += (g % 10 == 9 ? 2 : 1))
    b.grains[g] = test::pattern(b.grainBytes(), static_cast<std::uint32_t>(g));
  FileReadSeekVmdk r;
  ASSERT_TRUE(r.open(write(b.build())));
  Bytes out(5 * 1024 * 1024);
  ASSERT_TRUE(r.seek(0));
  const auto before = readSystemCalls();
  ASSERT_TRUE(r.read(out.data(), out.size()));
  const auto calls = readSystemCalls() - before;
  EXPECT_LT(calls, 40u) << "a 5 MiB read of 80 grains in 8 runs";
  EXPECT_TRUE(std::equal(b.grains[0].begin(), b.grains[0].end(), out.begin()));
}

}  // namespace
}  // namespace talvix
