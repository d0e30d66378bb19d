#include <gtest/gtest.h>

#include "SyntheticDisks.h"
#include "disk/VhdReader.h"

namespace talvix {
namespace {

using test::Bytes;
using test::readDiskAt;

constexpr std::size_t kBlock = 2 * 1024 * 1024;

class VhdTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(VhdTest, DynamicBlocksMapThroughTheTableAndHolesReadAsZeros) {
  test::DynamicVhdBuilder b;
  b.blocks[2] = test::pattern(kBlock, 2);  // stored first
  b.blocks[0] = test::pattern(kBlock, 1);
  test::writeFile(dir / "d.vhd", b.build());
  FileReadSeekVHD r;
  ASSERT_TRUE(r.open(dir / "d.vhd")) << r.error().text;
  EXPECT_EQ(r.diskSectors(), 8u * 1024 * 1024 / 512);
  EXPECT_EQ(readDiskAt(r, 0, kBlock), b.blocks[0]);
  EXPECT_EQ(readDiskAt(r, kBlock, kBlock), Bytes(kBlock));
  // Sector 4096 x 2 + 5 of block 2, and a read across the end of block 2 into block 3.
  EXPECT_EQ(readDiskAt(r, (4096 * 2 + 5) * 512, 512),
            Bytes(b.blocks[2].begin() + 5 * 512, b.blocks[2].begin() + 6 * 512));
  Bytes across = readDiskAt(r, 3 * kBlock - 512, 1024);
  EXPECT_TRUE(std::equal(across.begin(), across.begin() + 512, b.blocks[2].end() - 512));
  EXPECT_EQ(Bytes(across.begin() + 512, across.end()), Bytes(512));
  EXPECT_FALSE(r.seek(4 * kBlock));  // beyond the block table
}

TEST_F(VhdTest, FixedDiskIsItsFileWithoutTheFooter) {
  Bytes disk = test::pattern(3 * 1024 * 1024, 7);
  const Bytes footer = test::vhdFooter(disk.size(), 2, ~std::uint64_t{0});
  Bytes file = disk;
  file.insert(file.end(), footer.begin(), footer.end());
  test::writeFile(dir / "f.vhd", file);
  FileReadSeekVHD r;
  ASSERT_TRUE(r.open(dir / "f.vhd"));
  EXPECT_EQ(r.info().kind, "VHD fixed");
  EXPECT_EQ(r.diskSectors(), disk.size() / 512);
  EXPECT_EQ(readDiskAt(r, 0, disk.size() + 512), [&] {
    Bytes e = disk;
    e.resize(disk.size() + 512);
    return e;
  }());
}

TEST_F(VhdTest, RefusalsSayWhy) {
  test::DynamicVhdBuilder b;
  const Bytes good = b.build();
  test::writeFile(dir / "disk.img", good);
  FileReadSeekVHD byName;
  EXPECT_FALSE(byName.open(dir / "disk.img"));
  EXPECT_EQ(byName.error().text, "not a vhd file");
  FileReadSeekVHD byContent;
  byContent.checkName = false;
  EXPECT_TRUE(byContent.open(dir / "disk.img"));

  FileReadSeekVHD missing;
  EXPECT_FALSE(missing.open(dir / "absent.vhd"));
  EXPECT_EQ(missing.error().text, "invalid handle ...");

  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    const char* reason;
  };
  const Case cases[] = {
      {"differencing", [](Bytes& f) { test::putBe32(f, f.size() - 512 + 60, 4); }, "differencing"},
      {"no footer", [](Bytes& f) { f.assign(4096, std::byte{0}); }, "footer"},
      {"block size 0", [](Bytes& f) { test::putBe32(f, 512 + 32, 0); }, "block size"},
      {"header outside",
       [](Bytes& f) { test::putBe64(f, f.size() - 512 + 16, ~std::uint64_t{0} - 5); }, "outside"},
  };
  for (const auto& c : cases) {
    Bytes f = good;
    c.damage(f);
    test::writeFile(dir / "bad.vhd", f);
    FileReadSeekVHD r;
    EXPECT_FALSE(r.open(dir / "bad.vhd")) << c.name;
    EXPECT_NE(r.error().text.find(c.reason), std::string::npos) << c.name << ": " << r.error().text;
  }
}

TEST_F(VhdTest, HostileTablesReadAsZerosOrWhatTheFileHolds) {
  test::DynamicVhdBuilder b;
  b.blocks[0] = test::pattern(kBlock, 1);
  Bytes f = b.build();
  test::putBe32(f, 512 + 28, 0xFFFFFFF0);  // far more table entries than the file holds
  test::putBe32(f, 1536 + 4, 0x7FFFFFFF);  // block 1 far past the end of the file
  test::writeFile(dir / "h.vhd", f);
  FileReadSeekVHD r;
  ASSERT_TRUE(r.open(dir / "h.vhd"));
  EXPECT_EQ(readDiskAt(r, 0, kBlock), b.blocks[0]);
  EXPECT_EQ(readDiskAt(r, kBlock, 4096), Bytes(4096));
}

TEST(VdiTest, BlocksMapThroughTheMap) {
  test::TempDir dir;
  test::VdiBuilder b;
  b.blocks[1] = test::pattern(1024 * 1024, 1);
  b.blocks[3] = test::pattern(1024 * 1024, 3);
  b.blocks[0] = test::pattern(1024 * 1024, 9);
  b.mapOverride[0] = 0xFFFFFFFE;  // a block of zeros without storage
  test::writeFile(dir / "d.vdi", b.build());
  FileReadSeekVdi r;
  ASSERT_TRUE(r.open(dir / "d.vdi")) << r.error().text;
  EXPECT_EQ(r.diskSectors(), 8192u);
  EXPECT_EQ(readDiskAt(r, 0, 4096), Bytes(4096));
  // Position 1 MiB + 512 reads block 1 at 512.
  EXPECT_EQ(readDiskAt(r, 1024 * 1024 + 512, 512),
            Bytes(b.blocks[1].begin() + 512, b.blocks[1].begin() + 1024));
  EXPECT_EQ(readDiskAt(r, 2 * 1024 * 1024, 1024 * 1024), Bytes(1024 * 1024));
  EXPECT_EQ(readDiskAt(r, 3 * 1024 * 1024, 1024 * 1024), b.blocks[3]);
  EXPECT_FALSE(r.seek(4 * 1024 * 1024));
}

TEST(VdiTest, ZeroHeaderFieldsAndImpossibleBlocksAreRefused) {
  test::TempDir dir;
  const Bytes good = test::VdiBuilder{}.build();
  for (const std::size_t field : {0x48u, 0x170u, 0x178u, 0x184u}) {
    Bytes f = good;
    test::putLe32(f, field, 0);
    if (field == 0x170) test::putLe64(f, field, 0);
    test::writeFile(dir / "z.vdi", f);
    FileReadSeekVdi r;
    EXPECT_FALSE(r.open(dir / "z.vdi")) << std::hex << field;
  }
  Bytes huge = good;
  test::putLe32(huge, 0x178, 0xFFFFFFFF);
  test::writeFile(dir / "z.vdi", huge);
  FileReadSeekVdi r;
  EXPECT_FALSE(r.open(dir / "z.vdi"));
}

}  // namespace
}  // namespace talvix
