// `talvix save` and `talvix ls` on NTFS volumes made by mkntfs and ntfs-3g, checked against
// The Sleuth Kit: every allocated regular file that fls lists must be saved under the same
// path with the bytes icat reads and with its modification time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "Cli.h"
#include "TestFiles.h"

namespace talvix {
namespace {

namespace fs = std::filesystem;

std::string shellQuote(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Standard output of a shell command; nullopt when it fails.
std::optional<std::string> capture(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return ::pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

bool haveSleuthKit() {
  return capture("command -v fls").has_value() && capture("command -v icat").has_value();
}

struct TskFile {
  std::string inode;  // "64-128-2": record, attribute type, attribute id
  std::int64_t modified = 0;
};

// Allocated regular files (and their named streams) of the volume at `sector`, by path, from
// fls's body output. Metadata files ("$..." at the top) are left out: the browser keeps them,
// but the $MFT itself is never shown.
std::map<std::string, TskFile> tskFiles(const fs::path& image, std::int64_t sector) {
  std::map<std::string, TskFile> files;
  const auto body =
      capture("fls -r -p -m / -o " + std::to_string(sector) + " " + shellQuote(image.string()));
  EXPECT_TRUE(body.has_value()) << "fls failed on " << image;
  std::istringstream lines(body.value_or(""));
  std::vector<std::pair<std::string, TskFile>> all;
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '|');) f.push_back(cell);
    if (f.size() < 11 || f[3].rfind("r/r", 0) != 0) continue;
    const std::string& name = f[1];
    if (name.find(" ($FILE_NAME)") != std::string::npos ||
        name.find("(deleted") != std::string::npos || name.rfind("/$", 0) == 0) {
      continue;
    }
    all.push_back({name.substr(1), {f[2], std::stoll(f[8])}});
  }
  for (auto& [path, file] : all) files.emplace(path, file);
  // The fixture's own list of what it wrote knows the times that fls cannot show (before
  // 1970 it wraps them around).
  fs::path written = image;
  written.replace_extension(".files.tsv");
  std::ifstream list(written);
  for (std::string line; std::getline(list, line);) {
    const auto tab = line.find('\t');
    const auto last = line.rfind('\t');
    const auto it = files.find(line.substr(0, tab));
    if (tab != std::string::npos && it != files.end()) {
      it->second.modified = std::stoll(line.substr(last + 1));
    }
  }
  return files;
}

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int talvix(const std::vector<std::string>& args, std::string* out = nullptr) {
  std::ostringstream o, e;
  const int code = cli::run(args, {o, e, false});
  if (out != nullptr) *out = o.str();
  if (code != 0) ADD_FAILURE() << "talvix failed: " << e.str();
  return code;
}

struct Volume {
  fs::path image;
  std::int64_t sector;
};

// The NTFS volumes to compare: the example disk and the NTFS fixtures.
std::vector<Volume> ntfsVolumes() {
  std::vector<Volume> volumes{{test::sourceDir() / "examples" / "sample.vmdk", 2048}};
  const fs::path dir = test::fixtureDir().parent_path() / "ntfs";
  for (const char* name : {"ntfs4k.vmdk", "ntfs512.vmdk"}) {
    if (fs::exists(dir / name)) volumes.push_back({dir / name, 2048});
  }
  return volumes;
}

TEST(NtfsAgainstTsk, SavedFilesMatchIcatWithPathsAndTimes) {
  if (!haveSleuthKit()) GTEST_SKIP() << "The Sleuth Kit is not installed";
  for (const Volume& v : ntfsVolumes()) {
    SCOPED_TRACE(v.image.string());
    const auto expected = tskFiles(v.image, v.sector);
    ASSERT_FALSE(expected.empty());
    test::TempDir out;
    ASSERT_EQ(talvix({"save", v.image.string(), "--volume", "0", "--out", out.path().string()}), 0);
    // A file with several names (hard links) is saved under one of them.
    std::map<std::string, std::string> savedByRecord;
    for (const auto& [path, file] : expected) {
      if (fs::exists(out.path() / path)) savedByRecord[file.inode] = path;
    }
    // tsk_recover writes every allocated file under its path in one run; streams, which it
    // leaves out, come from icat.
    test::TempDir reference;
    ASSERT_TRUE(capture("tsk_recover -a -o " + std::to_string(v.sector) + " " +
                        shellQuote(v.image.string()) + " " + shellQuote(reference.path().string()))
                    .has_value());
    for (const auto& [path, file] : expected) {
      SCOPED_TRACE(path);
      fs::path saved = out.path() / path;
      if (!fs::exists(saved)) {
        ASSERT_TRUE(savedByRecord.contains(file.inode)) << "not saved";
        saved = out.path() / savedByRecord[file.inode];
      }
      std::optional<std::string> content;
      if (path.find(':') == std::string::npos) {
        content = fileBytes(reference.path() / path);
      } else {
        content = capture("icat -o " + std::to_string(v.sector) + " " +
                          shellQuote(v.image.string()) + " " + file.inode);
      }
      ASSERT_TRUE(content.has_value());
      EXPECT_TRUE(fileBytes(saved) == *content) << "content differs";
      struct stat st {};
      ASSERT_EQ(::stat(saved.c_str(), &st), 0);
      EXPECT_EQ(st.st_mtime, file.modified);
    }
  }
}

TEST(NtfsAgainstTsk, ListingHoldsEveryFileTskLists) {
  if (!haveSleuthKit()) GTEST_SKIP() << "The Sleuth Kit is not installed";
  for (const Volume& v : ntfsVolumes()) {
    SCOPED_TRACE(v.image.string());
    std::string listing;
    ASSERT_EQ(talvix({"ls", v.image.string(), "--volume", "0", "-r", "--format", "tsv"}, &listing),
              0);
    std::map<std::string, std::uint64_t> sizes;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> f;
      std::istringstream cells(line);
      for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
      ASSERT_EQ(f.size(), 4u) << line;
      if (f[0] == "f" && f[1] == "0") sizes[f[3]] = std::stoull(f[2]);
    }
    // Each file once: a file with several names (hard links) is listed under one of them.
    std::map<std::string, std::vector<std::string>> pathsByRecord;
    for (const auto& [path, file] : tskFiles(v.image, v.sector)) {
      if (path.find(':') != std::string::npos) continue;  // streams are saved, not listed
      pathsByRecord[file.inode].push_back(path);
    }
    for (const auto& [record, paths] : pathsByRecord) {
      EXPECT_TRUE(std::any_of(paths.begin(), paths.end(), [&](const std::string& p) {
        return sizes.contains(p);
      })) << paths.front();
    }
  }
}

// A volume whose boot sector is zeroed is read through the $MFT found by searching: the same
// files come out as from the healthy volume.
TEST(NtfsAgainstTsk, DamagedBootSectorGivesTheSameFiles) {
  const fs::path dir = test::fixtureDir().parent_path() / "ntfs";
  if (!fs::exists(dir / "ntfs4k-noboot.vmdk")) GTEST_SKIP() << "no damaged-boot fixture";
  std::string healthy, damaged;
  talvix({"ls", (dir / "ntfs4k.vmdk").string(), "--volume", "0", "-r", "--format", "tsv"},
         &healthy);
  talvix({"ls", (dir / "ntfs4k-noboot.vmdk").string(), "--volume", "0", "-r", "--format", "tsv"},
         &damaged);
  EXPECT_GT(healthy.size(), 1000u);
  EXPECT_EQ(damaged, healthy);
}

}  // namespace
}  // namespace talvix
