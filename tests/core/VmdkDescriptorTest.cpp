#include <gtest/gtest.h>

#include "SyntheticDisks.h"
#include "disk/VmdkDescriptor.h"

namespace talvix {
namespace {

TEST(VmdkDescriptor, ReadsTheKeysAndExtentLinesQemuWrites) {
  const auto text = test::vmdkDescriptorText(
      "twoGbMaxExtentFlat",
      {"RW 4192256 FLAT \"disk-f001.vmdk\" 0", "RW 8192 FLAT \"disk f002.vmdk\" 16"});
  const auto d = parseEmbeddedDescriptor(text);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->version, "1\n");  // the text between the keys, line break included
  EXPECT_EQ(d->cid, "12345678\n");
  EXPECT_EQ(d->parentCid, "ffffffff\n");
  EXPECT_EQ(d->createType, "twoGbMaxExtentFlat");
  EXPECT_EQ(d->cylinders, "8");
  EXPECT_EQ(d->heads, "16");
  EXPECT_EQ(d->sectorsPerTrack, "63");
  ASSERT_EQ(d->extents.size(), 2u);
  EXPECT_EQ(d->extents[0].sectorCount, 4192256u);
  EXPECT_EQ(d->extents[0].extentType, "FLAT");
  EXPECT_EQ(d->extents[0].fileName, "disk-f001.vmdk");
  EXPECT_EQ(d->extents[1].fileName, "disk f002.vmdk");
  EXPECT_EQ(d->extents[1].offset, 16u);
  EXPECT_EQ(d->extentSectors(), 4192256u + 8192u);
}

TEST(VmdkDescriptor, ExtentLinesOfEveryShape) {
  struct Case {
    std::string line;
    bool isExtent;
    std::uint64_t sectors;
    std::string type, file;
  };
  const Case cases[] = {
      {"RW 204800 SPARSE \"a.vmdk\"", true, 204800, "SPARSE", "a.vmdk"},
      {"RDONLY 10 FLAT \"b.vmdk\" 0\r", true, 10, "FLAT", "b.vmdk"},
      {"RW 2048 ZERO", true, 2048, "ZERO", ""},
      {"RW 5000000000 SPARSE \"big.vmdk\"", true, 5000000000, "SPARSE", "big.vmdk"},
      {"# comment", false, 0, "", ""},
      {"RW x SPARSE \"a.vmdk\"", false, 0, "", ""},
      {"RW 10 SPARSE \"unterminated", false, 0, "", ""},
      {"", false, 0, "", ""},
  };
  for (const auto& c : cases) {
    const auto extents = parseExtentLines(c.line);
    ASSERT_EQ(extents.size(), c.isExtent ? 1u : 0u) << c.line;
    if (!c.isExtent) continue;
    EXPECT_EQ(extents[0].sectorCount, c.sectors) << c.line;
    EXPECT_EQ(extents[0].extentType, c.type) << c.line;
    EXPECT_EQ(extents[0].fileName, c.file) << c.line;
  }
}

TEST(VmdkDescriptor, EmbeddedDescriptorIsRefusedWithoutCreateType) {
  EXPECT_FALSE(parseEmbeddedDescriptor("version=1\nCID=1\nparentCID=2\n"));
  EXPECT_FALSE(
      parseEmbeddedDescriptor("createType=\"monolithicSparse\""));  // key at the very start
  EXPECT_FALSE(parseEmbeddedDescriptor("x\ncreateType=\""));        // ends right after it
  EXPECT_FALSE(parseEmbeddedDescriptor(""));
}

TEST(VmdkDescriptor, EmbeddedExtentSectionIsLookedForOnlyInTheFirst512Characters) {
  const std::string head =
      "# Disk DescriptorFile\nversion=1\nCID=1\nparentCID=2\ncreateType=\"monolithicSparse\"\n";
  const std::string section =
      "# Extent description\nRW 100 SPARSE \"x.vmdk\"\n\n# The Disk Data Base\n";
  const auto inside = parseEmbeddedDescriptor(head + section);
  ASSERT_TRUE(inside);
  EXPECT_EQ(inside->extents.size(), 1u);

  const auto beyond = parseEmbeddedDescriptor(head + std::string(500, '#') + "\n" + section);
  ASSERT_TRUE(beyond);
  EXPECT_EQ(beyond->createType, "monolithicSparse");
  EXPECT_TRUE(beyond->extents.empty());

  // A descriptor file has no such window.
  EXPECT_EQ(parseDescriptorFile(head + std::string(500, '#') + "\n" + section).extents.size(), 1u);
}

TEST(VmdkDescriptor, KeyBeyondCharacter500WindowRunsToTheEnd) {
  const std::string text = std::string(520, ' ') +
                           "\ncreateType=\"custom\"\n# Extent description\n"
                           "RW 7 SPARSE \"y.vmdk\"\n# The Disk Data Base\n";
  const auto d = parseEmbeddedDescriptor(text);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->createType, "custom");
  EXPECT_EQ(d->extentSectors(), 7u);
}

TEST(VmdkDescriptor, EmbeddedTextEndsAtTheFirstNul) {
  const std::string padded = std::string("abc") + '\0' + "def";
  EXPECT_EQ(descriptorText(padded), "abc");
}

}  // namespace
}  // namespace talvix
