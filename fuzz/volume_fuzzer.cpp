// Volume discovery over arbitrary disks: the partition tables (MBR with its extended chain,
// GPT) and the sector search.
#include "FuzzInput.h"
#include "app/Feedback.h"
#include "disk/VmdkReader.h"
#include "volumes/Partition.h"

namespace {

struct Ignore : talvix::VolumeSink,
                talvix::VolumeScanView,
                talvix::StatusLine,
                talvix::ProgressTarget {
  void volumeFound(const talvix::Volume&) override {}
  void setFilterEntriesEnabled(bool) override {}
  void setStatusText(std::string_view) override {}
  void setProgressRange(std::int64_t, std::int64_t) override {}
  void setProgressPosition(std::int64_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  talvix::fuzz::MemoryFile file(data, size);
  if (!file.ok()) return 0;
  talvix::FileReadSeekVmdk reader;
  reader.extentType = "FLAT";
  if (!reader.open(file.path())) return 0;
  Ignore ignore;
  for (const bool gpt : {false, true}) {
    talvix::Partition partition(reader, ignore, ignore);
    partition.gptMode = gpt;
    partition.standardScan();
  }
  talvix::Partition search(reader, ignore, ignore);
  search.skipVolumeSize = true;
  search.advancedScan(reader.diskSectors(), ignore, ignore);
  return 0;
}
