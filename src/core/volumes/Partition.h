#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/Feedback.h"
#include "disk/DiskReader.h"
#include "volumes/Volume.h"

namespace talvix {

// The volume page's controls that the sector search drives.
class VolumeScanView {
 public:
  virtual ~VolumeScanView() = default;
  virtual void setFilterEntriesEnabled(bool enabled) = 0;
};

// Finds the volumes of a disk: from its partition tables (standardScan) or by testing every
// sector for a volume start (advancedScan). Reads through `reader` with volumeBase 0.
class Partition {
 public:
  Partition(readWriteInterface& reader, StatusLine& statusText, VolumeSink& found)
      : reader_(reader), statusText_(statusText), found_(found) {}

  bool gptMode = false;
  bool skipVolumeSize = false;
  std::int64_t customStartSector = 0;
  std::int64_t customEndSector = 0;
  std::atomic<bool> stopRequested{false};

  // The GPT entry array (gptMode) or the MBR and its chain of extended boot records. Answers
  // 0, or the error number of the read that ended it early.
  int standardScan();

  // Every sector from customStartSector (or 0) to diskSectors or the chunk that holds
  // customEndSector, in 1 MiB chunks; progress 0..1000. Answers 1, or the error number of a
  // chunk that could not be read.
  int advancedScan(std::uint64_t diskSectors, ProgressTarget& progress, VolumeScanView& view);

 private:
  bool readAt(std::uint64_t byteOffset, std::span<std::byte> out);
  int gptScan(std::span<const std::byte> headerSector);
  int mbrScan(std::span<const std::byte> mbr);
  void addTableVolume(std::uint8_t type, std::uint64_t start, std::uint64_t sectors, bool logical);
  void found(Volume volume);
  void status(const std::string& text) { statusText_.setStatusText(text); }

  readWriteInterface& reader_;
  StatusLine& statusText_;
  VolumeSink& found_;
  int ntfsCount_ = 0;
  int recordNumber_ = 0;
  int lastError_ = 0;
};

}  // namespace talvix
