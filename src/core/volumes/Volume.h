#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace talvix {

// One volume of the disk, found by a scan or added by the user.
struct Volume {
  std::string fileSystem;  // "NTFS", "FAT12", "FAT16", "FAT32", "FAT64" (exFAT), "extX", "HFS+",
                           // "Unknown", a GPT partition's name, "CUSTOM ", "RAW", ...
  std::string spareText;
  std::string volumeName;  // the row label
  std::string sizeText;    // size in MiB as decimal text, usually followed by blanks and "MB"
  std::int64_t startSector = 0;

  friend bool operator==(const Volume&, const Volume&) = default;
};

// Records stay at their places while rows refer to them: appending never moves a record.
using VolumeList = std::deque<Volume>;

// The number at the start of a size text ("100   MB" -> 100); 0 when there is none.
std::uint64_t sizeTextMegabytes(const std::string& sizeText);

// Receives each volume as a scan finds it.
class VolumeSink {
 public:
  virtual ~VolumeSink() = default;
  virtual void volumeFound(const Volume& volume) = 0;
};

}  // namespace talvix
