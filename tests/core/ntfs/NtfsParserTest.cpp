// Small NTFS volumes built in memory, written as raw images and scanned as the browser scans
// them: how records become folders and orphans, what files read back, what hostile records and
// damaged boot sectors do, the deep scan's grouping, and saving through the adapter.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "NtfsRecordBuilder.h"
#include "Recorders.h"
#include "TestFiles.h"
#include "browser/SaveWalk.h"
#include "browser/VolumeScan.h"
#include "disk/DiskChoice.h"
#include "fs/ntfs/MftRecord.h"
#include "util/ByteSink.h"

namespace talvix {
namespace {

using ntfs::test::RecordBuilder;
using test::Bytes;
using test::putLe16;
using test::putLe32;
using test::putLe64;

constexpr std::uint64_t kRoot = 5;
constexpr std::int64_t kModifiedUnix = 1'600'000'000;
constexpr std::uint64_t fileTime(std::int64_t unixSeconds) {
  return static_cast<std::uint64_t>(unixSeconds) * 10'000'000 + 116'444'736'000'000'000;
}

Bytes text(std::string_view s) {
  const auto b = std::as_bytes(std::span(s.data(), s.size()));
  return Bytes(b.begin(), b.end());
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes slice(const Bytes& b, std::size_t from, std::size_t count) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
               b.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// ---------------------------------------------------------------------------------------------
// Records

// 1 Win32, 2 DOS, 3 Win32 and DOS.
Bytes fileNameValue(std::u16string_view name, std::uint64_t parent, bool folder,
                    std::uint8_t nameSpace = 1) {
  Bytes v(66 + 2 * name.size());
  putLe64(v, 0, parent | (std::uint64_t{3} << 48));  // a sequence number in the top bits
  putLe32(v, 56, folder ? 0x10000000 : 0x20);
  v[64] = std::byte{static_cast<std::uint8_t>(name.size())};
  v[65] = std::byte{nameSpace};
  for (std::size_t i = 0; i < name.size(); ++i) putLe16(v, 66 + 2 * i, name[i]);
  return v;
}

Bytes standardInformation() {
  Bytes v(72);
  putLe64(v, 0, fileTime(kModifiedUnix - 1000));
  putLe64(v, 8, fileTime(kModifiedUnix));
  putLe64(v, 16, fileTime(kModifiedUnix));
  putLe64(v, 24, fileTime(kModifiedUnix + 1000));
  return v;
}

// A base record with $STANDARD_INFORMATION and one Win32 $FILE_NAME; the header's directory
// flag follows `folder`.
RecordBuilder named(std::u16string_view name, std::uint64_t parent, bool folder = false,
                    bool live = true) {
  RecordBuilder r(1024, static_cast<std::uint16_t>((live ? 1 : 0) | (folder ? 2 : 0)));
  r.resident(ntfs::kAttrStandardInformation, standardInformation());
  r.resident(ntfs::kAttrFileName, fileNameValue(name, parent, folder));
  return r;
}

// `r` as a writer stores it: protected, with its own number and its base record (0 for a
// base record) in the header.
Bytes stored(const RecordBuilder& r, std::uint64_t number, std::uint64_t base = 0) {
  Bytes b = r.protect();
  putLe64(b, 32, base == 0 ? 0 : base | (std::uint64_t{3} << 48));
  putLe32(b, 44, static_cast<std::uint32_t>(number));
  return b;
}

// One run of a run list: `clusters` clusters from cluster `lcn`; a hole when lcn < 0.
struct Extent {
  std::uint64_t clusters;
  std::int64_t lcn = -1;
};

std::uint64_t clustersOf(const std::vector<Extent>& runs) {
  std::uint64_t n = 0;
  for (const Extent& r : runs) n += r.clusters;
  return n;
}

Bytes runList(const std::vector<Extent>& runs) {
  Bytes b;
  std::int64_t previous = 0;
  for (const Extent& run : runs) {
    unsigned lengthBytes = 1;
    while (lengthBytes < 8 && (run.clusters >> (8 * lengthBytes)) != 0) ++lengthBytes;
    unsigned offsetBytes = 0;
    std::int64_t delta = 0;
    if (run.lcn >= 0) {
      delta = run.lcn - previous;
      previous = run.lcn;
      offsetBytes = 1;
      while (offsetBytes < 8 && (delta < -(std::int64_t{1} << (8 * offsetBytes - 1)) ||
                                 delta >= (std::int64_t{1} << (8 * offsetBytes - 1)))) {
        ++offsetBytes;
      }
    }
    b.push_back(std::byte{static_cast<std::uint8_t>(lengthBytes | offsetBytes << 4)});
    for (unsigned i = 0; i < lengthBytes; ++i) b.push_back(std::byte(run.clusters >> (8 * i)));
    const auto d = static_cast<std::uint64_t>(delta);
    for (unsigned i = 0; i < offsetBytes; ++i) b.push_back(std::byte(d >> (8 * i)));
  }
  b.push_back(std::byte{0});
  return b;
}

RecordBuilder::NonResident sized(const std::vector<Extent>& runs, std::uint64_t realSize,
                                 std::uint64_t clusterBytes = 4096, std::uint64_t firstVcn = 0) {
  const std::uint64_t clusters = clustersOf(runs);
  return {.firstVcn = firstVcn,
          .lastVcn = firstVcn + clusters - 1,
          .allocatedSize = clusters * clusterBytes,
          .realSize = realSize,
          .initializedSize = realSize};
}

// One $ATTRIBUTE_LIST entry: the attribute `type` piece starting at `firstVcn` lies in record
// `number`.
Bytes listEntry(std::uint32_t type, std::uint64_t firstVcn, std::uint64_t number) {
  Bytes e(32);
  putLe32(e, 0, type);
  putLe16(e, 4, 32);
  e[7] = std::byte{26};
  putLe64(e, 8, firstVcn);
  putLe64(e, 16, number | (std::uint64_t{3} << 48));
  return e;
}

// An LZNT1 chunk that holds `data` as literal tokens only: a flag byte before every 8 bytes,
// so at most 3640 bytes fit in a chunk's 4096.
Bytes literalChunk(const Bytes& data) {
  Bytes c(2);
  for (std::size_t i = 0; i < data.size(); i += 8) {
    c.push_back(std::byte{0});
    c.insert(c.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
             data.begin() + static_cast<std::ptrdiff_t>(std::min(i + 8, data.size())));
  }
  EXPECT_LE(c.size() - 2, 4096u);
  putLe16(c, 0, static_cast<std::uint16_t>(0xB000 | (c.size() - 3)));
  return c;
}

// An LZNT1 chunk stored as it is (what a writer does with 4096 bytes that do not shrink).
Bytes storedChunk(const Bytes& data) {
  Bytes c(2);
  putLe16(c, 0, static_cast<std::uint16_t>(0x3000 | (data.size() - 1)));
  c.insert(c.end(), data.begin(), data.end());
  return c;
}

// ---------------------------------------------------------------------------------------------
// Volumes

struct Geometry {
  std::uint64_t clusterBytes = 4096;
  std::vector<Extent> mft = {{16, 4}};  // the $MFT's clusters, as record 0 maps them
  std::uint64_t volumeBytes = 1 << 20;
};

// A raw NTFS volume: boot sector, an $MFT whose record 0 describes its own runs, and the root
// "." (record 5, its own parent). Records are 1024 bytes.
class Image {
 public:
  static constexpr std::size_t kRecordBytes = 1024;

  explicit Image(Geometry g = {}) : geometry(std::move(g)), bytes(geometry.volumeBytes) {
    test::putText(bytes, 3, "NTFS    ");
    putLe16(bytes, 11, 512);
    bytes[13] = std::byte{static_cast<std::uint8_t>(geometry.clusterBytes / 512)};
    putLe64(bytes, 40, geometry.volumeBytes / 512 - 1);  // less the backup boot sector
    putLe64(bytes, 48, static_cast<std::uint64_t>(geometry.mft.front().lcn));
    putLe64(bytes, 56, 2);
    bytes[64] = std::byte{0xF6};
    bytes[68] = std::byte{0xF4};
    putLe16(bytes, 510, 0xAA55);

    RecordBuilder mft = named(u"$MFT", kRoot);
    const std::uint64_t mftBytes = clustersOf(geometry.mft) * geometry.clusterBytes;
    mft.nonResident(ntfs::kAttrData, runList(geometry.mft),
                    sized(geometry.mft, mftBytes, geometry.clusterBytes));
    put(0, mft);
    RecordBuilder root(1024, 3);
    root.resident(ntfs::kAttrStandardInformation, standardInformation());
    root.resident(ntfs::kAttrFileName, fileNameValue(u".", kRoot, true, 3));
    put(kRoot, root);
  }

  // Record `number` where the $MFT's runs place it (a record may span two runs).
  void put(std::uint64_t number, const Bytes& record) {
    const std::uint64_t cb = geometry.clusterBytes;
    for (std::size_t i = 0; i < record.size();) {
      std::uint64_t vcn = (number * kRecordBytes + i) / cb;
      const std::uint64_t within = (number * kRecordBytes + i) % cb;
      const std::size_t n = std::min<std::size_t>(record.size() - i, cb - within);
      for (const Extent& run : geometry.mft) {
        if (vcn >= run.clusters) {
          vcn -= run.clusters;
          continue;
        }
        if (run.lcn >= 0) {
          const std::uint64_t at = (static_cast<std::uint64_t>(run.lcn) + vcn) * cb + within;
          std::copy_n(record.begin() + static_cast<std::ptrdiff_t>(i), n,
                      bytes.begin() + static_cast<std::ptrdiff_t>(at));
        }
        break;
      }
      i += n;
    }
  }
  void put(std::uint64_t number, const RecordBuilder& r, std::uint64_t base = 0) {
    put(number, stored(r, number, base));
  }

  void putClusters(std::uint64_t lcn, const Bytes& data) {
    ASSERT_LE(lcn * geometry.clusterBytes + data.size(), bytes.size());
    std::copy(data.begin(), data.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(lcn * geometry.clusterBytes));
  }

  Geometry geometry;
  Bytes bytes;
};

// The image written to a file and scanned by scanVolume, as the browser's worker does.
struct Scan {
  test::TempDir dir;
  std::unique_ptr<readWriteInterface> reader;
  std::unique_ptr<ScannedVolume> volume;
  EntrySource& entries() const { return volume->entries(); }
};

std::unique_ptr<Scan> scan(const Bytes& image, ScanMode mode = ScanMode::standard,
                           const char* sizeText = "1") {
  auto s = std::make_unique<Scan>();
  const auto path = s->dir / "volume.img";
  test::writeFile(path, image);
  s->reader = makeDiskReader(detectDiskChoice(path));
  if (s->reader == nullptr || !s->reader->open(path)) {
    ADD_FAILURE() << "the image does not open";
    return nullptr;
  }
  Volume volume;
  volume.fileSystem = "NTFS";
  volume.sizeText = sizeText;
  std::string error;
  s->volume = scanVolume(*s->reader, volume, mode, {}, error);
  if (s->volume == nullptr) {
    ADD_FAILURE() << error;
    return nullptr;
  }
  return s;
}

// What the browser shows below `folder`, depth first in chain order, one line per entry: its
// path, '/' after a folder's name, '~' before a deleted entry's name. A recursive walk with no
// guard of its own: entries that loop fail the test here instead of running away.
void listInto(const EntrySource& s, EntryId folder, const std::string& prefix, int depth,
              std::vector<std::string>& out) {
  if (depth > 16) {
    ADD_FAILURE() << "folders nest without end below " << prefix;
    return;
  }
  for (EntryId c = firstChildOf(s, folder); c != kNoEntry; c = s.nextSibling(c)) {
    if (out.size() > 5000) {
      ADD_FAILURE() << "a chain of entries loops below " << prefix;
      return;
    }
    out.push_back(prefix + (s.deleted(c) ? "~" : "") + s.name(c) + (s.isFolder(c) ? "/" : ""));
    if (s.isFolder(c)) listInto(s, c, prefix + s.name(c) + "/", depth + 1, out);
  }
}

// The listing, with the lines below "ORPHAN_ENTRY/" sorted: their order is not the point.
std::vector<std::string> listing(const EntrySource& s) {
  std::vector<std::string> lines;
  listInto(s, kNoEntry, "", 0, lines);
  const auto orphans = std::find(lines.begin(), lines.end(), "ORPHAN_ENTRY/");
  if (orphans != lines.end()) std::sort(orphans + 1, lines.end());
  return lines;
}

// The entry at `path` ("Folder/name"); kNoEntry when it is not shown.
EntryId find(const EntrySource& s, std::string_view path) {
  EntryId at = kNoEntry;
  while (!path.empty()) {
    const auto slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    EntryId match = kNoEntry;
    int steps = 0;
    for (EntryId c = firstChildOf(s, at); c != kNoEntry && steps < 5000;
         c = s.nextSibling(c), ++steps) {
      if (s.name(c) == part) match = c;
    }
    if (match == kNoEntry) return kNoEntry;
    at = match;
  }
  return at;
}

// Keeps up to `cap` bytes and refuses more, so that a stream claiming petabytes ends at once;
// zeros are counted, not written out by the base class.
struct CappedSink final : ByteSink {
  explicit CappedSink(std::uint64_t limit = 16 << 20) : cap(limit) {}
  bool write(std::span<const std::byte> b) override {
    if (b.size() > cap - bytes.size()) return refuse();
    bytes.insert(bytes.end(), b.begin(), b.end());
    return true;
  }
  bool zeros(std::uint64_t count) override {
    if (count > cap - bytes.size()) return refuse();
    bytes.resize(bytes.size() + count);
    return true;
  }
  bool refuse() {
    refused = true;
    return false;
  }
  std::uint64_t cap;
  Bytes bytes;
  bool refused = false;
};

Bytes content(EntrySource& s, EntryId id) {
  CappedSink sink;
  EXPECT_TRUE(s.writeContent(id, sink));
  return sink.bytes;
}

// Equal bytes; otherwise where they first differ (a dump of kilobytes would say nothing).
::testing::AssertionResult sameBytes(const Bytes& actual, const Bytes& expected) {
  const auto [a, e] = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  if (a == actual.end() && e == expected.end()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << actual.size() << " bytes where " << expected.size() << " were expected; first "
         << "difference at byte " << (a - actual.begin());
}

// Every file below `root`, as paths relative to it.
std::vector<std::string> filesBelow(const std::filesystem::path& root) {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (!e.is_directory()) files.push_back(std::filesystem::relative(e.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string readText(const std::filesystem::path& path) {
  const Bytes b = test::readFile(path);
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

// ---------------------------------------------------------------------------------------------
// Linking records into folders

TEST(NtfsLinking, RecordsHangUnderTheirParentsOrUnderOrphanEntry) {
  Image image;
  image.put(1, named(u"$MFTMirr", kRoot));
  image.put(2, named(u"$LogFile", kRoot));
  image.put(3, named(u"$Volume", kRoot));
  image.put(4, named(u"$AttrDef", kRoot));
  // 6 is an empty slot. 7 comes before its folder (9).
  image.put(7, named(u"early.txt", 9));
  image.put(8, named(u"notes.txt", kRoot));
  image.put(9, named(u"Docs", kRoot, true));
  image.put(10, named(u"plain.txt", kRoot));
  image.put(11, named(u"under-a-file.txt", 10));
  image.put(12, named(u"parent-beyond.txt", 5000));
  image.put(13, named(u"negative-parent.txt", 0x8000'0000'0001));
  image.put(14, named(u"under-a-later-file.txt", 15));
  image.put(15, named(u"later-file.txt", kRoot));
  image.put(16, named(u"under-an-empty-slot.txt", 60));
  {
    RecordBuilder dosFirst(1024, 1);
    dosFirst.resident(ntfs::kAttrFileName, fileNameValue(u"LONGNA~1.TXT", 9, false, 2));
    dosFirst.resident(ntfs::kAttrFileName, fileNameValue(u"Long name.txt", 9, false, 1));
    image.put(17, dosFirst);
    RecordBuilder win32First(1024, 1);
    win32First.resident(ntfs::kAttrFileName, fileNameValue(u"Second long.txt", 9, false, 1));
    win32First.resident(ntfs::kAttrFileName, fileNameValue(u"SECOND~1.TXT", 9, false, 2));
    image.put(18, win32First);
  }
  const std::u16string longest = std::u16string(251, u'n') + u".txt";
  image.put(19, named(longest, kRoot));
  image.put(20, named(u"gone.txt", 9, false, false));
  {
    // The folder mark comes from the $FILE_NAME, not from the record header.
    RecordBuilder headerOnly(1024, 3);
    headerOnly.resident(ntfs::kAttrFileName, fileNameValue(u"header-says-folder", kRoot, false));
    image.put(21, headerOnly);
    RecordBuilder nameOnly(1024, 1);
    nameOnly.resident(ntfs::kAttrFileName, fileNameValue(u"name-says-folder", kRoot, true));
    image.put(22, nameOnly);
  }
  image.put(23, named(u"Removed folder", kRoot, true, false));
  image.put(24, named(u"inside.txt", 23));
  {
    RecordBuilder unnamed(1024, 1);
    unnamed.resident(ntfs::kAttrStandardInformation, standardInformation());
    image.put(25, unnamed);
  }

  const auto s = scan(image.bytes);
  ASSERT_TRUE(s);
  const std::string n255 = std::string(251, 'n') + ".txt";
  EXPECT_EQ(listing(s->entries()), (std::vector<std::string>{
                                       "$MFTMirr",
                                       "$LogFile",
                                       "$Volume",
                                       "$AttrDef",
                                       "notes.txt",
                                       "Docs/",
                                       "Docs/early.txt",
                                       "Docs/Long name.txt",
                                       "Docs/Second long.txt",
                                       "Docs/~gone.txt",
                                       "plain.txt",
                                       "later-file.txt",
                                       n255,
                                       "header-says-folder",
                                       "name-says-folder/",
                                       "~Removed folder/",
                                       "Removed folder/inside.txt",
                                       "ORPHAN_ENTRY/",
                                       "ORPHAN_ENTRY/negative-parent.txt",
                                       "ORPHAN_ENTRY/parent-beyond.txt",
                                       "ORPHAN_ENTRY/under-a-file.txt",
                                       "ORPHAN_ENTRY/under-a-later-file.txt",
                                       "ORPHAN_ENTRY/under-an-empty-slot.txt",
                                   }));
  // Entry ids are record numbers.
  EXPECT_EQ(s->entries().name(9), "Docs");
  EXPECT_EQ(s->entries().name(17), "Long name.txt");
}

// ---------------------------------------------------------------------------------------------
// File contents

TEST(NtfsData, FilesReadBackAsStored) {
  Image image;
  struct Expected {
    std::string path;
    Bytes bytes;
    std::uint64_t size;  // the size column
  };
  std::vector<Expected> expected;
  auto file = [&](std::uint64_t number, std::u16string_view name, const Bytes& want,
                  const std::function<void(RecordBuilder&)>& data,
                  std::uint64_t size = ~std::uint64_t{0}) {
    RecordBuilder r = named(name, kRoot);
    data(r);
    image.put(number, r);
    std::string path;
    for (const char16_t c : name) path += static_cast<char>(c);
    expected.push_back({path, want, size == ~std::uint64_t{0} ? want.size() : size});
  };

  // The value crosses byte 510, whose real bytes the update sequence keeps.
  const Bytes resident = test::pattern(600, 30);
  file(30, u"resident.txt", resident,
       [&](RecordBuilder& r) { r.resident(ntfs::kAttrData, resident); });

  const Bytes cut = test::pattern(8192, 31);
  image.putClusters(32, cut);
  file(31, u"cut.bin", slice(cut, 0, 5000), [&](RecordBuilder& r) {
    r.nonResident(ntfs::kAttrData, runList({{2, 32}}), sized({{2, 32}}, 5000));
  });

  const Bytes p1 = test::pattern(4096, 32), p2 = test::pattern(4096, 33);
  image.putClusters(34, p1);
  image.putClusters(35, p2);
  file(32, u"sparse.bin", concat({p1, Bytes(8192), slice(p2, 0, 3996)}), [&](RecordBuilder& r) {
    const std::vector<Extent> runs{{1, 34}, {2}, {1, 35}};
    auto f = sized(runs, 4 * 4096 - 100);
    f.flags = ntfs::kAttrFlagSparse;
    r.nonResident(ntfs::kAttrData, runList(runs), f);
  });

  const Bytes stale = test::pattern(8192, 34);
  image.putClusters(36, stale);
  file(33, u"initialized.bin", concat({slice(stale, 0, 3000), Bytes(5000)}), [&](RecordBuilder& r) {
    auto f = sized({{2, 36}}, 8000);
    f.initializedSize = 3000;
    r.nonResident(ntfs::kAttrData, runList({{2, 36}}), f);
  });

  // A real size beyond the clusters the runs map: only the mapped bytes exist.
  const Bytes one = test::pattern(4096, 35);
  image.putClusters(38, one);
  file(
      34, u"overlong.bin", one,
      [&](RecordBuilder& r) {
        r.nonResident(ntfs::kAttrData, runList({{1, 38}}), sized({{1, 38}}, 10000));
      },
      10000);

  // Compression units of 16 clusters: LZNT1 in 2 clusters, stored as is, all hole, and LZNT1
  // in 3 clusters cut by the real size.
  {
    // A chunk shorter than 4096 bytes followed by another: zeros up to the next 4096.
    const Bytes a = test::pattern(3000, 36), b = test::pattern(256, 37);
    const Bytes c = test::pattern(4096, 38), d = test::pattern(2000, 39);
    const Bytes storedUnit = test::pattern(65536, 40);
    image.putClusters(40, concat({literalChunk(a), literalChunk(b), Bytes(2)}));
    image.putClusters(48, storedUnit);
    image.putClusters(64, concat({storedChunk(c), literalChunk(d), Bytes(2)}));
    const std::uint64_t realSize = 3 * 65536 + 5000;
    const Bytes want = concat({a, Bytes(4096 - 3000), b, Bytes(65536 - 4096 - 256), storedUnit,
                               Bytes(65536), c, slice(d, 0, 5000 - 4096)});
    file(35, u"compressed.bin", want, [&](RecordBuilder& r) {
      const std::vector<Extent> runs{{2, 40}, {14}, {16, 48}, {16}, {3, 64}, {13}};
      auto f = sized(runs, realSize);
      f.compressionUnit = 4;
      f.flags = ntfs::kAttrFlagCompressed;
      r.nonResident(ntfs::kAttrData, runList(runs), f);
    });
  }

  // $DATA in extension records named by a resident $ATTRIBUTE_LIST; the list's order is not
  // the records' order (38 holds the first clusters, 37 the next).
  {
    const Bytes spread = test::pattern(16384, 41);
    image.putClusters(68, spread);
    RecordBuilder ext1(1024, 1);
    ext1.nonResident(ntfs::kAttrData, runList({{2, 70}}),
                     {.firstVcn = 2, .lastVcn = 3, .allocatedSize = 0});
    image.put(37, ext1, 36);
    RecordBuilder ext0(1024, 1);
    ext0.nonResident(ntfs::kAttrData, runList({{2, 68}}), sized({{2, 68}}, 16374));
    image.put(38, ext0, 36);
    file(36, u"listed.bin", slice(spread, 0, 16374), [&](RecordBuilder& r) {
      r.resident(ntfs::kAttrAttributeList,
                 concat({listEntry(ntfs::kAttrStandardInformation, 0, 36),
                         listEntry(ntfs::kAttrFileName, 0, 36), listEntry(ntfs::kAttrData, 0, 38),
                         listEntry(ntfs::kAttrData, 2, 37)}));
    });
  }
  // The same with the list itself in a cluster.
  {
    const Bytes list =
        concat({listEntry(ntfs::kAttrStandardInformation, 0, 39),
                listEntry(ntfs::kAttrFileName, 0, 39), listEntry(ntfs::kAttrData, 0, 40)});
    image.putClusters(72, list);
    const Bytes far = test::pattern(4096, 42);
    image.putClusters(73, far);
    RecordBuilder ext(1024, 1);
    ext.nonResident(ntfs::kAttrData, runList({{1, 73}}), sized({{1, 73}}, 3000));
    image.put(40, ext, 39);
    file(39, u"listed-far.bin", slice(far, 0, 3000), [&](RecordBuilder& r) {
      r.nonResident(ntfs::kAttrAttributeList, runList({{1, 72}}), sized({{1, 72}}, list.size()));
    });
  }
  // Record 42 now belongs to "owner.bin" (43): "stolen.bin", whose list still names it, has
  // no data.
  {
    const Bytes owned = test::pattern(4096, 43);
    image.putClusters(74, owned);
    RecordBuilder ext(1024, 1);
    ext.nonResident(ntfs::kAttrData, runList({{1, 74}}), sized({{1, 74}}, 2000));
    image.put(42, ext, 43);
    const auto listsRecord42 = [](RecordBuilder& r) {
      r.resident(ntfs::kAttrAttributeList, listEntry(ntfs::kAttrData, 0, 42));
    };
    file(41, u"stolen.bin", {}, listsRecord42);
    file(43, u"owner.bin", slice(owned, 0, 2000), listsRecord42);
  }
  file(44, u"no-data.txt", {}, [](RecordBuilder&) {});

  const auto s = scan(image.bytes);
  ASSERT_TRUE(s);
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.path);
    const EntryId id = find(s->entries(), e.path);
    ASSERT_NE(id, kNoEntry);
    EXPECT_TRUE(sameBytes(content(s->entries(), id), e.bytes));
    EXPECT_EQ(s->entries().details(id).size, e.size);
  }
}

TEST(NtfsData, NamedStreamsAreSavedBesideTheFileWithItsTimes) {
  Image image;
  const Bytes big = test::pattern(4096, 50);
  image.putClusters(40, big);
  RecordBuilder r = named(u"streams.txt", kRoot);
  // A named stream first: it must not take the content's place.
  r.resident(ntfs::kAttrData, text("[ZoneTransfer]\r\nZoneId=3\r\n"), u"Zone.Identifier");
  r.resident(ntfs::kAttrData, text("the content"));
  r.nonResident(ntfs::kAttrData, runList({{1, 40}}), sized({{1, 40}}, 3000), u"big");
  image.put(30, r);
  RecordBuilder onlyStream = named(u"only-stream.txt", kRoot);
  onlyStream.resident(ntfs::kAttrData, text("m"), u"meta");
  image.put(31, onlyStream);

  const auto s = scan(image.bytes);
  ASSERT_TRUE(s);
  test::TempDir out;
  EntrySource& e = s->entries();
  EXPECT_EQ(content(e, 30), text("the content"));
  ASSERT_TRUE(e.save(30, out.path(), "streams.txt"));
  ASSERT_TRUE(e.save(31, out.path(), "only-stream.txt"));
  EXPECT_EQ(filesBelow(out.path()),
            (std::vector<std::string>{"only-stream.txt", "only-stream.txt:meta", "streams.txt",
                                      "streams.txt:Zone.Identifier", "streams.txt:big"}));
  EXPECT_EQ(readText(out / "streams.txt"), "the content");
  EXPECT_EQ(readText(out / "streams.txt:Zone.Identifier"), "[ZoneTransfer]\r\nZoneId=3\r\n");
  EXPECT_TRUE(sameBytes(test::readFile(out / "streams.txt:big"), slice(big, 0, 3000)));
  EXPECT_EQ(test::readFile(out / "only-stream.txt").size(), 0u);
  EXPECT_EQ(readText(out / "only-stream.txt:meta"), "m");

  struct stat st {};
  ASSERT_EQ(::stat((out / "streams.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, kModifiedUnix);
  ASSERT_EQ(::stat((out / "streams.txt:big").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, kModifiedUnix);
}

// ---------------------------------------------------------------------------------------------
// Hostile records

TEST(NtfsHostile, DamagedRecordsEndAsOrphansOrWithoutNameOrData) {
  struct Case {
    const char* what;
    std::function<Bytes()> record;  // record 30, "victim.bin", its parent the root
    bool listed;                    // at the top level; otherwise nowhere
    // The content's bytes; none where the stream claims more than a sink takes.
    std::optional<std::size_t> contentBytes = std::nullopt;
  };
  auto victim = [] { return named(u"victim.bin", kRoot); };
  auto withData = [&](const Bytes& runs, RecordBuilder::NonResident f) {
    RecordBuilder r = victim();
    r.nonResident(ntfs::kAttrData, runs, f);
    return stored(r, 30);
  };
  // Offsets of the attributes named() writes: $STANDARD_INFORMATION at 56, $FILE_NAME next.
  constexpr std::size_t kInfo = 56, kName = 56 + 96;
  auto patched = [&](std::size_t at, std::uint32_t value, bool wide = true) {
    return [=] {
      RecordBuilder r = victim();
      r.resident(ntfs::kAttrData, test::pattern(600, 60));
      Bytes b = stored(r, 30);
      if (wide) {
        putLe32(b, at, value);
      } else {
        putLe16(b, at, static_cast<std::uint16_t>(value));
      }
      return b;
    };
  };
  const std::uint64_t huge = std::uint64_t{1} << 40;
  const std::vector<Case> cases = {
      {"update sequence offset past the record", patched(4, 0xFFF0, false), true, 600},
      {"update sequence count past the record", patched(6, 0x7FFF, false), true, 600},
      {"first attribute offset past the record", patched(20, 0x0800, false), false},
      {"attribute length 0", patched(kInfo + 4, 0), false},
      {"attribute length past the record", patched(kInfo + 4, 0x10000), false},
      {"file name value past its attribute", patched(kName + 16, 0x1000), false},
      {"name length past the value", patched(kName + 24 + 64, 0x01FF, false), false},
      {"attribute name past the attribute",
       [&] {
         RecordBuilder r = victim();
         const std::size_t at = r.resident(ntfs::kAttrData, text("x"), u"s");
         Bytes b = stored(r, 30);
         b[at + 9] = std::byte{0xFF};
         return b;
       },
       true, 0},
      {"runs past the volume",
       [&] {
         return withData(runList({{2, 1'000'000'000}}), sized({{2, 0}}, 8192));
       },
       true, 8192},
      {"a hole of 2^40 clusters",
       [&] {
         auto f = sized({{huge}}, huge * 4096);
         f.flags = ntfs::kAttrFlagSparse;
         return withData(runList({{huge}}), f);
       },
       true},
      {"2^40 stored clusters",
       [&] {
         return withData(runList({{huge, 50}}), sized({{huge, 50}}, huge * 4096));
       },
       true},
      {"a run before cluster 0",
       [&] {
         return withData(test::bytes({0x11, 0x01, 0xF0, 0x00}), sized({{1, 0}}, 4096));
       },
       true, 0},
      {"a run list longer than its attribute's clusters",
       [&] {
         return withData(runList({{2, 50}, {2, 60}}), sized({{1, 0}}, 16384));
       },
       true, 4096},
      {"a compression unit of 2^65535 clusters",
       [&] {
         auto f = sized({{2, 50}}, 8192);
         f.compressionUnit = 0xFFFF;
         f.flags = ntfs::kAttrFlagCompressed;
         return withData(runList({{2, 50}}), f);
       },
       true, 8192},
      {"a compressed unit of noise",
       [&] {
         auto f = sized({{2, 50}, {14}}, 65536);
         f.compressionUnit = 4;
         f.flags = ntfs::kAttrFlagCompressed;
         return withData(runList({{2, 50}, {14}}), f);
       },
       true, 65536},
      {"an attribute list naming the record itself, a missing record, a base record and a "
       "0-length entry",
       [&] {
         RecordBuilder r = victim();
         const Bytes list = concat({listEntry(ntfs::kAttrData, 0, 30),
                                    listEntry(ntfs::kAttrData, 0, 0xFFFF'FFFF'FFFF),
                                    listEntry(ntfs::kAttrData, 0, 31), Bytes(32)});
         r.resident(ntfs::kAttrAttributeList, list);
         return stored(r, 30);
       },
       true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image image;
    // Noise in the data clusters, for the runs to read.
    image.putClusters(32, test::pattern(200 * 4096, 61));
    image.put(30, c.record());
    image.put(31, named(u"next.txt", kRoot));
    const auto s = scan(image.bytes);
    ASSERT_TRUE(s);
    const std::vector<std::string> lines = listing(s->entries());
    const std::vector<std::string> expected =
        c.listed ? std::vector<std::string>{"victim.bin", "next.txt", "ORPHAN_ENTRY/"}
                 : std::vector<std::string>{"next.txt", "ORPHAN_ENTRY/"};
    EXPECT_EQ(lines, expected);
    const EntryId id = find(s->entries(), "victim.bin");
    if (id == kNoEntry) continue;
    CappedSink sink(8 << 20);
    const bool written = s->entries().writeContent(id, sink);
    if (c.contentBytes) {
      EXPECT_TRUE(written);
      EXPECT_EQ(sink.bytes.size(), *c.contentBytes);
    } else {
      // Whatever the stream claims, writing it ends when the sink refuses more.
      EXPECT_LE(sink.bytes.size(), sink.cap);
    }
  }
}

TEST(NtfsHostile, FoldersThatLoopDoNotHangTheWalks) {
  Image image;
  image.put(30, named(u"Loop A", 31, true));
  image.put(31, named(u"Loop B", 30, true));
  RecordBuilder inLoop = named(u"in-loop.txt", 30);
  inLoop.resident(ntfs::kAttrData, text("loop"));
  image.put(32, inLoop);
  image.put(33, named(u"Self", 33, true));
  RecordBuilder inSelf = named(u"in-self.txt", 33);
  inSelf.resident(ntfs::kAttrData, text("self"));
  image.put(34, inSelf);
  RecordBuilder kept = named(u"kept.txt", kRoot);
  kept.resident(ntfs::kAttrData, text("kept"));
  image.put(35, kept);

  const auto s = scan(image.bytes);
  ASSERT_TRUE(s);
  const std::vector<std::string> lines = listing(s->entries());
  // A folder that is its own parent is not the root: it is an orphan, with its files.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "ORPHAN_ENTRY/Self/in-self.txt"), 1);
  // Two folders that are each other's parent: the loop is cut at the first, which is shown
  // under "ORPHAN_ENTRY" with everything below it.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "ORPHAN_ENTRY/Loop A/Loop B/"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "ORPHAN_ENTRY/Loop A/in-loop.txt"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "kept.txt"), 1);

  test::TempDir out;
  const SaveCounts counts = saveFolder(s->entries(), kNoEntry, out.path(), {});
  EXPECT_EQ(counts.files, countFilesBelow(s->entries(), kNoEntry));
  EXPECT_EQ(readText(out / "kept.txt"), "kept");
  EXPECT_EQ(readText(out / "ORPHAN_ENTRY" / "Self" / "in-self.txt"), "self");
  EXPECT_EQ(readText(out / "ORPHAN_ENTRY" / "Loop A" / "in-loop.txt"), "loop");
}

TEST(NtfsHostile, AnMftClaimingMoreClustersThanTheVolumeMakesNoMoreSlotsThanFit) {
  const std::uint64_t claimed = std::uint64_t{1} << 32;
  Image image(Geometry{.mft = {{claimed, 4}}});
  image.put(30, named(u"kept.txt", kRoot));
  const auto s = scan(image.bytes);
  ASSERT_TRUE(s);
  EXPECT_EQ(listing(s->entries()), (std::vector<std::string>{"kept.txt", "ORPHAN_ENTRY/"}));
  // "ORPHAN_ENTRY" is the entry after the last slot.
  const EntryId orphans = find(s->entries(), "ORPHAN_ENTRY");
  EXPECT_LE(orphans, image.bytes.size() / Image::kRecordBytes);
}

// ---------------------------------------------------------------------------------------------
// Cluster sizes and damaged boot sectors

// The same folders and files on every geometry: a record that crosses the update sequence's
// first stride, empty slots before a folder that comes after its file, and a file in two
// fragments that a wrong cluster size would read from the wrong place.
Image commonVolume(Geometry g) {
  Image image(std::move(g));
  const std::uint64_t cb = image.geometry.clusterBytes;
  RecordBuilder first = named(u"first.txt", kRoot);
  first.resident(ntfs::kAttrData, test::pattern(700, 70));
  image.put(1, first);
  RecordBuilder child = named(u"child.txt", 12);
  child.resident(ntfs::kAttrData, text("child"));
  image.put(10, child);
  image.put(12, named(u"Folder", kRoot, true));
  const std::uint64_t a = (640 << 10) / cb, b = (768 << 10) / cb;
  const std::uint64_t half = (6000 + cb - 1) / cb;
  image.putClusters(a, test::pattern(half * cb, 71));
  image.putClusters(b, test::pattern(half * cb, 72));
  const std::vector<Extent> runs{{half, static_cast<std::int64_t>(a)},
                                 {half, static_cast<std::int64_t>(b)}};
  RecordBuilder big = named(u"big.bin", 12);
  big.nonResident(ntfs::kAttrData, runList(runs), sized(runs, half * cb + 5000, cb));
  image.put(13, big);
  return image;
}

void expectCommonVolume(const Image& image, EntrySource& e) {
  EXPECT_EQ(listing(e), (std::vector<std::string>{"first.txt", "Folder/", "Folder/child.txt",
                                                  "Folder/big.bin", "ORPHAN_ENTRY/"}));
  const std::uint64_t cb = image.geometry.clusterBytes;
  const std::uint64_t half = (6000 + cb - 1) / cb;
  EXPECT_TRUE(sameBytes(content(e, find(e, "first.txt")), test::pattern(700, 70)));
  EXPECT_EQ(content(e, find(e, "Folder/child.txt")), text("child"));
  EXPECT_TRUE(sameBytes(
      content(e, find(e, "Folder/big.bin")),
      concat({test::pattern(half * cb, 71), slice(test::pattern(half * cb, 72), 0, 5000)})));
}

TEST(NtfsGeometry, RecordsAreFoundWhateverTheClusterSize) {
  const std::vector<std::pair<const char*, Geometry>> cases = {
      // Two clusters per record, and a fragment boundary inside record 1.
      {"512-byte clusters", {.clusterBytes = 512, .mft = {{3, 64}, {5, 300}, {120, 400}}}},
      {"1024-byte clusters", {.clusterBytes = 1024, .mft = {{64, 16}}}},
      // Four records per cluster; empty slots still count.
      {"4096-byte clusters", {.clusterBytes = 4096, .mft = {{16, 4}}}},
  };
  for (const auto& [what, geometry] : cases) {
    SCOPED_TRACE(what);
    const Image image = commonVolume(geometry);
    const auto s = scan(image.bytes);
    ASSERT_TRUE(s);
    expectCommonVolume(image, s->entries());
  }
}

TEST(NtfsGeometry, ADamagedBootSectorIsReplacedByTheMftRecordFound) {
  struct Case {
    const char* what;
    Geometry geometry;
    bool zeroed;  // otherwise: the sectors-per-cluster byte is 0
  };
  const std::vector<Case> cases = {
      {"zeroed, 1024-byte clusters", {.clusterBytes = 1024, .mft = {{64, 16}}}, true},
      {"zeroed, 2048-byte clusters", {.clusterBytes = 2048, .mft = {{32, 12}}}, true},
      {"zeroed, 4096-byte clusters", {.clusterBytes = 4096, .mft = {{16, 4}}}, true},
      {"cluster size 0, 1024-byte clusters", {.clusterBytes = 1024, .mft = {{64, 16}}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image image = commonVolume(c.geometry);
    if (c.zeroed) {
      std::fill_n(image.bytes.begin(), 512, std::byte{0});
    } else {
      image.bytes[13] = std::byte{0};
    }
    const auto s = scan(image.bytes);
    ASSERT_TRUE(s);
    expectCommonVolume(image, s->entries());
  }
}

// ---------------------------------------------------------------------------------------------
// Deep scan

TEST(NtfsDeepScan, RecordsFoundAreGroupedUnderTheFoldersBeforeThem) {
  Image image;
  // The $MFT's own record is lost: the first record found is a file.
  image.put(0, Bytes(1024));
  image.put(1, named(u"first.txt", kRoot));
  RecordBuilder unnamed(1024, 1);
  unnamed.resident(ntfs::kAttrStandardInformation, standardInformation());
  image.put(2, unnamed);
  image.put(3, named(u"Alpha", 40, true));
  image.put(4, named(u"a1.txt", 3));
  image.put(6, named(u"a2.txt", 99));
  image.put(7, named(u"Beta", kRoot, true));
  image.put(8, named(u"b1.txt", kRoot));
  {
    // An update sequence offset of 512 or more marks no record.
    Bytes bad = stored(named(u"bad-usa.txt", kRoot), 9);
    putLe16(bad, 4, 600);
    image.put(9, bad);
  }
  image.put(10, named(u"b2.txt", kRoot, false, false));
  // A copy of a record far from the $MFT is found as well.
  image.putClusters(100, stored(named(u"stray.txt", kRoot), 77));

  const auto s = scan(image.bytes, ScanMode::deep);
  ASSERT_TRUE(s);
  std::vector<std::string> lines;
  listInto(s->entries(), kNoEntry, "", 0, lines);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "ORPHAN_ENTRY/");
  // Folders latest first.
  const auto alpha = std::find(lines.begin(), lines.end(), "ORPHAN_ENTRY/Alpha/");
  const auto beta = std::find(lines.begin(), lines.end(), "ORPHAN_ENTRY/Beta/");
  EXPECT_LT(beta, alpha);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "ORPHAN_ENTRY/",
                       "ORPHAN_ENTRY/Alpha/",
                       "ORPHAN_ENTRY/Alpha/a1.txt",
                       "ORPHAN_ENTRY/Alpha/a2.txt",
                       "ORPHAN_ENTRY/Beta/",
                       "ORPHAN_ENTRY/Beta/b1.txt",
                       "ORPHAN_ENTRY/Beta/stray.txt",
                       "ORPHAN_ENTRY/Beta/~b2.txt",
                       "ORPHAN_ENTRY/first.txt",
                   }));
}

// ---------------------------------------------------------------------------------------------
// Saving through the adapter

TEST(NtfsSave, NamesBecomeSafeAndDuplicatesAreAllWritten) {
  Image image;
  auto fileWith = [&](std::uint64_t number, std::u16string_view name, std::uint64_t parent,
                      std::string_view data, bool live = true) {
    RecordBuilder r = named(name, parent, false, live);
    r.resident(ntfs::kAttrData, text(data));
    image.put(number, r);
  };
  fileWith(30, u"a/b.txt", kRoot, "slash");
  image.put(31, named(u"..", kRoot, true));
  fileWith(32, u"x.txt", 31, "x");
  fileWith(33, u"tab\tname\x01.txt", kRoot, "control");
  fileWith(34, u"../../escape.txt", kRoot, "escape");
  fileWith(35, u"", kRoot, "empty name");
  image.put(36, named(u"Docs", kRoot, true));
  // The deleted namesake comes first: the live file still gets the plain name.
  fileWith(37, u"report.txt", 36, "old", false);
  fileWith(38, u"report.txt", 36, "new");
  {
    RecordBuilder bad = named(u"$BadClus", kRoot);
    bad.resident(ntfs::kAttrData, {});
    bad.nonResident(ntfs::kAttrData, runList({{255}}), sized({{255}}, 255 * 4096), u"$Bad");
    image.put(8, bad);
  }

  const auto s = scan(image.bytes);
  ASSERT_TRUE(s);
  EntrySource& e = s->entries();
  test::TempDir top;
  const auto out = top / "out";
  std::filesystem::create_directory(out);

  // The Save button on the whole volume, with a Stop left over from the scan.
  test::Recorder prompter;
  prompter.answers = {true};
  std::atomic<bool> stop{true};
  const auto counts = runSave(e, kNoEntry, out, prompter, {}, &stop);
  ASSERT_TRUE(counts);
  EXPECT_EQ(prompter.messages,
            (std::vector<std::string>{"number of files found inside this folder = 8 .do u want to "
                                      "continue dumping these files..?",
                                      "Saving process done"}));
  EXPECT_FALSE(stop.load());
  // $BadClus is counted, never written.
  EXPECT_EQ(counts->files, 8u);
  EXPECT_EQ(counts->written, 7u);
  EXPECT_EQ(counts->failed, 0u);
  EXPECT_EQ(filesBelow(top.path()),
            (std::vector<std::string>{"out/.._.._escape.txt", "out/Docs/report (1).txt",
                                      "out/Docs/report.txt", "out/_", "out/___/x.txt",
                                      "out/a_b.txt", "out/tab_name_.txt"}));
  EXPECT_EQ(readText(out / "Docs" / "report.txt"), "new");
  EXPECT_EQ(readText(out / "Docs" / "report (1).txt"), "old");
  EXPECT_EQ(readText(out / "___" / "x.txt"), "x");

  // No: nothing is written.
  test::TempDir declined;
  prompter.answers = {false};
  EXPECT_FALSE(runSave(e, kNoEntry, declined.path(), prompter, {}, &stop));
  EXPECT_TRUE(std::filesystem::is_empty(declined.path()));
}

}  // namespace
}  // namespace talvix
