#pragma once

#include <memory>
#include <string>
#include <vector>

#include "disk/VmdkReader.h"

namespace talvix {

// A VMDK disk stored in several extent files, in one of two modes:
// - descriptor mode: the chosen file is a descriptor text that lists the extents;
// - split mode: the chosen file is one extent of a set "<prefix>-<letters><n>.vmdk",
//   n = 1, 2, ...; the set ends at the first missing number.
// Every extent file is read by its own FileReadSeekVmdk; extents follow one another.
class FileReadSeekVmdkSplit : public readWriteInterface {
 public:
  bool open(const std::filesystem::path& path) override;
  DiskInfo info() const override;

  bool descriptorMode = false;
  // Split mode: "SPARSE" or "FLAT" as chosen; descriptor mode: "FLAT" when the descriptor's
  // extents say FLAT. Extent files are recognised by their content.
  std::string extentType;

  const std::vector<VmdkExtent>& extents() const { return extents_; }

  bool readDisk(std::uint64_t diskOffset, std::span<std::byte> out) override;
  bool isMapped(std::uint64_t diskOffset) override;

 protected:
  Mapping mapAt(std::uint64_t diskOffset) override;
  bool seekAllowed(std::uint64_t diskOffset) override { return diskOffset % kSectorBytes == 0; }

 private:
  // One run of the disk: an opened extent file, or (reader null) a run that reads as zeros:
  // a ZERO extent, or an extent file that the descriptor lists but that cannot be opened.
  struct Piece {
    std::unique_ptr<FileReadSeekVmdk> reader;
    std::uint64_t firstByte = 0;
    std::uint64_t bytes = 0;
    DiskInfo::Extent shown;
  };
  bool openDescriptor(const std::filesystem::path& path);
  bool openSplitSet(const std::filesystem::path& path);
  void append(std::unique_ptr<FileReadSeekVmdk> reader, std::uint64_t sectors,
              DiskInfo::Extent shown);
  const Piece* pieceAt(std::uint64_t diskOffset) const;

  std::vector<VmdkExtent> extents_;
  std::vector<Piece> pieces_;
  VmdkDescriptor descriptor_;
};

// The extent files of a split set, in order, found from any one of them; empty when the
// file name holds no "-".
std::vector<std::filesystem::path> findSplitExtents(const std::filesystem::path& oneExtent);

}  // namespace talvix
