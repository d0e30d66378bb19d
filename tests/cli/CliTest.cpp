#include <gtest/gtest.h>

#include <sstream>

#include "Cli.h"
#include "SyntheticDisks.h"

namespace talvix {
namespace {

struct Outcome {
  int code;
  std::string out, err;
};

Outcome talvix(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = cli::run(args, {out, err, false});
  return {code, out.str(), err.str()};
}

std::size_t lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(Cli, HelpAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string expected;  // in stdout for 0, stderr otherwise
  };
  const Case cases[] = {
      {{"--help"}, 0, "Commands:"},
      {{"info", "--help"}, 0, "Usage: talvix info"},
      {{"export", "-h"}, 0, "--sparse"},
      {{}, 2, "Usage:"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"info"}, 2, "info takes one DISK"},
      {{"info", "a", "b"}, 2, "info takes one DISK"},
      {{"info", "--bogus", "a"}, 2, "unknown option --bogus"},
      {{"info", "--sparse", "a"}, 2, "unknown option --sparse"},
      {{"info", "--extent-type"}, 2, "needs SPARSE or FLAT"},
      {{"info", "--extent-type", "thin", "a"}, 2, "SPARSE or FLAT, not thin"},
      {{"export", "--split", "--descriptor", "a", "b"}, 2, "exclude each other"},
      {{"export", "a"}, 2, "export takes DISK and OUT.img"},
      {{"volumes", "--help"}, 0, "--no-skip"},
      {{"volumes", "--from", "5", "a"}, 2, "go with --advanced"},
      {{"volumes", "--advanced", "--to", "x1", "a"}, 2, "--to takes a sector number, not x1"},
      {{"volumes", "--format", "xml", "a"}, 2, "table, tsv or json, not xml"},
      {{"volumes", "--format"}, 2, "--format needs a value"},
  };
  for (const auto& c : cases) {
    const auto r = talvix(c.args);
    EXPECT_EQ(r.code, c.code) << testing::PrintToString(c.args);
    EXPECT_NE((c.code == 0 ? r.out : r.err).find(c.expected), std::string::npos)
        << testing::PrintToString(c.args) << "\n"
        << r.out << r.err;
  }
}

TEST(Cli, ErrorsAreOneClearLine) {
  test::TempDir dir;
  test::writeFile(dir / "disk.vmdk", "x");
  const std::vector<std::vector<std::string>> failing = {
      {"info", (dir / "absent.vmdk").string()},
      {"info", "--vhd", (dir / "disk.vmdk").string()},
      {"info", "--split", (dir / "disk.vmdk").string()},
      {"export", (dir / "absent.vmdk").string(), (dir / "out.img").string()},
      {"export", (dir / "disk.vmdk").string(), (dir / "no/such/dir/out.img").string()},
  };
  for (const auto& args : failing) {
    const auto r = talvix(args);
    EXPECT_EQ(r.code, 1) << testing::PrintToString(args);
    EXPECT_EQ(lines(r.err), 1u) << r.err;
    EXPECT_TRUE(r.err.starts_with("talvix: ")) << r.err;
  }
  EXPECT_NE(talvix(failing[1]).err.find("no VHD footer"), std::string::npos);
  EXPECT_NE(talvix(failing[2]).err.find("Possibly not a split file"), std::string::npos);
}

TEST(Cli, InfoDescribesASparseDisk) {
  test::TempDir dir;
  test::SparseVmdkBuilder b;
  b.descriptor = test::vmdkDescriptorText("monolithicSparse", {"RW 4096 SPARSE \"disk.vmdk\""});
  test::writeFile(dir / "disk.vmdk", b.build());
  const auto r = talvix({"info", (dir / "disk.vmdk").string()});
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* expected : {"Container:       VMDK sparse extent (monolithicSparse)",
                               "Format version:  1", "Disk size:       4096 sectors (2 MB)",
                               "Geometry:        cylinders 8, heads 16, sectors per track 63",
                               "  1: SPARSE 4096 sectors \"disk.vmdk\""})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
}

TEST(Cli, ExportWritesTheGuestDisk) {
  test::TempDir dir;
  test::DynamicVhdBuilder b;
  b.blocks[1] = test::pattern(2 * 1024 * 1024, 4);
  test::writeFile(dir / "disk.bin", b.build());  // found by content, whatever its name
  for (const bool sparse : {false, true}) {
    std::vector<std::string> args = {"export", (dir / "disk.bin").string(),
                                     (dir / "out.img").string()};
    if (sparse) args.insert(args.begin() + 1, "--sparse");
    const auto r = talvix(args);
    ASSERT_EQ(r.code, 0) << r.err;
    const auto image = test::readFile(dir / "out.img");
    ASSERT_EQ(image.size(), b.currentSize);
    EXPECT_TRUE(
        std::equal(b.blocks[1].begin(), b.blocks[1].end(), image.begin() + 2 * 1024 * 1024));
    EXPECT_EQ(std::count(image.begin(), image.begin() + 2 * 1024 * 1024, std::byte{0}),
              2 * 1024 * 1024);
  }
}

// A raw disk: MBR with an NTFS and a FAT32 partition, and an NTFS boot sector in each
// partition's first sector for the sector search.
std::filesystem::path twoVolumeDisk(const test::TempDir& dir) {
  test::Bytes disk(6 * 1024 * 1024);
  const std::pair<std::uint32_t, std::uint32_t> parts[] = {{2048, 4096}, {6144, 6144}};
  for (std::size_t i = 0; i < 2; ++i) {
    const std::size_t at = 446 + 16 * i;
    disk[at + 4] = std::byte{static_cast<unsigned char>(i == 0 ? 0x07 : 0x0C)};
    test::putLe32(disk, at + 8, parts[i].first);
    test::putLe32(disk, at + 12, parts[i].second);
    const std::size_t boot = std::size_t{parts[i].first} * 512;
    disk[boot] = std::byte{0xEB};
    disk[boot + 1] = std::byte{0x52};
    test::putText(disk, boot + 3, "NTFS    ");
    test::putLe16(disk, boot + 11, 512);
    test::putLe64(disk, boot + 40, parts[i].second - 1);
  }
  test::putLe16(disk, 510, 0xAA55);
  test::writeFile(dir / "disk.img", disk);
  return dir / "disk.img";
}

TEST(Cli, VolumesInEveryFormat) {
  test::TempDir dir;
  const std::string disk = twoVolumeDisk(dir).string();
  EXPECT_EQ(talvix({"volumes", disk}).out,
            "Volume  File System  Volume Size  Start Sector\n"
            "0       NTFS         2   MB               2048\n"
            "1       FAT32        3   MB               6144\n");
  EXPECT_EQ(talvix({"volumes", "--format", "tsv", disk}).out,
            "0\tNTFS\t2   MB\t2048\n1\tFAT32\t3   MB\t6144\n");
  EXPECT_EQ(talvix({"volumes", "--format", "json", "--extent-type", "flat", disk}).out,
            "[\n {\"volume\": \"0\", \"fileSystem\": \"NTFS\", \"volumeSize\": \"2   MB\", "
            "\"sizeMiB\": 2, "
            "\"startSector\": 2048},\n {\"volume\": \"1\", \"fileSystem\": \"FAT32\", "
            "\"volumeSize\": \"3   MB\", "
            "\"sizeMiB\": 3, \"startSector\": 6144}\n]\n");
  // The sector search lists its latest find first, as the volume list does.
  EXPECT_EQ(talvix({"volumes", "--advanced", "--format", "tsv", disk}).out,
            "1\tNTFS\t2   MB\t6144\n0\tNTFS\t1   MB\t2048\n");
  EXPECT_EQ(talvix({"volumes", "--advanced", "--from", "3000", "--format", "tsv", disk}).out,
            "0\tNTFS\t2   MB\t6144\n");
}

TEST(Cli, SearchListsMatchingFilesOfTheSampleDisk) {
  const std::string disk = (test::sourceDir() / "examples" / "sample.vmdk").string();
  struct Case {
    std::vector<std::string> args;  // after "search DISK --volume 0"
    int code;
    std::string out, err;  // err: a part of standard error
  };
  const Case cases[] = {
      {{"txt$"},
       0,
       "ROOT\\COMPRESSED\\compressible.txt\n"
       "ROOT\\DOCUMENTS\\REPORTS\\2023\\summary.txt\n"
       "ROOT\\DOCUMENTS\\letter.txt\n"
       "ROOT\\OLD PROJECTS\\plan.txt\n"
       "ROOT\\ÜNïCøDé – 日本語\\Grüße.txt\n"
       "ROOT\\ÜNïCøDé – 日本語\\Привет мир.txt\n"
       "ROOT\\README.txt\n"
       "ROOT\\deleted-note.txt\n",
       ""},
      {{"^A|PHOTO"},
       0,
       "ROOT\\DOCUMENTS\\REPORTS\\2023\\annual-report.bin\n"
       "ROOT\\PICTURES\\photo-0001.bin\n"
       "ROOT\\PICTURES\\deleted-photo.bin\n",
       ""},
      {{"--path", "Documents/Reports", "^a|letter"},
       0,
       "ROOT\\DOCUMENTS\\REPORTS\\2023\\annual-report.bin\n",
       ""},
      {{"nothing-is-called-this"}, 0, "", ""},
      {{"*.jpg"},
       2,
       "",
       "such characters are not allowed for search.Try again with different pattern."},
      {{"--path", "README.txt", "txt"}, 1, "", "no folder README.txt"},
      {{}, 2, "", "search takes DISK and PATTERN"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"search", disk, "--volume", "0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = talvix(args);
    SCOPED_TRACE(testing::PrintToString(c.args) + "\n" + r.err);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_NE(r.err.find(c.err), std::string::npos);
  }
  EXPECT_NE(talvix({"--help"}).out.find("search DISK VOLUME PATTERN"), std::string::npos);
  EXPECT_NE(talvix({"search", "--help"}).out.find("Usage: talvix search"), std::string::npos);
}

}  // namespace
}  // namespace talvix
