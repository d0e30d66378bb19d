#include <gtest/gtest.h>

#include <functional>

#include "NtfsRecordBuilder.h"
#include "fs/ntfs/MftRecord.h"

namespace talvix::ntfs {
namespace {

using test::Bytes;
using test::RecordBuilder;

// A record like a small file's: $STANDARD_INFORMATION, $FILE_NAME, a resident $DATA whose
// value crosses byte 510 (where the update sequence keeps its real bytes), and a named
// non-resident $DATA.
RecordBuilder smallFile() {
  RecordBuilder r;
  r.resident(kAttrStandardInformation, Bytes(72, std::byte{0x11}));
  r.resident(kAttrFileName, Bytes(90, std::byte{0x22}));
  r.resident(kAttrData, talvix::test::pattern(500, 1));
  r.nonResident(kAttrData, {std::byte{0x11}, std::byte{0x04}, std::byte{0x20}, std::byte{0}},
                {.firstVcn = 0,
                 .lastVcn = 3,
                 .compressionUnit = 4,
                 .allocatedSize = 65536,
                 .realSize = 10000,
                 .initializedSize = 9000,
                 .flags = kAttrFlagCompressed,
                 .compressedSize = 8192},
                u"Zone");
  return r;
}

TEST(MftRecord, HeaderFields) {
  const Bytes bytes = smallFile().protect();
  const RecordHeader h = decodeRecordHeader(bytes);
  EXPECT_EQ(h.verdict, Verdict::valid);
  EXPECT_EQ(h.updateSequenceOffset, 48);
  EXPECT_EQ(h.updateSequenceCount, 3);
  EXPECT_EQ(h.sequenceNumber, 7);
  EXPECT_EQ(h.linkCount, 1);
  EXPECT_EQ(h.firstAttributeOffset, 56);
  EXPECT_EQ(h.flags, kRecordInUse);
  EXPECT_EQ(h.allocatedBytes, 1024u);
  EXPECT_EQ(h.baseRecord, 0x40u);
  EXPECT_EQ(h.baseSequence, 2);
  EXPECT_EQ(h.nextAttributeId, 9);
  Bytes bad = bytes;
  talvix::test::putText(bad, 0, "BAAD");
  EXPECT_EQ(decodeRecordHeader(bad).verdict, Verdict::notThisStructure);
  talvix::test::putText(bad, 0, "FILE");
  talvix::test::putLe16(bad, 20, 1024);
  EXPECT_EQ(decodeRecordHeader(bad).verdict, Verdict::corrupt);
}

TEST(MftRecordFixups, RestoreTheLastBytesOfEverySector) {
  for (std::size_t recordBytes : {std::size_t{1024}, std::size_t{4096}}) {
    SCOPED_TRACE(recordBytes);
    RecordBuilder r(recordBytes);
    r.resident(kAttrData, talvix::test::pattern(recordBytes - 200, 2));
    const Bytes onDisk = r.protect();
    EXPECT_NE(onDisk, r.plain());
    Bytes bytes = onDisk;
    const FixupResult fixed = applyFixups(bytes);
    EXPECT_EQ(fixed.verdict, Verdict::valid);
    EXPECT_EQ(fixed.tornSectors, 0u);
    // The update sequence array itself stays as stored.
    Bytes expected = r.plain();
    std::copy_n(onDisk.begin() + 48, 2 + 2 * (recordBytes / 512), expected.begin() + 48);
    EXPECT_EQ(bytes, expected);
  }
}

TEST(MftRecordFixups, ATornSectorIsCountedAndStillRestored) {
  RecordBuilder r;
  Bytes bytes = r.protect();
  talvix::test::putLe16(bytes, 1022, 0x0909);
  const FixupResult fixed = applyFixups(bytes);
  EXPECT_EQ(fixed.verdict, Verdict::valid);
  EXPECT_EQ(fixed.tornSectors, 1u);
  EXPECT_EQ(bytes[1022], r.plain()[1022]);
}

TEST(MftRecordFixups, ADamagedArrayLeavesTheRecordAsItIs) {
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
  };
  const Case cases[] = {
      {"count 0", [](Bytes& b) { talvix::test::putLe16(b, 6, 0); }},
      {"count for one sector", [](Bytes& b) { talvix::test::putLe16(b, 6, 2); }},
      {"count for four sectors", [](Bytes& b) { talvix::test::putLe16(b, 6, 5); }},
      {"count 0xFFFF", [](Bytes& b) { talvix::test::putLe16(b, 6, 0xFFFF); }},
      {"odd offset", [](Bytes& b) { talvix::test::putLe16(b, 4, 49); }},
      {"offset inside the header", [](Bytes& b) { talvix::test::putLe16(b, 4, 4); }},
      {"offset past the record", [](Bytes& b) { talvix::test::putLe16(b, 4, 0xFFFE); }},
      {"array over the first saved bytes", [](Bytes& b) { talvix::test::putLe16(b, 4, 506); }},
  };
  const Bytes sound = smallFile().protect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = sound;
    c.change(bytes);
    const Bytes before = bytes;
    EXPECT_EQ(applyFixups(bytes).verdict, Verdict::corrupt);
    EXPECT_EQ(bytes, before);
  }
  // A buffer that is not a whole number of 512-byte strides.
  Bytes cut(sound.begin(), sound.begin() + 1000);
  const Bytes before = cut;
  EXPECT_EQ(applyFixups(cut).verdict, Verdict::corrupt);
  EXPECT_EQ(cut, before);
  // Not a record at all.
  Bytes zeros(1024);
  EXPECT_EQ(applyFixups(zeros).verdict, Verdict::notThisStructure);
  EXPECT_EQ(applyFixups(std::span<std::byte>{}).verdict, Verdict::notThisStructure);
}

TEST(MftRecordAttributes, WalkDecodesEveryHeader) {
  RecordBuilder builder = smallFile();
  Bytes bytes = builder.protect();
  ASSERT_EQ(applyFixups(bytes).verdict, Verdict::valid);
  const AttributeWalk walk = walkAttributes(bytes);
  EXPECT_TRUE(walk.endMarker);
  ASSERT_EQ(walk.attributes.size(), 4u);
  for (const Attribute& a : walk.attributes) EXPECT_TRUE(a.sound);
  EXPECT_EQ(walk.attributes[0].type, kAttrStandardInformation);
  EXPECT_EQ(walk.attributes[0].recordOffset, 56u);
  EXPECT_EQ(walk.attributes[0].length, 96u);
  EXPECT_EQ(residentValue(bytes, walk.attributes[1]).size(), 90u);

  const Attribute& data = walk.attributes[2];
  EXPECT_EQ(data.type, kAttrData);
  EXPECT_FALSE(data.nonResident);
  EXPECT_EQ(data.attributeId, 2);
  const auto value = residentValue(bytes, data);
  const Bytes expected = talvix::test::pattern(500, 1);
  EXPECT_TRUE(std::equal(value.begin(), value.end(), expected.begin(), expected.end()));
  EXPECT_LT(data.recordOffset + data.valueOffset, 510u);  // the value crosses byte 510
  EXPECT_GT(data.recordOffset + data.valueOffset + data.valueLength, 512u);

  const Attribute& stream = walk.attributes[3];
  EXPECT_TRUE(stream.nonResident);
  EXPECT_EQ(stream.nameLength, 4);
  EXPECT_EQ(stream.nameOffset, 72);
  EXPECT_EQ(stream.flags, kAttrFlagCompressed);
  EXPECT_EQ(stream.firstVcn, 0u);
  EXPECT_EQ(stream.lastVcn, 3u);
  EXPECT_EQ(stream.runListOffset, 80);
  EXPECT_EQ(stream.compressionUnit, 4);
  EXPECT_EQ(stream.allocatedSize, 65536u);
  EXPECT_EQ(stream.realSize, 10000u);
  EXPECT_EQ(stream.initializedSize, 9000u);
  EXPECT_EQ(stream.compressedSize, 8192u);
  EXPECT_EQ(attributeName(bytes, stream).size(), 8u);
  EXPECT_EQ(runListBytes(bytes, stream).size(), 8u);  // up to the attribute's end
  EXPECT_TRUE(residentValue(bytes, stream).empty());
  EXPECT_TRUE(runListBytes(bytes, data).empty());
}

// Offsets of the smallFile() attributes: 56 (96 bytes), 152 (120), 272 (528), 800 (88); end
// marker at 888.
TEST(MftRecordAttributes, DamagedLengthsEndTheWalk) {
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    std::size_t attributes;
  };
  const Case cases[] = {
      {"length 0", [](Bytes& b) { talvix::test::putLe32(b, 152 + 4, 0); }, 1},
      {"length below a header", [](Bytes& b) { talvix::test::putLe32(b, 152 + 4, 8); }, 1},
      {"length past the record", [](Bytes& b) { talvix::test::putLe32(b, 800 + 4, 225); }, 3},
      {"length 0xFFFFFFFF", [](Bytes& b) { talvix::test::putLe32(b, 56 + 4, 0xFFFFFFFF); }, 0},
      {"no end marker", [](Bytes& b) { talvix::test::putLe32(b, 888, 0x100); }, 4},
      {"first attribute in the last 3 bytes", [](Bytes& b) { talvix::test::putLe16(b, 20, 1021); },
       0},
      {"first attribute past the record", [](Bytes& b) { talvix::test::putLe16(b, 20, 4000); }, 0},
  };
  Bytes sound = smallFile().protect();
  ASSERT_EQ(applyFixups(sound).verdict, Verdict::valid);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = sound;
    c.change(bytes);
    const AttributeWalk walk = walkAttributes(bytes);
    EXPECT_EQ(walk.attributes.size(), c.attributes);
    EXPECT_FALSE(walk.endMarker);
  }
}

TEST(MftRecordAttributes, AttributesFillingTheRecordEndAtItsEnd) {
  RecordBuilder r;
  r.resident(kAttrData, Bytes(1024 - 56 - 24));
  Bytes bytes = r.plain();
  const AttributeWalk walk = walkAttributes(bytes);
  EXPECT_EQ(walk.attributes.size(), 1u);
  EXPECT_FALSE(walk.endMarker);
}

// Parts that lie outside their attribute make it unsound: listed, but nothing of it is used,
// and the walk goes on with the next attribute.
TEST(MftRecordAttributes, PartsOutsideTheAttributeAreNotUsed) {
  struct Case {
    const char* what;
    std::size_t attribute;
    std::function<void(Bytes&)> change;
  };
  const Case cases[] = {
      {"resident value too long", 2, [](Bytes& b) { talvix::test::putLe32(b, 272 + 16, 600); }},
      {"resident value length 2^32-1", 2,
       [](Bytes& b) { talvix::test::putLe32(b, 272 + 16, 0xFFFFFFFF); }},
      {"resident value offset past the attribute", 1,
       [](Bytes& b) { talvix::test::putLe16(b, 152 + 20, 0xFFF0); }},
      {"resident value offset inside the header", 1,
       [](Bytes& b) { talvix::test::putLe16(b, 152 + 20, 8); }},
      {"name past the attribute", 3, [](Bytes& b) { b[800 + 9] = std::byte{0xFF}; }},
      {"run list offset past the attribute", 3,
       [](Bytes& b) { talvix::test::putLe16(b, 800 + 32, 89); }},
      {"run list offset inside the header", 3,
       [](Bytes& b) { talvix::test::putLe16(b, 800 + 32, 16); }},
      {"last VCN before the first", 3, [](Bytes& b) { talvix::test::putLe64(b, 800 + 16, 10); }},
  };
  Bytes sound = smallFile().protect();
  ASSERT_EQ(applyFixups(sound).verdict, Verdict::valid);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = sound;
    c.change(bytes);
    const AttributeWalk walk = walkAttributes(bytes);
    ASSERT_EQ(walk.attributes.size(), 4u);
    EXPECT_TRUE(walk.endMarker);
    const Attribute& a = walk.attributes[c.attribute];
    EXPECT_FALSE(a.sound);
    EXPECT_TRUE(residentValue(bytes, a).empty());
    EXPECT_TRUE(runListBytes(bytes, a).empty());
    EXPECT_TRUE(attributeName(bytes, a).empty());
  }
}

TEST(MftRecordAttributes, AnEmptyNonResidentAttributeIsSound) {
  RecordBuilder r;
  r.nonResident(kAttrData, {std::byte{0}}, {.firstVcn = 0, .lastVcn = ~std::uint64_t{0}});
  const Bytes bytes = r.plain();
  const AttributeWalk walk = walkAttributes(bytes);
  ASSERT_EQ(walk.attributes.size(), 1u);
  EXPECT_TRUE(walk.attributes[0].sound);
}

TEST(MftRecordAttributes, PartsAreCheckedAgainstTheRecordGiven) {
  Bytes bytes = smallFile().protect();
  const AttributeWalk walk = walkAttributes(bytes);
  const std::span<const std::byte> shorter = std::span(bytes).first(600);
  EXPECT_TRUE(residentValue(shorter, walk.attributes[2]).empty());
  EXPECT_TRUE(runListBytes(shorter, walk.attributes[3]).empty());
  EXPECT_TRUE(attributeName(shorter, walk.attributes[3]).empty());
}

}  // namespace
}  // namespace talvix::ntfs
