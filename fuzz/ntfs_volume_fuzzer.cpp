// A whole NTFS volume from arbitrary bytes: the standard scan (boot sector, $MFT or its
// search) and the deep scan, then every entry's content read through the browser's adapter.
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "FuzzInput.h"
#include "browser/SaveWalk.h"
#include "browser/VolumeScan.h"
#include "disk/VmdkReader.h"

namespace {

// Takes up to 1 MiB of a stream: a hostile record may describe terabytes.
struct CappedSink : talvix::ByteSink {
  std::uint64_t taken = 0;
  bool write(std::span<const std::byte> bytes) override {
    taken += bytes.size();
    return taken <= (1u << 20);
  }
  bool zeros(std::uint64_t count) override {
    taken += count;
    return taken <= (1u << 20);
  }
};

void readEverything(talvix::EntrySource& source) {
  std::unordered_set<talvix::EntryId> seen;
  std::vector<talvix::EntryId> pending{talvix::kNoEntry};
  while (!pending.empty()) {
    const talvix::EntryId folder = pending.back();
    pending.pop_back();
    for (auto c = talvix::firstChildOf(source, folder); c != talvix::kNoEntry;
         c = source.nextSibling(c)) {
      if (!seen.insert(c).second) break;
      source.columnTexts(c);
      if (source.isFolder(c)) {
        pending.push_back(c);
      } else {
        CappedSink sink;
        source.writeContent(c, sink);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  talvix::fuzz::MemoryFile file(data, size);
  if (!file.ok()) return 0;
  talvix::FileReadSeekVmdk reader;
  reader.extentType = "FLAT";
  if (!reader.open(file.path())) return 0;
  for (const auto mode : {talvix::ScanMode::standard, talvix::ScanMode::deep}) {
    talvix::Volume volume{.fileSystem = "NTFS", .sizeText = "1", .startSector = 0};
    std::string error;
    if (auto scanned = talvix::scanVolume(reader, volume, mode, {}, error)) {
      readEverything(scanned->entries());
    }
  }
  return 0;
}
