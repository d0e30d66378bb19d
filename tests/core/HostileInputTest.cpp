// Damaged and hostile containers: every reader must open them or refuse them with a reason,
// and every read must finish, without reading out of bounds or allocating without limit.
// The sanitizer build turns any such fault into a failure.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "SyntheticDisks.h"
#include "disk/DiskChoice.h"
#include "disk/VhdReader.h"
#include "disk/VmdkReader.h"
#include "disk/VmdkSplitReader.h"

namespace talvix {
namespace {

using test::Bytes;

struct Sample {
  const char* name;
  Bytes bytes;
  std::function<std::unique_ptr<readWriteInterface>()> makeReader;
};

std::vector<Sample> samples() {
  std::vector<Sample> s;
  test::SparseVmdkBuilder sparse;
  sparse.descriptor = test::vmdkDescriptorText("monolithicSparse", {"RW 4096 SPARSE \"d.vmdk\""});
  sparse.grains[1] = test::pattern(sparse.grainBytes(), 1);
  sparse.grains[300] = test::pattern(sparse.grainBytes(), 2);
  s.push_back({"sparse", sparse.build(), [] { return std::make_unique<FileReadSeekVmdk>(); }});

  test::SparseVmdkBuilder stream = sparse;
  stream.compressed = true;
  stream.gdInFooter = true;
  s.push_back({"stream", stream.build(), [] { return std::make_unique<FileReadSeekVmdk>(); }});

  test::DynamicVhdBuilder vhd;
  vhd.blockBytes = 64 * 1024;  // small blocks keep the sample small
  vhd.currentSize = 256 * 1024;
  vhd.blocks[1] = test::pattern(64 * 1024, 3);
  s.push_back({"vhd", vhd.build(), [] {
                 auto r = std::make_unique<FileReadSeekVHD>();
                 r->checkName = false;
                 return r;
               }});

  test::VdiBuilder vdi;
  vdi.blockBytes = 64 * 1024;
  vdi.diskBytes = 256 * 1024;
  vdi.blocks[2] = test::pattern(64 * 1024, 4);
  s.push_back({"vdi", vdi.build(), [] { return std::make_unique<FileReadSeekVdi>(); }});

  const std::string descriptor = test::vmdkDescriptorText(
      "twoGbMaxExtentSparse",
      {"RW 4096 SPARSE \"d-s001.vmdk\"", "RW 100 FLAT \"d-f002.vmdk\" 3", "RW 8 ZERO"});
  s.push_back({"descriptor",
               Bytes(reinterpret_cast<const std::byte*>(descriptor.data()),
                     reinterpret_cast<const std::byte*>(descriptor.data() + descriptor.size())),
               [] {
                 auto r = std::make_unique<FileReadSeekVmdkSplit>();
                 r->descriptorMode = true;
                 return r;
               }});
  return s;
}

// One random change: a field overwritten with an edge value or random bytes, or a truncation.
void damage(Bytes& b, std::mt19937& rng) {
  if (b.empty()) return;
  const std::uint32_t what = rng() % 10;
  if (what == 0) {
    b.resize(rng() % b.size());
    return;
  }
  // Most structure lives in the first sectors and the last one (footers).
  const std::size_t window = std::min<std::size_t>(b.size(), 4096);
  std::size_t at = rng() % window;
  if (what == 1) at = b.size() - 1 - rng() % std::min<std::size_t>(b.size(), 512);
  static constexpr std::uint64_t edges[] = {0,
                                            1,
                                            0x7F,
                                            0xFF,
                                            0x7FFFFFFF,
                                            0x80000000,
                                            0xFFFFFFFF,
                                            0xFFFFFFFFFFFFFFFF,
                                            0x7FFFFFFFFFFFFFFF,
                                            512,
                                            4096};
  const std::uint64_t value =
      (what < 6) ? edges[rng() % std::size(edges)] : (std::uint64_t{rng()} << 32 | rng());
  const std::size_t width = std::size_t{1} << (rng() % 4);
  for (std::size_t i = 0; i < width && at + i < b.size(); ++i)
    b[at + i] = static_cast<std::byte>(value >> (8 * i));
}

void exercise(readWriteInterface& r) {
  Bytes buffer(256 * 1024);
  const std::uint64_t sectors = std::min<std::uint64_t>(r.diskSectors(), 1u << 20);
  for (const std::uint64_t sector :
       {std::uint64_t{0}, sectors / 2, sectors ? sectors - 1 : 0, sectors + 10}) {
    if (r.seek(static_cast<std::int64_t>(sector * 512))) {
      r.read(buffer.data(), buffer.size());
      r.sectorMapped();
    }
  }
  r.info();
}

TEST(HostileInput, DamagedContainersOpenOrFailCleanly) {
  test::TempDir dir;
  // Extent files for the descriptor sample; some damaged cases point it at other sizes.
  test::SparseVmdkBuilder extent;
  extent.grains[0] = test::pattern(extent.grainBytes(), 9);
  test::writeFile(dir / "d-s001.vmdk", extent.build());
  test::writeFile(dir / "d-f002.vmdk", test::pattern(4096, 8));

  std::mt19937 rng(20261210);
  for (const auto& sample : samples()) {
    for (int round = 0; round < 150; ++round) {
      Bytes bytes = sample.bytes;
      const int changes = 1 + static_cast<int>(rng() % 4);
      for (int i = 0; i < changes; ++i) damage(bytes, rng);
      const auto path = dir / (std::string("case-") + sample.name);
      test::writeFile(path, bytes);
      SCOPED_TRACE(std::string(sample.name) + " round " + std::to_string(round));

      auto reader = sample.makeReader();
      if (reader->open(path))
        exercise(*reader);
      else
        EXPECT_FALSE(reader->error().text.empty());

      auto detected = makeDiskReader(detectDiskChoice(path));
      if (detected->open(path)) exercise(*detected);
    }
  }
}

TEST(HostileInput, DescriptorNamingItselfADeviceOrAFifoNeitherRecursesNorHangs) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  test::writeFile(dir / "d.vmdk",
                  test::vmdkDescriptorText("custom", {"RW 100 SPARSE \"d.vmdk\"",
                                                      "RW 100 FLAT \"../../../../dev/zero\" 0",
                                                      "RW 100 FLAT \"fifo\" 0"}));
  FileReadSeekVmdkSplit r;
  r.descriptorMode = true;
  ASSERT_TRUE(r.open(dir / "d.vmdk"));
  EXPECT_EQ(r.diskSectors(), 300u);
  Bytes out(300 * 512);
  ASSERT_TRUE(r.seek(0));
  EXPECT_TRUE(r.read(out.data(), out.size()));
  EXPECT_NE(r.info().extents[2].note.find("zeros"), std::string::npos);
}

}  // namespace
}  // namespace talvix
