// Reading an entry's data streams, saving it, and the deep scan.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "disk/DiskReader.h"
#include "fs/ntfs/FileNameAttribute.h"
#include "fs/ntfs/FileTime.h"
#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/MftRecord.h"
#include "fs/ntfs/NtfsParser.h"
#include "util/ByteReader.h"
#include "util/SafeName.h"

namespace talvix::ntfs {
namespace {

constexpr std::size_t kCopyBytes = 1024 * 1024;
constexpr std::uint64_t kDeepChunkBytes = 10 * 1024 * 1024;  // as the record searches read
// An attribute list read from its clusters: real ones stay far below this.
constexpr std::uint64_t kMaxAttributeListBytes = 16 * 1024 * 1024;
// The largest compression unit taken as one: NTFS writes 16 clusters of at most 4 KiB.
constexpr std::uint64_t kMaxUnitBytes = 16 * 1024 * 1024;

// $ATTRIBUTE_LIST entry:
// | offset | size | meaning                                                          |
// |--------|------|------------------------------------------------------------------|
// | 0      | 4    | attribute type                                                    |
// | 4      | 2    | entry length                                                      |
// | 6      | 1    | name length (UTF-16 units)                                        |
// | 7      | 1    | name offset                                                       |
// | 8      | 8    | first VCN of the attribute piece                                  |
// | 16     | 8    | record holding the piece (48-bit number, 16-bit sequence)         |
// | 24     | 2    | attribute id                                                      |
constexpr std::size_t kListEntryMinBytes = 26;

struct VectorSink final : ByteSink {
  std::vector<std::byte> bytes;
  bool write(std::span<const std::byte> b) override {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return true;
  }
};

// A file written at increasing offsets; runs of zeros become holes.
struct FileSink final : ByteSink {
  explicit FileSink(int file) : fd(file) {}
  bool write(std::span<const std::byte> b) override {
    std::size_t done = 0;
    while (done < b.size()) {
      const ssize_t n =
          ::pwrite(fd, b.data() + done, b.size() - done, static_cast<off_t>(offset + done));
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    offset += b.size();
    holeAtEnd = holeAtEnd && b.empty();
    return true;
  }
  bool zeros(std::uint64_t count) override {
    offset += count;
    holeAtEnd = count != 0;
    return true;
  }
  // A file that ends in a hole gets its length here; otherwise the writes gave it.
  bool finish() { return !holeAtEnd || ::ftruncate(fd, static_cast<off_t>(offset)) == 0; }
  int fd;
  std::uint64_t offset = 0;
  bool holeAtEnd = false;
};

// One $DATA attribute (or piece of one, when its runs are spread over several records).
struct Piece {
  std::string name;
  Attribute header;
  std::vector<std::byte> bytes;  // resident value or run list
};

void collectPieces(std::span<const std::byte> record, std::vector<Piece>& pieces) {
  for (const Attribute& a : walkAttributes(record).attributes) {
    if (a.type != kAttrData || !a.sound) continue;
    Piece p;
    p.name = utf16leToUtf8(attributeName(record, a));
    p.header = a;
    const auto bytes = a.nonResident ? runListBytes(record, a) : residentValue(record, a);
    p.bytes.assign(bytes.begin(), bytes.end());
    pieces.push_back(std::move(p));
  }
}

// An NTFS time for the output file; no time leaves the file's own.
timespec timeOf(std::uint64_t fileTime) {
  timespec t{};
  t.tv_nsec = UTIME_OMIT;
  if (const auto since1970 = unixTimeOf(fileTime)) {
    t.tv_sec = static_cast<time_t>(since1970->seconds);
    t.tv_nsec = static_cast<long>(since1970->nanoseconds);
  }
  return t;
}

int createFile(const std::filesystem::path& path) {
  // O_NOFOLLOW: a link planted in the output folder is not followed out of it.
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
}

}  // namespace

bool DataStream::compressed() const {
  return (flags & kAttrFlagCompressed) != 0 && compressionUnit != 0 && !resident;
}

std::vector<std::byte> ntfs::recordByNumber(std::uint64_t number) {
  if (!indexIsRecordNumber_) {
    const auto it = offsetByNumber_.find(number);
    return it == offsetByNumber_.end() ? std::vector<std::byte>{} : readRecord(it->second);
  }
  if (entries.empty()) {
    // While the $MFT's own runs are being gathered there are no entries yet.
    const auto offset = mftRecordOffset(number);
    return offset ? readRecord(*offset) : std::vector<std::byte>{};
  }
  const auto index = static_cast<std::int64_t>(number);
  if (number >= entries.size() || !validIndex(index)) return {};
  return entryRecord(index);
}

// With clusters smaller than a record, a record of the $MFT may begin in one run and end in
// the next (collectMftRecords takes it whole from both): its bytes are gathered run by run,
// as its offset names only where the first of them lies.
std::vector<std::byte> ntfs::entryRecord(std::int64_t index) {
  const std::uint64_t offset = entries[static_cast<std::size_t>(index)].recordOffset;
  if (!indexIsRecordNumber_ || clusterBytes == 0 || clusterBytes >= recordBytes) {
    return readRecord(offset);
  }
  std::vector<std::byte> record(recordBytes);
  std::uint64_t vcn = static_cast<std::uint64_t>(index) * (recordBytes / clusterBytes);
  std::size_t done = 0;
  for (const DataRun& run : mftRuns) {
    if (vcn >= run.clusterCount) {
      vcn -= run.clusterCount;
      continue;
    }
    const std::uint64_t clusters =
        std::min<std::uint64_t>(run.clusterCount - vcn, (record.size() - done) / clusterBytes);
    const auto part = std::span(record).subspan(done, clusters * clusterBytes);
    if (!run.sparse && !readVolume((run.startCluster + vcn) * clusterBytes, part)) return {};
    done += part.size();
    vcn = 0;
    if (done == record.size()) break;
  }
  if (done != record.size()) return readRecord(offset);
  applyFixups(record);
  return record;
}

std::optional<std::uint64_t> ntfs::mftRecordOffset(std::uint64_t number) const {
  if (clusterBytes == 0 || number > UINT64_MAX / recordBytes) return std::nullopt;
  std::uint64_t vcnByte = number * recordBytes;
  for (const DataRun& run : mftRuns) {
    if (run.clusterCount > UINT64_MAX / clusterBytes) return std::nullopt;
    const std::uint64_t runBytes = run.clusterCount * clusterBytes;
    if (vcnByte < runBytes) {
      if (run.sparse || vcnByte + recordBytes > runBytes) return std::nullopt;
      return run.startCluster * clusterBytes + vcnByte;
    }
    vcnByte -= runBytes;
  }
  return std::nullopt;
}

std::vector<DataStream> ntfs::dataStreams(std::int64_t index) {
  if (!validIndex(index) || index == orphanIndex) return {};
  const NtfsEntry& entry = entries[static_cast<std::size_t>(index)];
  if (entry.isFolder()) return {};
  const std::int64_t ownNumber = indexIsRecordNumber_ ? index : entry.recordNumber;
  return streamsOf(entryRecord(index), ownNumber);
}

// The $DATA streams of a base record, with the pieces that its attribute list places in
// extension records.
std::vector<DataStream> ntfs::streamsOf(std::vector<std::byte> record, std::int64_t ownNumber) {
  std::vector<Piece> pieces;
  if (decodeRecordHeader(record).verdict != Verdict::valid) return {};
  collectPieces(record, pieces);

  std::vector<std::byte> list;
  for (const Attribute& a : walkAttributes(record).attributes) {
    if (a.type != kAttrAttributeList || !a.sound) continue;
    if (!a.nonResident) {
      const auto value = residentValue(record, a);
      list.assign(value.begin(), value.end());
    } else {
      DataStream s;
      s.runs =
          decodeRunList(runListBytes(record, a), a.lastVcn - a.firstVcn + 1, volumeClusters()).runs;
      s.realSize = s.initializedSize = std::min(a.realSize, kMaxAttributeListBytes);
      VectorSink sink;
      writeStream(s, sink);
      list = std::move(sink.bytes);
    }
    break;
  }
  std::vector<std::uint64_t> extensions;
  for (std::size_t at = 0; at + kListEntryMinBytes <= list.size();) {
    ByteReader r(std::span<const std::byte>(list).subspan(at));
    const std::uint32_t type = r.u32le(0);
    const std::uint16_t length = r.u16le(4);
    if (type == kAttrEnd || length < kListEntryMinBytes || length > list.size() - at) break;
    const std::uint64_t number = r.u64le(16) & 0xFFFF'FFFF'FFFFu;
    if (type == kAttrData && static_cast<std::int64_t>(number) != ownNumber &&
        std::find(extensions.begin(), extensions.end(), number) == extensions.end()) {
      extensions.push_back(number);
    }
    at += length;
  }
  for (const std::uint64_t number : extensions) {
    const std::vector<std::byte> extension = recordByNumber(number);
    const RecordHeader header = decodeRecordHeader(extension);
    // A record that now belongs to another file holds none of this one's data.
    if (header.verdict != Verdict::valid ||
        (ownNumber >= 0 && header.baseRecord != static_cast<std::uint64_t>(ownNumber))) {
      continue;
    }
    collectPieces(extension, pieces);
  }

  // One stream per name, the unnamed one (the file's content) first; pieces in VCN order.
  std::map<std::string, std::vector<const Piece*>> byName;
  for (const Piece& p : pieces) byName[p.name].push_back(&p);
  std::vector<DataStream> streams;
  for (auto& [name, group] : byName) {
    std::stable_sort(group.begin(), group.end(), [](const Piece* a, const Piece* b) {
      return a->header.firstVcn < b->header.firstVcn;
    });
    DataStream s;
    s.name = name;
    const Attribute& first = group.front()->header;
    if (!first.nonResident) {
      s.resident = true;
      s.residentBytes = group.front()->bytes;
      s.realSize = s.initializedSize = s.residentBytes.size();
      streams.push_back(std::move(s));
      continue;
    }
    s.realSize = first.realSize;
    s.initializedSize = first.initializedSize;
    s.compressionUnit = first.compressionUnit;
    s.flags = first.flags;
    std::uint64_t vcn = 0;
    for (const Piece* p : group) {
      const Attribute& a = p->header;
      if (!a.nonResident || a.firstVcn < vcn) continue;
      if (a.firstVcn > vcn) s.runs.push_back({0, a.firstVcn - vcn, true, false});
      const RunList runs = decodeRunList(p->bytes, a.lastVcn - a.firstVcn + 1, volumeClusters());
      s.runs.insert(s.runs.end(), runs.runs.begin(), runs.runs.end());
      vcn = a.firstVcn + runs.clusters;
    }
    // Bytes past the clusters the runs map are not on the volume.
    const std::uint64_t mapped =
        clusterBytes == 0 || vcn > UINT64_MAX / clusterBytes ? UINT64_MAX : vcn * clusterBytes;
    s.realSize = std::min(s.realSize, mapped);
    streams.push_back(std::move(s));
  }
  if (!streams.empty() && !streams.front().name.empty()) {
    // No unnamed stream: the content is empty, the named ones still follow.
    streams.insert(streams.begin(), DataStream{});
  }
  return streams;
}

bool ntfs::writeStream(const DataStream& stream, ByteSink& out) {
  if (stream.resident) {
    return out.write(
        std::span(stream.residentBytes)
            .first(std::min<std::size_t>(stream.residentBytes.size(), stream.realSize)));
  }
  if (clusterBytes == 0) return stream.realSize == 0;
  std::uint64_t remaining = stream.realSize;
  std::vector<std::byte> buffer;

  if (!stream.compressed() || (std::uint64_t{1} << std::min<std::uint16_t>(
                                   stream.compressionUnit, 40)) > kMaxUnitBytes / clusterBytes) {
    std::uint64_t logical = 0;
    for (const DataRun& run : stream.runs) {
      if (remaining == 0) break;
      const std::uint64_t runBytes =
          std::min(run.clusterCount, remaining / clusterBytes + 1) * clusterBytes;
      const std::uint64_t n = std::min(runBytes, remaining);
      // A run past the volume's end would read another volume's bytes: it is a hole here.
      if (run.sparse || run.outsideVolume) {
        if (!out.zeros(n)) return false;
      } else {
        for (std::uint64_t off = 0; off < n;) {
          if (stopRequested) return false;
          const std::uint64_t len = std::min<std::uint64_t>(n - off, kCopyBytes);
          const std::uint64_t at = logical + off;
          if (at >= stream.initializedSize) {
            // Past the initialized size a file reads as zeros, whatever the clusters hold.
            if (!out.zeros(len)) return false;
          } else {
            buffer.assign(len, std::byte{0});
            readVolume(run.startCluster * clusterBytes + off, buffer);
            if (at + len > stream.initializedSize) {
              std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(stream.initializedSize - at),
                        buffer.end(), std::byte{0});
            }
            if (!out.write(buffer)) return false;
          }
          off += len;
        }
      }
      logical += n;
      remaining -= n;
    }
    return remaining == 0 || out.zeros(remaining);
  }

  // Compressed: the data comes in units of 2^compressionUnit clusters. A unit whose clusters
  // are all allocated is stored as it is; one that ends in a hole is LZNT1-compressed into its
  // allocated clusters; one without clusters is zeros.
  const std::uint64_t unitClusters = std::uint64_t{1} << stream.compressionUnit;
  const std::uint64_t unitBytes = unitClusters * clusterBytes;
  std::vector<std::byte> input, output(unitBytes);
  std::vector<std::int64_t> lcns(unitClusters);  // -1: hole
  std::size_t runIndex = 0;
  std::uint64_t inRun = 0;  // clusters of runs[runIndex] already taken
  while (remaining > 0) {
    if (stopRequested) return false;
    std::uint64_t last = 0;  // 1 + the position of the last allocated cluster of the unit
    for (std::uint64_t c = 0; c < unitClusters; ++c) {
      while (runIndex < stream.runs.size() && inRun >= stream.runs[runIndex].clusterCount) {
        ++runIndex;
        inRun = 0;
      }
      lcns[c] = -1;
      if (runIndex < stream.runs.size()) {
        const DataRun& run = stream.runs[runIndex];
        if (!run.sparse && !run.outsideVolume) {
          lcns[c] = static_cast<std::int64_t>(run.startCluster + inRun);
          last = c + 1;
        }
        ++inRun;
      }
    }
    const std::uint64_t n = std::min(unitBytes, remaining);
    if (last == 0) {
      if (!out.zeros(n)) return false;
    } else {
      input.assign(last * clusterBytes, std::byte{0});
      for (std::uint64_t c = 0; c < last;) {
        std::uint64_t span = 1;  // neighbouring clusters are read together
        while (c + span < last && lcns[c + span] == lcns[c] + static_cast<std::int64_t>(span))
          ++span;
        if (lcns[c] >= 0) {
          readVolume(static_cast<std::uint64_t>(lcns[c]) * clusterBytes,
                     std::span(input).subspan(c * clusterBytes, span * clusterBytes));
        }
        c += span;
      }
      if (last == unitClusters) {
        if (!out.write(std::span(input).first(n))) return false;
      } else {
        std::fill(output.begin(), output.end(), std::byte{0});
        decompressUnit(input, output);
        if (!out.write(std::span(output).first(n))) return false;
      }
    }
    remaining -= n;
  }
  return true;
}

NtfsTimes ntfs::readTimes(std::int64_t index) {
  NtfsTimes t;
  if (!validIndex(index)) return t;
  const NtfsEntry& e = entries[static_cast<std::size_t>(index)];
  t.creationTime = e.creationTime;
  t.modificationTime = e.modificationTime;
  t.accessTime = e.accessTime;
  static constexpr std::pair<std::uint32_t, const char*> kLetters[] = {
      {0x0001, "-R"}, {0x0002, "-H"}, {0x0200, "-S"},
      {0x0020, "-A"}, {0x0800, "-C"}, {0x4000, "-E"}};
  for (const auto& [bit, text] : kLetters) {
    if ((e.nameFlags & bit) != 0) t.attributeText += text;
  }
  return t;
}

bool ntfs::saveEntry(std::int64_t index, const std::filesystem::path& outputPath,
                     const std::string& fileName) {
  if (!validIndex(index) || fileName.empty()) return false;
  const std::filesystem::path path = outputPath / fileName;
  const int fd = createFile(path);
  if (fd < 0) return false;
  const NtfsEntry& entry = entries[static_cast<std::size_t>(index)];
  bool ok = true;
  const timespec times[2] = {timeOf(entry.accessTime), timeOf(entry.modificationTime)};
  for (const DataStream& stream : dataStreams(index)) {
    if (stream.name.empty()) {
      FileSink sink(fd);
      ok = writeStream(stream, sink) && sink.finish() && ok;
      continue;
    }
    // A named stream goes beside its file as "<name>:<stream>".
    const std::filesystem::path streamPath = outputPath / (fileName + ":" + safeName(stream.name));
    const int streamFd = createFile(streamPath);
    if (streamFd < 0) {
      ok = false;
      continue;
    }
    FileSink sink(streamFd);
    ok = writeStream(stream, sink) && sink.finish() && ok;
    ::futimens(streamFd, times);
    ::close(streamFd);
  }
  ::futimens(fd, times);
  return ::close(fd) == 0 && ok;
}

void ntfs::setTimes(const std::filesystem::path& path, std::int64_t index) const {
  if (!validIndex(index)) return;
  const NtfsEntry& e = entries[static_cast<std::size_t>(index)];
  const timespec times[2] = {timeOf(e.accessTime), timeOf(e.modificationTime)};
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

bool ntfs::deepScanMftRecords() {
  const BootSector boot = decodeBootSector(bootSector);
  clusterBytes = boot.clusterBytes != 0 ? boot.clusterBytes : 4096;
  mftReady = false;
  indexIsRecordNumber_ = false;
  if (reader == nullptr || !reader->seek(0)) return false;
  // Index 0 ends a chain ("no child"), so a record found cannot be entry 0: it would never be
  // listed. An empty slot, which is no record, takes it.
  if (entries.empty()) entries.emplace_back();
  const auto range = static_cast<std::int64_t>(volumeBytes / kDeepChunkBytes);
  setRange(range);
  scanForRecords(1, [&](std::uint64_t offset, std::span<std::byte> record) {
    ByteReader r(record);
    if (r.u16le(4) >= 512 || r.u16le(6) >= 512 || r.u16le(20) >= 512) return Find::skip;
    const NtfsEntry& entry = appendFoundRecord(offset, record);
    // A base record whose name lies in an extension record is kept until the names are
    // matched up.
    if (!entry.named && !entry.hasAttributeList) {
      entries.pop_back();
      return Find::taken;
    }
    entries.back().orphan = 1;
    if (entry.index % 256 == 0) {
      char text[64];
      std::snprintf(text, sizeof text, "MFT ENTRY %zu Found.Parsing it ..", entries.size());
      setStatus(text);
    }
    return Find::taken;
  });
  setPosition(range);
  return false;
}

}  // namespace talvix::ntfs
