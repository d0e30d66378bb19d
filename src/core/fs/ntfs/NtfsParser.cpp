#include "fs/ntfs/NtfsParser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/Feedback.h"
#include "app/WorkerControl.h"
#include "browser/FileIcons.h"
#include "disk/DiskReader.h"
#include "fs/ntfs/FileNameAttribute.h"
#include "fs/ntfs/MftRecord.h"
#include "fs/ntfs/NtfsBootSector.h"
#include "util/ByteReader.h"

namespace talvix::ntfs {
namespace {

// The searches for records read the volume in pieces of this size.
constexpr std::uint64_t kSearchChunkBytes = 10 * 1024 * 1024;
// The $MFT is read in pieces of this size, cut into records.
constexpr std::uint64_t kMftReadBytes = 4 * 1024 * 1024;
// Status lines are rewritten once per this many records: in the window each rewrite is a
// round trip to the user-interface thread.
constexpr std::int64_t kStatusEvery = 4096;
// Deep mode puts at most this many folders directly under "ORPHAN_ENTRY".
constexpr int kMaxDeepFolders = 100000;

// A parent reference: the record number (48 bits) sign-extended from bit 47.
std::int64_t parentIndexOf(std::uint64_t record) {
  record &= 0xFFFF'FFFF'FFFFu;
  if ((record & 0x8000'0000'0000u) != 0) record |= 0xFFFF'0000'0000'0000u;
  return static_cast<std::int64_t>(record);
}

std::string format(const char* pattern, long long value) {
  char text[96];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

}  // namespace

ntfs::ntfs() = default;
ntfs::~ntfs() = default;

bool ntfs::shouldStop() {
  if (control != nullptr && control->checkpoint()) stopRequested = true;
  return stopRequested.load();
}

void ntfs::setStatus(const std::string& text) {
  if (statusCtrl != nullptr) statusCtrl->setStatusText(text);
}

void ntfs::setRange(std::int64_t high) {
  if (pageWnd != nullptr) pageWnd->setProgressRange(0, high);
}

void ntfs::setPosition(std::int64_t position) {
  if (pageWnd != nullptr) pageWnd->setProgressPosition(position);
}

bool ntfs::readVolume(std::uint64_t offset, std::span<std::byte> out) {
  if (reader == nullptr || offset > static_cast<std::uint64_t>(INT64_MAX) ||
      !reader->seek(static_cast<std::int64_t>(offset))) {
    return false;
  }
  return reader->read(out.data(), out.size());
}

std::vector<std::byte> ntfs::readRecord(std::uint64_t offset) {
  std::vector<std::byte> record(recordBytes);
  if (!readVolume(offset, record)) return {};
  applyFixups(record);
  return record;
}

std::uint64_t ntfs::volumeClusters() const {
  return clusterBytes == 0 ? 0 : volumeBytes / clusterBytes;
}

void ntfs::insertRootItem() {
  if (treeCtrl == nullptr) return;
  const int folder = FileIconIndex::kFolder;
  rootItem = treeCtrl->InsertItem(kTreeRoot, rootName, folder, folder);
  treeCtrl->Expand(rootItem, TreeExpand::expand);
}

bool ntfs::readBootSector() {
  bootSector.fill(std::byte{0});
  if (reader == nullptr || !reader->seek(0)) return false;
  reader->read(bootSector.data(), bootSector.size());
  const BootSector boot = decodeBootSector(bootSector);
  if (boot.verdict != Verdict::notThisStructure) {
    volumeBytes = boot.totalSectors * 512;
    if (boot.verdict == Verdict::valid) {
      recordBytes = boot.mftRecordBytes == 4096 ? 4096 : 1024;
    }
  } else {
    volumeBytes = sizeTextMegabytes(volume.sizeText) * 1024 * 1024;
  }
  // A volume ends with its disk, whatever a damaged boot sector claims: the searches would
  // otherwise read zeros far past the disk's end.
  const std::uint64_t diskBytes = reader->diskSectors() * 512;
  const auto base = static_cast<std::uint64_t>(std::max<std::int64_t>(reader->volumeBase, 0));
  if (diskBytes != 0) volumeBytes = std::min(volumeBytes, diskBytes > base ? diskBytes - base : 0);
  return volumeBytes != 0;
}

// ---------------------------------------------------------------------------------------------
// Finding the $MFT

bool ntfs::locateMftRun() {
  const BootSector boot = decodeBootSector(bootSector);
  clusterBytes = boot.clusterBytes;
  if (boot.verdict != Verdict::notThisStructure && clusterBytes != 0 &&
      boot.mftCluster <= UINT64_MAX / clusterBytes) {
    mftReady = true;
    setStatus("boot sector is fine.Getting run of mft entry...");
    mftRuns = mftRunsAt(boot.mftCluster * clusterBytes);
    setStatus("Got run...");
    runsPending = false;
    // A boot sector that names no readable $MFT is as good as none: search for it.
    if (!mftRuns.empty()) return true;
    mftReady = false;
    runsPending = true;
  }

  clusterBytes = 4096;
  setStatus("boot sector corrupt.Scanning for first mft entry...");
  mftReady = false;
  // Found records are not record numbers: they go under "ORPHAN_ENTRY" unless the $MFT turns
  // up.
  indexIsRecordNumber_ = false;
  setRange(static_cast<std::int64_t>(volumeBytes / kSearchChunkBytes));
  scanForRecords(100, [&](std::uint64_t offset, std::span<std::byte> record) {
    NtfsEntry& entry = appendFoundRecord(offset, record);
    if (entry.named) entry.orphan = 1;
    if (!entry.named || entry.name.rfind("$MF", 0) != 0) return Find::taken;
    setStatus("found mft entry.getting its run ...");
    mftRuns = mftRunsAt(entry.recordOffset);
    setStatus("got run ...");
    if (mftRuns.empty()) return Find::taken;
    adoptClusterSizeFrom(entry.recordOffset);
    mftReady = true;
    runsPending = false;
    entries.clear();
    extensionFacts_.clear();
    offsetByNumber_.clear();
    indexIsRecordNumber_ = true;
    return Find::done;
  });
  return mftReady;
}

void ntfs::scanForRecords(std::uint64_t progressEvery, const FoundRecord& found) {
  std::vector<std::byte> chunk(kSearchChunkBytes + recordBytes);
  std::vector<std::byte> record(recordBytes);
  std::uint64_t position = 0;
  for (std::uint64_t n = 0; position < volumeBytes; ++n) {
    if (shouldStop()) return;
    if (n % progressEvery == 0) setPosition(static_cast<std::int64_t>(n));
    std::fill(chunk.begin(), chunk.end(), std::byte{0});
    const std::uint64_t chunkStart = position;
    if (!readVolume(chunkStart, chunk)) {
      position = chunkStart + kSearchChunkBytes;
      continue;
    }
    std::uint64_t offset = 0;
    while (offset < kSearchChunkBytes) {
      if (std::memcmp(chunk.data() + offset, "FILE", 4) != 0) {
        offset += 512;
        continue;
      }
      std::memcpy(record.data(), chunk.data() + offset, recordBytes);
      const Find answer = found(chunkStart + offset, record);
      if (answer == Find::done) return;
      offset += answer == Find::taken ? recordBytes : 512;
    }
    position = chunkStart + offset;
  }
}

NtfsEntry& ntfs::appendFoundRecord(std::uint64_t offset, std::span<std::byte> record) {
  NtfsEntry& entry = entries.emplace_back();
  std::memcpy(entry.signature.data(), "FILE", 4);
  entry.recordOffset = offset;
  entry.index = static_cast<std::int64_t>(entries.size() - 1);
  parseRecordBytes(record, entry.index);
  return entries.back();
}

// Without a boot sector the cluster size is unknown. The $MFT's first run starts at the
// record found, so the one power of two that maps that run there is the cluster size.
void ntfs::adoptClusterSizeFrom(std::uint64_t mftRecordOffset) {
  if (mftRuns.empty() || mftRuns.front().sparse || mftRuns.front().startCluster == 0) return;
  for (std::uint64_t size = 512; size <= 65536; size *= 2) {
    if (mftRuns.front().startCluster * size == mftRecordOffset) {
      clusterBytes = size;
      return;
    }
  }
}

bool ntfs::useFoundMft(std::uint64_t candidate) {
  mftReady = false;
  if (candidate < mftCandidates.size()) {
    mftRuns = getAttributeRuns(mftCandidates[candidate].recordOffset, kAttrData);
    if (!mftRuns.empty()) {
      mftReady = true;
      runsPending = false;
    }
  }
  return mftReady;
}

// The runs of the $MFT whose record 0 lies at `recordOffset`. A much fragmented $MFT keeps
// the later part of its run list in extension records named by its attribute list; those
// records lie in the part already known.
std::vector<DataRun> ntfs::mftRunsAt(std::uint64_t recordOffset) {
  mftRuns = getAttributeRuns(recordOffset, kAttrData);
  if (mftRuns.empty()) return mftRuns;
  const std::vector<DataStream> streams = streamsOf(readRecord(recordOffset), 0);
  if (!streams.empty() && streams.front().name.empty() && !streams.front().resident &&
      streams.front().runs.size() > mftRuns.size()) {
    return streams.front().runs;
  }
  return mftRuns;
}

std::vector<DataRun> ntfs::getAttributeRuns(std::uint64_t recordOffset, std::uint32_t type) {
  std::vector<DataRun> runs;
  const std::vector<std::byte> record = readRecord(recordOffset);
  if (record.empty()) return runs;
  for (const Attribute& a : walkAttributes(record).attributes) {
    if (a.type != type || !a.nonResident || !a.sound) continue;
    const RunList list =
        decodeRunList(runListBytes(record, a), a.lastVcn - a.firstVcn + 1, volumeClusters());
    runs.insert(runs.end(), list.runs.begin(), list.runs.end());
    if (list.ended) break;
  }
  return runs;
}

// ---------------------------------------------------------------------------------------------
// Collecting and parsing the records

void ntfs::collectMftRecords() {
  if (!mftReady || shouldStop()) return;
  if (clusterBytes == 0) clusterBytes = 4096;
  if (runsPending && !entries.empty()) {
    setStatus("getting run of mft...");
    mftRuns = getAttributeRuns(entries[0].recordOffset, kAttrData);
    setStatus("got run...");
  }
  entries.clear();
  extensionFacts_.clear();

  // An MFT cannot be larger than its volume: a damaged run list must not make millions of
  // slots. Unknown volume sizes are bounded by the disk.
  std::uint64_t limit = volumeBytes != 0 ? volumeBytes : reader->diskSectors() * 512;
  std::uint64_t total = 0;
  for (const DataRun& run : mftRuns) {
    total += std::min<std::uint64_t>(run.clusterCount, limit / clusterBytes + 1) * clusterBytes;
  }
  total = std::min(total, limit);
  setRange(static_cast<std::int64_t>(total / recordBytes));
  // Every slot exists before parsing starts, so that an entry can hang under a parent whose
  // record comes later, as it would after reading the whole $MFT first.
  entries.resize(total / recordBytes);
  collected_ = 0;

  // The $MFT's data is one stream: a record may begin in one run and end in the next. Such a
  // record is taken whole from the two pieces; its offset is where its first byte lies.
  std::vector<std::byte> piece;
  std::vector<std::byte> carry;
  std::uint64_t carryOffset = 0;
  std::uint64_t streamed = 0;
  indexIsRecordNumber_ = true;
  parsedWhileCollecting_ = true;
  for (const DataRun& run : mftRuns) {
    setStatus(format("parsing %lld cluster of MFT run.", static_cast<long long>(run.startCluster)));
    if (shouldStop()) break;
    std::uint64_t k = 0;
    while (k < run.clusterCount && streamed < total && !shouldStop()) {
      const std::uint64_t clusters =
          std::min<std::uint64_t>({run.clusterCount - k, kMftReadBytes / clusterBytes + 1,
                                   (total - streamed + clusterBytes - 1) / clusterBytes});
      const std::uint64_t pieceOffset = (run.startCluster + k) * clusterBytes;
      piece.assign(clusters * clusterBytes, std::byte{0});
      // A hole in the $MFT holds no records: its slots read as empty.
      if (!run.sparse) readVolume(pieceOffset, piece);
      k += clusters;
      streamed += piece.size();
      std::span<const std::byte> rest(piece);
      if (!carry.empty()) {
        const std::size_t need = std::min<std::size_t>(recordBytes - carry.size(), rest.size());
        carry.insert(carry.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(need));
        rest = rest.subspan(need);
        if (carry.size() == recordBytes) {
          appendMftSlots(carry, carryOffset);
          carry.clear();
        }
      }
      const std::size_t whole = rest.size() / recordBytes * recordBytes;
      appendMftSlots(rest.first(whole), pieceOffset + (piece.size() - rest.size()));
      if (whole < rest.size()) {
        carryOffset = pieceOffset + (piece.size() - rest.size()) + whole;
        carry.assign(rest.begin() + static_cast<std::ptrdiff_t>(whole), rest.end());
      }
      setPosition(static_cast<std::int64_t>(collected_));
    }
    if (streamed >= total) break;
  }
  dropUncollectedSlots();
}

// A stopped or short read leaves slots that were never read: they go, and the entries that
// hung under them become orphans.
void ntfs::dropUncollectedSlots() {
  if (collected_ >= entries.size()) return;
  entries.resize(collected_);
  const auto count = static_cast<std::int64_t>(collected_);
  for (NtfsEntry& e : entries) {
    if (e.linked && e.parentIndex >= count) {
      e.linked = false;
      e.orphan = 1;
      e.nextSibling = 0;
    }
    if (e.firstChild >= count || e.lastChild >= count) e.firstChild = e.lastChild = 0;
    if (e.nextSibling >= count) e.nextSibling = 0;
  }
}

// Appends one entry per record slot of `slots`, whose first byte lies at `firstOffset`.
void ntfs::appendMftSlots(std::span<const std::byte> slots, std::uint64_t firstOffset) {
  std::vector<std::byte> record(recordBytes);
  for (std::size_t at = 0; at + recordBytes <= slots.size(); at += recordBytes) {
    if (collected_ == entries.size()) entries.emplace_back();
    // The slot may already hold children linked to it: only its own fields are set.
    NtfsEntry& entry = entries[collected_];
    std::memcpy(entry.signature.data(), slots.data() + at, 4);
    entry.recordOffset = firstOffset + at;
    entry.index = static_cast<std::int64_t>(collected_++);
    if (!entry.isRecord()) continue;
    if (entry.index % kStatusEvery == 0) {
      setStatus(format("parsing MFT entry %lld...", static_cast<long long>(entry.index)));
    }
    std::memcpy(record.data(), slots.data() + at, recordBytes);
    parseRecordBytes(record, entry.index);
  }
}

bool ntfs::parseMftRecord(std::uint64_t recordOffset, std::int64_t index) {
  std::vector<std::byte> record(recordBytes);
  if (!readVolume(recordOffset, record)) return false;
  parseRecordBytes(record, index);
  return true;
}

// Takes what the browser shows of a record: the name, parent and size of its $FILE_NAME (a
// Win32 or POSIX one before a DOS 8.3 one), the folder mark, the times, the size of the file's
// content; then links the entry under its parent.
void ntfs::parseRecordBytes(std::span<std::byte> record, std::int64_t index) {
  NtfsEntry& entry = entries[static_cast<std::size_t>(index)];
  const RecordHeader header = decodeRecordHeader(record);
  if (header.verdict != Verdict::valid) return;
  applyFixups(record);
  entry.recordFlags = header.flags;
  if (header.updateSequenceOffset >= 48) {
    entry.recordNumber = ByteReader(record).u32le(44);
    if (!indexIsRecordNumber_) {
      offsetByNumber_.emplace(static_cast<std::uint64_t>(entry.recordNumber), entry.recordOffset);
    }
  }

  FileName chosen;
  bool haveName = false;
  for (const Attribute& a : walkAttributes(record).attributes) {
    if (!a.sound) continue;
    if (a.type == kAttrStandardInformation && !a.nonResident) {
      ByteReader v(residentValue(record, a));
      entry.creationTime = v.u64le(0);
      entry.modificationTime = v.u64le(8);
      entry.accessTime = v.u64le(24);
    } else if (a.type == kAttrFileName && !a.nonResident) {
      FileName name = decodeFileName(residentValue(record, a));
      if (name.verdict != Verdict::valid) continue;
      if (name.isDirectory()) entry.kind = 'D';
      const bool dos = name.nameSpace == static_cast<std::uint8_t>(NameSpace::dos);
      const bool chosenDos = chosen.nameSpace == static_cast<std::uint8_t>(NameSpace::dos);
      if (!haveName || (chosenDos && !dos)) {
        chosen = std::move(name);
        haveName = true;
      }
    } else if (a.type == kAttrData && a.nameLength == 0 && a.firstVcn == 0) {
      const std::uint64_t size = a.nonResident ? a.realSize : a.valueLength;
      if (header.baseRecord != 0) {
        extensionFacts_.push_back({static_cast<std::int64_t>(header.baseRecord), size, {}});
      } else {
        entry.dataSize = size;
      }
    } else if (a.type == kAttrAttributeList) {
      entry.hasAttributeList = true;
    }
  }
  if (!haveName) return;
  if (header.baseRecord != 0) {
    // An extension record's name belongs to its base record, which is the file.
    entry.kind = 0;
    extensionFacts_.push_back(
        {static_cast<std::int64_t>(header.baseRecord), {}, std::move(chosen)});
    return;
  }
  entry.named = true;
  entry.name = std::move(chosen.name);
  entry.parentIndex = parentIndexOf(chosen.parentRecord);
  entry.allocatedSize = chosen.allocatedSize;
  entry.nameFlags = chosen.flags;
  if (indexIsRecordNumber_) linkEntry(index);
}

void ntfs::linkEntry(std::int64_t index) {
  NtfsEntry& entry = entries[static_cast<std::size_t>(index)];
  const std::int64_t parent = entry.parentIndex;
  const auto count = static_cast<std::int64_t>(entries.size());
  // Entry 0 (the $MFT) can be nobody's child: 0 means "no child".
  if (index == 0 || entry.linked) return;
  // The root is its own parent and is never listed as an orphan (linkOrphans passes it by);
  // any other record that names itself would hang nowhere.
  if (parent == index || parent < 0 || parent >= count) {
    entry.orphan = 1;
    return;
  }
  // A parent parsed earlier must be a folder; a later one is judged once all are parsed.
  if (parent < index && !entries[static_cast<std::size_t>(parent)].isFolder()) {
    entry.orphan = 1;
    return;
  }
  appendSibling(index);
}

void ntfs::appendSibling(std::int64_t index) {
  NtfsEntry& entry = entries[static_cast<std::size_t>(index)];
  NtfsEntry& parent = entries[static_cast<std::size_t>(entry.parentIndex)];
  entry.nextSibling = 0;
  entry.linked = true;
  if (parent.firstChild == 0) {
    parent.firstChild = index;
  } else {
    entries[static_cast<std::size_t>(parent.lastChild)].nextSibling = index;
  }
  parent.lastChild = index;
}

// Sizes and names that extension records hold for their base records (a file with many
// attributes may keep even its $FILE_NAME in one).
void ntfs::finishExtensionRecords() {
  std::unordered_map<std::int64_t, std::int64_t> byNumber;
  if (!indexIsRecordNumber_ && !extensionFacts_.empty()) {
    for (const NtfsEntry& e : entries) {
      if (e.recordNumber >= 0) byNumber.emplace(e.recordNumber, e.index);
    }
  }
  for (ExtensionFact& fact : extensionFacts_) {
    std::int64_t target = fact.base;
    if (!indexIsRecordNumber_) {
      const auto it = byNumber.find(fact.base);
      if (it == byNumber.end()) continue;
      target = it->second;
    }
    if (!validIndex(target)) continue;
    NtfsEntry& e = entries[static_cast<std::size_t>(target)];
    if (fact.size) e.dataSize = *fact.size;
    if (fact.name.verdict != Verdict::valid || e.named) continue;
    e.named = true;
    e.name = std::move(fact.name.name);
    e.parentIndex = parentIndexOf(fact.name.parentRecord);
    e.allocatedSize = fact.name.allocatedSize;
    e.nameFlags = fact.name.flags;
    if (fact.name.isDirectory()) e.kind = 'D';
    if (indexIsRecordNumber_) {
      linkEntry(target);
    } else {
      e.orphan = 1;
    }
  }
  extensionFacts_.clear();
}

void ntfs::buildEntryTree() {
  if (mftReady && !shouldStop() && !parsedWhileCollecting_) {
    setRange(static_cast<std::int64_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size() && !shouldStop(); ++i) {
      if (i % kStatusEvery == 0)
        setStatus(format("parsing MFT entry %lld...", static_cast<long long>(i)));
      setPosition(static_cast<std::int64_t>(i));
      if (entries[i].isRecord())
        parseMftRecord(entries[i].recordOffset, static_cast<std::int64_t>(i));
    }
  }
  finishExtensionRecords();

  NtfsEntry orphans;
  std::memcpy(orphans.signature.data(), "FILE", 4);
  orphans.name = std::string(kOrphanEntryName);
  orphans.named = true;
  orphans.kind = 'D';
  orphans.recordFlags = 1;
  orphanIndex = static_cast<std::int64_t>(entries.size());
  orphans.index = orphanIndex;
  entries.push_back(std::move(orphans));

  rootIndex = static_cast<std::int64_t>(entries.size());
  for (const NtfsEntry& e : entries) {
    if (e.named && e.name == ".") {
      rootIndex = e.index;
      break;
    }
  }
  linkOrphans();
  fillTree();
}

void ntfs::linkOrphans() {
  const auto count = static_cast<std::int64_t>(entries.size());
  setRange(count);
  NtfsEntry& orphans = entries[static_cast<std::size_t>(orphanIndex)];
  const bool haveRoot = rootIndex > 0 && rootIndex < count;

  if (recoveryMode != 3) {
    // Children hung under a later parent that turned out not to be a folder (or no record at
    // all) would never be shown: they are orphans too.
    for (NtfsEntry& e : entries) {
      if (e.firstChild == 0 || e.isFolder()) continue;
      for (std::int64_t c = e.firstChild; c > 0 && c < count;) {
        NtfsEntry& child = entries[static_cast<std::size_t>(c)];
        const std::int64_t next = child.nextSibling;
        child.orphan = 1;
        child.linked = false;
        child.nextSibling = 0;
        c = next;
      }
      e.firstChild = e.lastChild = 0;
    }
    for (std::int64_t i = 0; i < count; ++i) {
      NtfsEntry& e = entries[static_cast<std::size_t>(i)];
      if (e.orphan != 1 || i == orphanIndex || i == rootIndex || e.linked) continue;
      if (orphans.firstChild == 0) {
        e.nextSibling = -1;
        e.parentIndex = orphanIndex;
        orphans.lastChild = i;
      } else {
        e.nextSibling = orphans.firstChild;
      }
      orphans.firstChild = i;
      e.linked = true;
    }
    releaseParentLoops();
    // "ORPHAN_ENTRY" becomes the root's last child.
    if (haveRoot) {
      NtfsEntry& root = entries[static_cast<std::size_t>(rootIndex)];
      orphans.parentIndex = rootIndex;
      orphans.nextSibling = 0;
      orphans.linked = true;
      if (root.firstChild == 0) {
        root.firstChild = orphanIndex;
      } else {
        entries[static_cast<std::size_t>(root.lastChild)].nextSibling = orphanIndex;
      }
      root.lastChild = orphanIndex;
    }
    return;
  }

  // Deep mode: record numbers are unknown, so the records are grouped by where they were
  // found: each folder under "ORPHAN_ENTRY", the files found after a folder under it.
  std::int64_t current = orphanIndex;
  int folders = 0;
  bool firstFolder = true;
  for (std::int64_t i = 0; i < count; ++i) {
    NtfsEntry& e = entries[static_cast<std::size_t>(i)];
    // Entry 0 would end a chain; records without a name show nothing.
    if (i == 0 || i == orphanIndex || i == rootIndex || !e.named) continue;
    e.firstChild = e.parentIndex = e.nextSibling = 0;
    e.lastChild = 0;
    bool asFolder = e.isFolder();
    if (asFolder && !firstFolder) {
      if (folders >= kMaxDeepFolders)
        asFolder = false;
      else
        ++folders;
    }
    if (asFolder) {
      firstFolder = false;
      e.parentIndex = orphanIndex;
      e.nextSibling = orphans.firstChild;
      orphans.firstChild = i;
      current = i;
    } else {
      NtfsEntry& folder = entries[static_cast<std::size_t>(current)];
      e.nextSibling = folder.firstChild;
      folder.firstChild = i;
    }
  }
}

// Folders that are each other's parents (directly or through others) hang below nothing that
// is shown. Each such loop is cut at one of its folders, which goes under "ORPHAN_ENTRY" with
// everything below it.
void ntfs::releaseParentLoops() {
  const auto count = static_cast<std::int64_t>(entries.size());
  const auto at = [&](std::int64_t i) -> NtfsEntry& {
    return entries[static_cast<std::size_t>(i)];
  };
  std::vector<bool> reached(entries.size());
  const auto reach = [&](std::int64_t top) {
    std::vector<std::int64_t> pending{top};
    while (!pending.empty()) {
      const std::int64_t n = pending.back();
      pending.pop_back();
      if (n <= 0 || n >= count || reached[static_cast<std::size_t>(n)]) continue;
      reached[static_cast<std::size_t>(n)] = true;
      for (std::int64_t c = at(n).firstChild; c > 0 && c < count; c = at(c).nextSibling) {
        if (reached[static_cast<std::size_t>(c)]) break;
        pending.push_back(c);
      }
    }
  };
  if (rootIndex > 0 && rootIndex < count) reach(rootIndex);
  reach(orphanIndex);

  // A linked entry that is not reached lies in or below a loop: its parents lead back to one
  // of themselves. Each walk marks the entries it passes with where it started.
  std::vector<std::int64_t> walkedFrom(entries.size(), -1);
  for (std::int64_t i = 1; i < count; ++i) {
    if (reached[static_cast<std::size_t>(i)] || !at(i).linked) continue;
    std::int64_t n = i;
    while (n > 0 && n < count && !reached[static_cast<std::size_t>(n)] &&
           walkedFrom[static_cast<std::size_t>(n)] != i) {
      walkedFrom[static_cast<std::size_t>(n)] = i;
      n = at(n).parentIndex;
    }
    if (n <= 0 || n >= count || reached[static_cast<std::size_t>(n)]) continue;
    // Take n out of its parent's chain and put it first under "ORPHAN_ENTRY".
    NtfsEntry& parent = at(at(n).parentIndex);
    std::int64_t before = 0;
    for (std::int64_t c = parent.firstChild; c > 0 && c < count && c != n; c = at(c).nextSibling) {
      before = c;
    }
    if (before == 0) {
      parent.firstChild = at(n).nextSibling > 0 ? at(n).nextSibling : 0;
    } else {
      at(before).nextSibling = at(n).nextSibling;
    }
    if (parent.lastChild == n) parent.lastChild = before;
    NtfsEntry& orphans = at(orphanIndex);
    at(n).nextSibling = orphans.firstChild == 0 ? -1 : orphans.firstChild;
    at(n).parentIndex = orphanIndex;
    orphans.firstChild = n;
    reach(n);
  }
}

void ntfs::fillTree() {
  if (treeCtrl == nullptr) return;
  const auto count = static_cast<std::int64_t>(entries.size());
  FileIconIndex fallbackIcons;
  FileIconIndex& iconIndex = icons != nullptr ? *icons : fallbackIcons;
  auto insert = [&](const NtfsEntry& e) {
    const int icon = e.isFolder() ? FileIconIndex::kFolder : iconIndex.iconForName(e.name);
    const TreeItem item = treeCtrl->InsertItem(rootItem, e.name, icon, icon);
    treeCtrl->SetItemData(item, static_cast<ItemData>(e.index));
    if (e.deleted()) treeCtrl->MarkDeleted(item);
  };
  bool orphansShown = false;
  if (recoveryMode != 3 && rootIndex > 0 && rootIndex < count) {
    std::int64_t c = entries[static_cast<std::size_t>(rootIndex)].firstChild;
    for (std::int64_t steps = 0; c > 0 && c < count && steps < count; ++steps) {
      insert(entries[static_cast<std::size_t>(c)]);
      orphansShown = orphansShown || c == orphanIndex;
      c = entries[static_cast<std::size_t>(c)].nextSibling;
    }
  }
  if (!orphansShown) insert(entries[static_cast<std::size_t>(orphanIndex)]);
  treeCtrl->Expand(rootItem, TreeExpand::expand);
}

void ntfs::freeNames() {
  for (NtfsEntry& e : entries) {
    e.name.clear();
    e.named = false;
  }
}

}  // namespace talvix::ntfs
