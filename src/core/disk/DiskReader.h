#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "util/ContainerFile.h"

namespace talvix {

inline constexpr std::uint64_t kSectorBytes = 512;

// Why open() failed. `prompt` marks the failures that the reader itself reports to the user
// (a message box in the wizard); the others are reported by the caller in its own words.
struct ReaderError {
  std::string text;
  bool prompt = false;
};

// What the first page shows of a disk file, and what `talvix info` prints.
struct DiskInfo {
  struct Extent {
    std::string fileName;
    std::string type;
    std::uint64_t sectors = 0;
    std::string note;  // e.g. "missing: reads as zeros"
  };
  std::string kind;           // e.g. "VMDK monolithic sparse"
  std::string formatVersion;  // as the container states it
  std::uint64_t sectors = 0;  // guest disk size
  std::string cylinders, heads, sectorsPerTrack;
  std::vector<Extent> extents;
};

// The disk reader: the guest disk as a flat run of 512-byte sectors addressed by byte
// positions relative to `volumeBase`. Subclasses describe where the guest's bytes live
// (mapAt); reading, zero-filling and the position bookkeeping are shared here.
class readWriteInterface {
 public:
  virtual ~readWriteInterface() = default;

  virtual bool open(const std::filesystem::path& path) = 0;

  // Reads `byteCount` bytes at the current position; unmapped sectors and bytes past the
  // disk's end read as zeros. The position advances by the whole sectors read.
  bool read(void* buffer, std::uint64_t byteCount);
  // Sets the position (relative to volumeBase). False for a negative or overflowing position
  // and where the reader refuses the position (seekAllowed).
  bool seek(std::int64_t position);

  // Whether the sector at the current position holds data in the container.
  bool sectorMapped();

  std::int64_t position() const noexcept { return position_; }
  // Length in bytes of the file that open() opened.
  std::int64_t fileLength() const noexcept { return fileLength_; }
  // The guest disk's size as open() learned it.
  std::uint64_t diskSectors() const noexcept { return diskSectors_; }
  const ReaderError& error() const noexcept { return error_; }
  virtual DiskInfo info() const = 0;

  // Byte offset of the current volume; parsers set it to the volume's start sector x 512.
  std::int64_t volumeBase = 0;

  // Fills `out` with the guest disk's bytes from `diskOffset` (volumeBase not applied).
  virtual bool readDisk(std::uint64_t diskOffset, std::span<std::byte> out);
  virtual bool isMapped(std::uint64_t diskOffset);

 protected:
  // Where the byte at `diskOffset` lives, and for how many bytes from there the same answer
  // holds (to the end of its grain or block). `length` is never 0.
  struct Mapping {
    enum class Kind { zeros, stored, compressed };
    Kind kind = Kind::zeros;
    std::uint64_t fileOffset = 0;  // stored: the byte itself; compressed: its grain's marker
    std::uint64_t length = 0;
  };
  virtual Mapping mapAt(std::uint64_t diskOffset) = 0;
  // Reads bytes of a compressed grain; only readers that map compressed grains override it.
  virtual bool readCompressed(const Mapping& mapping, std::uint64_t diskOffset,
                              std::span<std::byte> out);
  virtual bool seekAllowed(std::uint64_t /*diskOffset*/) { return true; }

  bool fail(std::string text, bool prompt = false);
  bool failSystem(std::string_view what, int errorNumber);

  ContainerFile file_;
  std::int64_t fileLength_ = 0;
  std::uint64_t diskSectors_ = 0;
  ReaderError error_;

 private:
  std::int64_t position_ = 0;
};

}  // namespace talvix
