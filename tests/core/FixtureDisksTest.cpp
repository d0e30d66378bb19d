// Every container that qemu-img made from a raw guest disk reads back byte-identical to it,
// through the reader that content detection picks and through the page's explicit choices.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Cli.h"
#include "TestFiles.h"
#include "disk/DiskChoice.h"
#include "disk/VmdkReader.h"
#include "disk/VmdkSplitReader.h"
#include "util/ContainerFile.h"

namespace talvix {
namespace {

struct Fixture {
  std::string file, guest, kind, subformat;
};

std::vector<Fixture> fixtures() {
  std::vector<Fixture> list;
  std::ifstream in(test::fixtureDir() / "disks.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Fixture f;
    std::getline(fields, f.file, '\t');
    std::getline(fields, f.guest, '\t');
    std::getline(fields, f.kind, '\t');
    std::getline(fields, f.subformat, '\t');
    list.push_back(f);
  }
  return list;
}

// Compares the whole disk with the guest file; sectors beyond the guest must read as zeros.
void expectSameAsGuest(readWriteInterface& reader, const std::filesystem::path& guestPath,
                       bool mayBeLonger) {
  ContainerFile guest;
  ASSERT_TRUE(guest.open(guestPath));
  const auto guestBytes = static_cast<std::uint64_t>(guest.length());
  const std::uint64_t diskBytes = reader.diskSectors() * 512;
  if (mayBeLonger)
    ASSERT_GE(diskBytes, guestBytes);
  else
    ASSERT_EQ(diskBytes, guestBytes);
  constexpr std::size_t kChunk = 4 * 1024 * 1024 + 512;  // chunks that straddle grains and blocks
  std::vector<std::byte> ours(kChunk), theirs(kChunk);
  ASSERT_TRUE(reader.seek(0));
  for (std::uint64_t at = 0; at < diskBytes; at += kChunk) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, diskBytes - at));
    ASSERT_TRUE(reader.read(ours.data(), n)) << at;
    ASSERT_TRUE(guest.readAt(at, std::span(theirs).first(n)));  // zeros past the guest's end
    if (!std::equal(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(n), theirs.begin())) {
      const auto diff =
          std::mismatch(ours.begin(), ours.end(), theirs.begin()).first - ours.begin();
      FAIL() << "first difference at byte " << at + static_cast<std::uint64_t>(diff);
    }
  }
}

class FixtureDisks : public ::testing::TestWithParam<Fixture> {
 protected:
  std::filesystem::path path(const std::string& name) const { return test::fixtureDir() / name; }
};

TEST_P(FixtureDisks, DetectedReaderReadsTheGuestDisk) {
  const auto& f = GetParam();
  auto reader = makeDiskReader(detectDiskChoice(path(f.file)));
  ASSERT_TRUE(reader->open(path(f.file))) << reader->error().text;
  expectSameAsGuest(*reader, path(f.guest), f.kind.starts_with("vhd"));
}

// Disks that come as a descriptor and extent files can also be chosen in other ways.
class DescriptorDisks : public FixtureDisks {};

TEST_P(DescriptorDisks, PageChoicesReadTheGuestDisk) {
  const auto& f = GetParam();
  // The descriptor, and split mode started from the last extent of the set.
  FileReadSeekVmdkSplit descriptor;
  descriptor.descriptorMode = true;
  ASSERT_TRUE(descriptor.open(path(f.file))) << descriptor.error().text;
  expectSameAsGuest(descriptor, path(f.guest), false);
  if (f.subformat == "monolithicFlat") {
    // The flat extent alone, as if its descriptor were lost.
    FileReadSeekVmdk flat;
    flat.extentType = "FLAT";
    ASSERT_TRUE(flat.open(path(descriptor.extents().front().fileName)));
    expectSameAsGuest(flat, path(f.guest), false);
    return;
  }
  FileReadSeekVmdkSplit split;
  split.extentType = f.subformat.find("Flat") != std::string::npos ? "FLAT" : "SPARSE";
  ASSERT_TRUE(split.open(path(descriptor.extents().back().fileName))) << split.error().text;
  EXPECT_EQ(split.extents().size(), descriptor.extents().size());
  expectSameAsGuest(split, path(f.guest), false);
  if (split.extentType == "SPARSE") {
    // Found from content: a sparse extent without a descriptor of its own reads its set.
    auto detected = makeDiskReader(detectDiskChoice(path(descriptor.extents().back().fileName)));
    ASSERT_TRUE(detected->open(path(descriptor.extents().back().fileName)));
    expectSameAsGuest(*detected, path(f.guest), false);
  }
}

TEST_P(FixtureDisks, CommandLineExportEqualsTheGuestDisk) {
  const auto& f = GetParam();
  test::TempDir dir;
  const auto image = dir / "out.img";
  std::ostringstream out, err;
  std::vector<std::string> args = {"export", path(f.file).string(), image.string()};
  const bool big = f.guest.starts_with("big");
  if (big) args.insert(args.begin() + 1, "--sparse");  // 2 GiB of mostly zeros
  ASSERT_EQ(cli::run(args, {out, err, false}), 0) << err.str();
  FileReadSeekVmdk imageReader;
  imageReader.extentType = "FLAT";
  ASSERT_TRUE(imageReader.open(image));
  expectSameAsGuest(imageReader, path(f.guest), f.kind.starts_with("vhd"));
}

TEST_P(FixtureDisks, InfoNamesTheContainer) {
  const auto& f = GetParam();
  std::ostringstream out, err;
  ASSERT_EQ(cli::run({"info", path(f.file).string()}, {out, err, false}), 0) << err.str();
  const std::string text = out.str();
  const std::map<std::string, std::string> kindText = {{"vmdk-sparse", "VMDK sparse extent"},
                                                       {"vmdk-stream", "compressed grains"},
                                                       {"vmdk-descriptor", "VMDK descriptor"},
                                                       {"vhd-dynamic", "VHD dynamic"},
                                                       {"vhd-fixed", "VHD fixed"},
                                                       {"vdi", "VDI"}};
  EXPECT_NE(text.find(kindText.at(f.kind)), std::string::npos) << text;
  if (f.kind.starts_with("vmdk")) {
    EXPECT_NE(text.find(f.subformat), std::string::npos) << text;
  }
}

std::string testName(const ::testing::TestParamInfo<Fixture>& param) {
  std::string name = param.param.file;
  for (auto& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

std::vector<Fixture> descriptorFixtures() {
  std::vector<Fixture> list;
  for (const auto& f : fixtures())
    if (f.kind == "vmdk-descriptor") list.push_back(f);
  return list;
}

INSTANTIATE_TEST_SUITE_P(Qemu, FixtureDisks, ::testing::ValuesIn(fixtures()), testName);
INSTANTIATE_TEST_SUITE_P(Qemu, DescriptorDisks, ::testing::ValuesIn(descriptorFixtures()),
                         testName);

}  // namespace
}  // namespace talvix
