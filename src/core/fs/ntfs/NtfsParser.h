#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "browser/TreeControl.h"
#include "fs/ntfs/FileNameAttribute.h"
#include "fs/ntfs/RunList.h"
#include "util/ByteSink.h"
#include "volumes/Volume.h"

namespace talvix {
class readWriteInterface;
class ProgressTarget;
class StatusLine;
class WorkerControl;
class FileIconIndex;
}  // namespace talvix

namespace talvix::ntfs {

// One MFT record slot of the volume. In standard and advanced mode an entry's `index` is its
// MFT record number, so a parent reference is an index into the entries.
struct NtfsEntry {
  std::array<char, 4> signature{};  // as read; "FILE" for a record
  std::uint64_t recordOffset = 0;   // byte offset of the record within the volume
  std::string name;                 // UTF-8
  bool named = false;               // a $FILE_NAME gave a name (it may still be empty)
  std::int64_t parentIndex = 0;     // parent reference, low 48 bits sign-extended from bit 47
  std::uint64_t allocatedSize = 0;  // from the $FILE_NAME taken
  std::uint16_t recordFlags = 0;    // bit 0 set: in use; clear: deleted
  std::uint8_t kind = 0;            // 'D' for a folder
  std::int64_t index = 0;
  std::uint8_t orphan = 0;       // the parent cannot take the entry
  std::int64_t firstChild = 0;   // 0: none
  std::int64_t nextSibling = 0;  // 0 or negative ends the chain

  // Taken while parsing, so that listing a folder reads nothing again.
  std::int64_t lastChild = 0;  // end of the child chain: appending is O(1)
  bool linked = false;         // already in a parent's chain
  std::uint64_t dataSize = 0;  // the unnamed $DATA's real size
  std::uint64_t creationTime = 0, modificationTime = 0, accessTime = 0;  // $STANDARD_INFORMATION
  std::uint32_t nameFlags = 0;     // file attribute bits of the $FILE_NAME taken
  std::int64_t recordNumber = -1;  // as the record states it (NTFS 3.1 headers); -1 unknown
  bool hasAttributeList = false;

  bool isRecord() const { return std::string_view(signature.data(), 4) == "FILE"; }
  bool isFolder() const { return kind == 'D'; }
  bool deleted() const { return (recordFlags & 1) == 0; }
};

struct NtfsTimes {
  std::uint64_t creationTime = 0;
  std::uint64_t modificationTime = 0;
  std::uint64_t accessTime = 0;
  std::string attributeText;  // "-R-H-S-A-C-E" pieces
};

// One data stream of a file: the unnamed $DATA (the file's content) or a named one.
struct DataStream {
  std::string name;  // UTF-8; empty for the file's content
  bool resident = false;
  std::vector<std::byte> residentBytes;
  std::vector<DataRun> runs;  // in VCN order, gaps filled with sparse runs
  std::uint64_t realSize = 0;
  std::uint64_t initializedSize = 0;
  std::uint16_t compressionUnit = 0;  // log2 clusters per unit; 0 when not compressed
  std::uint16_t flags = 0;            // attribute flags of the first piece
  bool compressed() const;
};

inline constexpr std::string_view kOrphanEntryName = "ORPHAN_ENTRY";

// An NTFS volume read through the disk reader: the MFT's record slots as entries, linked into
// a folder tree by first-child / next-sibling indices. Positions are byte offsets inside the
// volume (the caller sets the reader's volumeBase to the volume's start).
class ntfs {
 public:
  ntfs();
  virtual ~ntfs();
  ntfs(const ntfs&) = delete;
  ntfs& operator=(const ntfs&) = delete;

  // Set by the owner before use; all but `reader` may stay null.
  TreeControl* treeCtrl = nullptr;
  ProgressTarget* pageWnd = nullptr;
  StatusLine* statusCtrl = nullptr;
  readWriteInterface* reader = nullptr;
  WorkerControl* control = nullptr;  // pause gate and stop of the worker driving the parser
  FileIconIndex* icons = nullptr;
  Volume volume;
  std::string rootName = "ROOT";

  std::array<std::byte, 512> bootSector{};
  std::uint64_t volumeBytes = 0;
  std::uint64_t clusterBytes = 4096;
  std::uint32_t recordBytes = 1024;
  std::vector<DataRun> mftRuns;
  std::vector<NtfsEntry> entries;
  std::vector<NtfsEntry> mftCandidates;  // $MFT records found by the entry search
  bool mftReady = false;
  bool runsPending = true;
  std::atomic<bool> stopRequested{false};
  int recoveryMode = 0;  // 1 standard, 2 advanced, 3 deep
  std::int64_t orphanIndex = -1;
  std::int64_t rootIndex = 5;
  TreeItem rootItem = kNoItem;

  // Scanning (in the order the workers call them).
  void insertRootItem();
  bool readBootSector();
  bool locateMftRun();
  bool useFoundMft(std::uint64_t candidate);
  void collectMftRecords();
  void buildEntryTree();
  bool deepScanMftRecords();
  // Parses the record at `recordOffset` into entry `index`: name, parent, kind, times, size;
  // links it under its parent unless in deep mode. False when the record cannot be read.
  bool parseMftRecord(std::uint64_t recordOffset, std::int64_t index);
  // The runs of the first non-resident attribute of `type` (continued in later ones of the
  // same type when a run list ends without its end byte).
  std::vector<DataRun> getAttributeRuns(std::uint64_t recordOffset, std::uint32_t type);
  void freeNames();

  // Reading an entry.
  NtfsTimes readTimes(std::int64_t index);
  // The file's content first, then its named streams; empty for a folder or a lost record.
  std::vector<DataStream> dataStreams(std::int64_t index);
  // Writes a stream's bytes (`stream.realSize` of them) to `out`. False when the sink fails.
  bool writeStream(const DataStream& stream, ByteSink& out);
  // Writes entry `index` into `outputPath` (a folder): its content under its name, named
  // streams beside it as "<name>:<stream>", then the times. The name is used as given: the
  // save walk makes it safe before it gets here. False when the file cannot be written.
  bool saveEntry(std::int64_t index, const std::filesystem::path& outputPath,
                 const std::string& fileName);

  // Gives `path` the entry's access and modification times (a link is not followed).
  void setTimes(const std::filesystem::path& path, std::int64_t index) const;

  bool validIndex(std::int64_t index) const {
    return index >= 0 && static_cast<std::uint64_t>(index) < entries.size() &&
           entries[static_cast<std::size_t>(index)].isRecord();
  }

 private:
  bool shouldStop();
  void setStatus(const std::string& text);
  void setRange(std::int64_t high);
  void setPosition(std::int64_t position);
  bool readVolume(std::uint64_t offset, std::span<std::byte> out);
  // The record at `offset`, fix-ups applied; empty when it cannot be read.
  std::vector<std::byte> readRecord(std::uint64_t offset);
  void parseRecordBytes(std::span<std::byte> record, std::int64_t index);
  void linkEntry(std::int64_t index);
  void appendSibling(std::int64_t index);
  void linkOrphans();
  void releaseParentLoops();
  void fillTree();
  void appendMftSlots(std::span<const std::byte> slots, std::uint64_t firstOffset);
  void finishExtensionRecords();
  void dropUncollectedSlots();
  std::uint64_t volumeClusters() const;
  // MFT record `number`, fix-ups applied; empty when it is not among the entries.
  std::vector<std::byte> recordByNumber(std::uint64_t number);
  // Entry `index`'s record, fix-ups applied; empty when it cannot be read.
  std::vector<std::byte> entryRecord(std::int64_t index);
  std::vector<DataStream> streamsOf(std::vector<std::byte> record, std::int64_t ownNumber);
  void adoptClusterSizeFrom(std::uint64_t mftRecordOffset);
  // The record searches: the volume read in 10 MiB chunks, every 512-byte step that begins
  // with "FILE" offered (its offset and a copy of the record there). A record taken moves the
  // step on by a whole record; done ends the search. Progress every `progressEvery` chunks.
  enum class Find { skip, taken, done };
  using FoundRecord = std::function<Find(std::uint64_t offset, std::span<std::byte> record)>;
  void scanForRecords(std::uint64_t progressEvery, const FoundRecord& found);
  // Appends a record found by a search as an entry, parsed.
  NtfsEntry& appendFoundRecord(std::uint64_t offset, std::span<std::byte> record);
  std::vector<DataRun> mftRunsAt(std::uint64_t recordOffset);
  // Where MFT record `number` lies, through the $MFT's runs; nullopt outside them.
  std::optional<std::uint64_t> mftRecordOffset(std::uint64_t number) const;

  struct ExtensionFact {
    std::int64_t base = 0;  // the base record's number
    std::optional<std::uint64_t> size;
    FileName name;  // verdict valid when the extension record held the file's name
  };
  std::vector<ExtensionFact> extensionFacts_;
  // Whether an entry's index is its MFT record number (records read from the $MFT), or the
  // records were found by a search and know their numbers only from their headers.
  bool indexIsRecordNumber_ = true;
  // Found records by the number their header states: record offsets, the unnamed ones too
  // (extension records hold data of named ones).
  std::unordered_map<std::uint64_t, std::uint64_t> offsetByNumber_;
  bool parsedWhileCollecting_ = false;
  std::size_t collected_ = 0;  // slots of the $MFT read so far
};

}  // namespace talvix::ntfs
