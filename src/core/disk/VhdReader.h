#pragma once

#include <vector>

#include "disk/DiskReader.h"

namespace talvix {

// VHD: a fixed disk (the guest's sectors followed by a 512-byte footer) or a dynamic disk
// (footer copy, dynamic header, block allocation table, blocks each led by a sector bitmap).
// All fields are big-endian. docs/formats/vhd.md has the layouts.
class FileReadSeekVHD : public readWriteInterface {
 public:
  bool open(const std::filesystem::path& path) override;
  DiskInfo info() const override;

  // The chosen file must be named *.vhd; detection by content turns this off.
  bool checkName = true;

 protected:
  Mapping mapAt(std::uint64_t diskOffset) override;
  bool seekAllowed(std::uint64_t diskOffset) override;

 private:
  struct Footer {
    std::uint32_t version = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t originalSize = 0;
    std::uint64_t currentSize = 0;
    std::uint16_t cylinders = 0;
    std::uint8_t heads = 0;
    std::uint8_t sectorsPerTrack = 0;
    std::uint32_t diskType = 0;
  };
  static constexpr std::uint32_t kFixed = 2, kDynamic = 3, kDifferencing = 4;
  bool readFooter(std::uint64_t offset, Footer& footer);
  bool openDynamic();

  Footer footer_;
  std::vector<std::uint32_t> blockTable_;
  std::uint64_t blockBytes_ = 0;
  std::uint64_t bitmapBytes_ = 0;
};

// VDI (VirtualBox): a 512-byte pre-header text and header, a block map of 32-bit entries and
// the blocks. All fields are little-endian.
class FileReadSeekVdi : public readWriteInterface {
 public:
  bool open(const std::filesystem::path& path) override;
  DiskInfo info() const override;

 protected:
  Mapping mapAt(std::uint64_t diskOffset) override;
  bool seekAllowed(std::uint64_t diskOffset) override;

 private:
  std::uint32_t version_ = 0;
  std::uint32_t cylinders_ = 0, heads_ = 0, sectors_ = 0;
  std::uint64_t diskBytes_ = 0;
  std::uint64_t blockBytes_ = 0;
  std::uint64_t blockStride_ = 0;     // block size plus the per-block extra data
  std::uint64_t blockDataStart_ = 0;  // data offset plus the per-block extra data
  std::vector<std::uint32_t> blockMap_;
};

}  // namespace talvix
