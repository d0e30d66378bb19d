#include <gtest/gtest.h>

#include "SyntheticDisks.h"
#include "disk/DiskChoice.h"
#include "disk/VmdkSplitReader.h"

namespace talvix {
namespace {

using test::Bytes;
using test::readDiskAt;

Bytes sparseExtent(std::uint64_t capacity, std::uint32_t seed) {
  test::SparseVmdkBuilder b;
  b.capacity = capacity;
  for (std::uint64_t g = 0; g * b.grainSize < capacity; g += 3)
    b.grains[g] = test::pattern(b.grainBytes(), seed + static_cast<std::uint32_t>(g));
  return b.build();
}

// The guest bytes of a sparse extent built by sparseExtent().
Bytes sparseGuest(std::uint64_t capacity, std::uint32_t seed) {
  Bytes guest(capacity * 512);
  for (std::uint64_t g = 0; g * 8 < capacity; g += 3) {
    const Bytes data = test::pattern(4096, seed + static_cast<std::uint32_t>(g));
    std::copy_n(data.begin(), std::min<std::size_t>(4096, guest.size() - g * 4096),
                guest.begin() + static_cast<std::ptrdiff_t>(g * 4096));
  }
  return guest;
}

class SplitReaderTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(SplitReaderTest, DescriptorWithSparseExtentsJoinsThemInOrder) {
  test::writeFile(dir / "disk-s001.vmdk", sparseExtent(4096, 100));
  test::writeFile(dir / "disk-s002.vmdk", sparseExtent(2048, 200));
  test::writeFile(
      dir / "disk.vmdk",
      test::vmdkDescriptorText("twoGbMaxExtentSparse", {"RW 4096 SPARSE \"disk-s001.vmdk\"",
                                                        "RW 2048 SPARSE \"disk-s002.vmdk\""}));
  FileReadSeekVmdkSplit r;
  r.descriptorMode = true;
  ASSERT_TRUE(r.open(dir / "disk.vmdk")) << r.error().text;
  EXPECT_EQ(r.diskSectors(), 6144u);
  Bytes expected = sparseGuest(4096, 100);
  const Bytes second = sparseGuest(2048, 200);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(readDiskAt(r, 0, expected.size()), expected);
  // Sector 4096 is sector 0 of the second extent; a read across the seam joins both.
  EXPECT_EQ(readDiskAt(r, 4096 * 512, 512), Bytes(second.begin(), second.begin() + 512));
  EXPECT_EQ(readDiskAt(r, 4095 * 512, 1024),
            Bytes(expected.begin() + 4095 * 512, expected.begin() + 4097 * 512));
  EXPECT_FALSE(r.seek(100));  // not a whole sector
}

TEST_F(SplitReaderTest, DescriptorWithFlatExtentsUsesListedSizesAndOffsets) {
  const Bytes a = test::pattern(10 * 512, 1);
  const Bytes b = test::pattern(6 * 512, 2);
  test::writeFile(dir / "f1.bin", a);
  test::writeFile(dir / "f2.bin", b);
  test::writeFile(dir / "disk.vmdk",
                  test::vmdkDescriptorText("custom", {"RW 10 FLAT \"f1.bin\" 0", "RW 2 ZERO",
                                                      "RW 4 FLAT \"f2.bin\" 2"}));
  FileReadSeekVmdkSplit r;
  r.descriptorMode = true;
  ASSERT_TRUE(r.open(dir / "disk.vmdk"));
  EXPECT_EQ(r.extentType, "FLAT");
  EXPECT_EQ(r.diskSectors(), 16u);
  Bytes expected = a;
  expected.resize(12 * 512);
  expected.insert(expected.end(), b.begin() + 2 * 512, b.end());
  EXPECT_EQ(readDiskAt(r, 0, 16 * 512), expected);
  EXPECT_EQ(readDiskAt(r, 16 * 512, 512), Bytes(512));  // past the last extent
}

TEST_F(SplitReaderTest, MissingExtentReadsAsZerosAndKeepsLaterExtentsInPlace) {
  const Bytes b = test::pattern(4 * 512, 2);
  test::writeFile(dir / "f2.bin", b);
  test::writeFile(
      dir / "disk.vmdk",
      test::vmdkDescriptorText("custom", {"RW 10 FLAT \"gone.bin\" 0", "RW 4 FLAT \"f2.bin\" 0"}));
  FileReadSeekVmdkSplit r;
  r.descriptorMode = true;
  ASSERT_TRUE(r.open(dir / "disk.vmdk"));
  EXPECT_EQ(r.diskSectors(), 14u);
  EXPECT_EQ(readDiskAt(r, 0, 10 * 512), Bytes(10 * 512));
  EXPECT_EQ(readDiskAt(r, 10 * 512, 4 * 512), b);
  EXPECT_NE(r.info().extents[0].note.find("zeros"), std::string::npos);
}

TEST_F(SplitReaderTest, DescriptorSizeLimit) {
  std::string text = test::vmdkDescriptorText("custom", {"RW 1 ZERO"});
  for (const std::size_t size : {51199u, 51200u}) {
    test::writeFile(dir / "d.vmdk", text + std::string(size - text.size(), '#'));
    FileReadSeekVmdkSplit r;
    r.descriptorMode = true;
    const bool opened = r.open(dir / "d.vmdk");
    EXPECT_EQ(opened, size < 51200) << size;
    if (!opened) {
      EXPECT_EQ(r.error().text, "file size greater than 50 kb .possibly not a descriptor file");
      EXPECT_TRUE(r.error().prompt);
    }
  }
}

TEST_F(SplitReaderTest, SplitModeFindsTheSetFromAnyMember) {
  const Bytes e1 = test::pattern(3 * 512, 1), e2 = test::pattern(2 * 512, 2),
              e3 = test::pattern(512, 3);
  test::writeFile(dir / "disk-f001.vmdk", e1);
  test::writeFile(dir / "disk-f002.vmdk", e2);
  test::writeFile(dir / "disk-f003.vmdk", e3);
  test::writeFile(dir / "disk-f005.vmdk", e3);  // after the gap: not part of the set
  test::writeFile(dir / "disk-f011.vmdk", e3);  // must not be taken for 1
  test::writeFile(dir / "disk.vmdk", "descriptor");
  FileReadSeekVmdkSplit r;
  r.extentType = "FLAT";
  ASSERT_TRUE(r.open(dir / "disk-f003.vmdk"));
  EXPECT_EQ(r.diskSectors(), 6u);  // known at every open, not only during an export
  Bytes expected = e1;
  expected.insert(expected.end(), e2.begin(), e2.end());
  expected.insert(expected.end(), e3.begin(), e3.end());
  EXPECT_EQ(readDiskAt(r, 0, expected.size()), expected);
  EXPECT_EQ(findSplitExtents(dir / "disk-f001.vmdk").size(), 3u);
}

TEST_F(SplitReaderTest, SplitModeWithSparseExtents) {
  test::writeFile(dir / "vm-s001.vmdk", sparseExtent(1024, 10));
  test::writeFile(dir / "vm-s002.vmdk", sparseExtent(1024, 20));
  FileReadSeekVmdkSplit r;
  ASSERT_TRUE(r.open(dir / "vm-s001.vmdk"));
  EXPECT_EQ(r.diskSectors(), 2048u);
  const Bytes second = sparseGuest(1024, 20);
  EXPECT_EQ(readDiskAt(r, 1024 * 512, 4096), Bytes(second.begin(), second.begin() + 4096));
}

TEST_F(SplitReaderTest, DetectionReadsTheWholeSetFromOneSparseExtent) {
  test::writeFile(dir / "vm-s001.vmdk", sparseExtent(1024, 10));
  test::writeFile(dir / "vm-s002.vmdk", sparseExtent(1024, 20));
  test::writeFile(dir / "alone-s001.vmdk", sparseExtent(1024, 30));
  for (const auto& [name, split] :
       {std::pair{"vm-s002.vmdk", true}, std::pair{"alone-s001.vmdk", false}}) {
    const auto choice = detectDiskChoice(dir / name);
    EXPECT_EQ(choice.vmdkSplit, split) << name;
    auto reader = makeDiskReader(choice);
    ASSERT_TRUE(reader->open(dir / name));
    EXPECT_EQ(reader->diskSectors(), split ? 2048u : 1024u) << name;
  }
}

TEST_F(SplitReaderTest, SplitModeNeedsADashInTheFileName) {
  std::filesystem::create_directory(dir / "with-dash");
  test::writeFile(dir / "with-dash" / "disk.vmdk", "x");
  FileReadSeekVmdkSplit r;
  EXPECT_FALSE(r.open(dir / "with-dash" / "disk.vmdk"));
  EXPECT_EQ(r.error().text,
            "Possibly not a split file . Go back and try without checking the split check box");
  EXPECT_TRUE(r.error().prompt);
}

}  // namespace
}  // namespace talvix
