#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "disk/DiskReader.h"
#include "disk/VmdkDescriptor.h"
#include "disk/VmdkSparseHeader.h"

namespace talvix {

// One VMDK extent file: a hosted sparse extent (with or without an embedded descriptor, its
// grains raw or deflate-compressed as in streamOptimized files) or a flat extent (raw sectors).
// A file carrying the sparse magic is read through its own grain directory; any other file is
// read as a flat extent, so a bare flat extent whose descriptor is lost opens as a raw disk.
class FileReadSeekVmdk : public readWriteInterface {
 public:
  bool open(const std::filesystem::path& path) override;
  DiskInfo info() const override;

  // "SPARSE" or "FLAT" as chosen before open(); replaced by the type of an embedded
  // descriptor's extent line. Files are recognised by their content, so it is informative.
  std::string extentType = "SPARSE";

  // Makes `extent` this reader's only extent before open(), as a descriptor names it: a flat
  // extent then covers its listed sectors from its listed offset.
  void setExtent(const VmdkExtent& extent);

  bool isSparse() const { return header_.has_value(); }
  const std::optional<VmdkDescriptor>& descriptor() const { return descriptor_; }
  const std::vector<VmdkExtent>& extents() const { return extents_; }
  const std::optional<VmdkSparseHeader>& header() const { return header_; }
  // Sectors this extent contributes to its disk.
  std::uint64_t extentSectors() const { return extentSectors_; }

 protected:
  Mapping mapAt(std::uint64_t diskOffset) override;
  bool readCompressed(const Mapping& mapping, std::uint64_t diskOffset,
                      std::span<std::byte> out) override;

 private:
  bool openSparse(VmdkSparseHeader header);
  bool loadGrainDirectory();
  const std::vector<std::uint32_t>* grainTable(std::uint64_t directoryIndex);

  std::vector<VmdkExtent> extents_;
  std::optional<VmdkExtent> assignedExtent_;
  std::optional<VmdkSparseHeader> header_;
  std::optional<VmdkDescriptor> descriptor_;
  bool descriptorRefused_ = false;
  std::uint64_t extentSectors_ = 0;
  std::uint64_t flatDataOffset_ = 0;  // bytes

  std::uint64_t grainBytes_ = 0;
  std::uint64_t gtesPerGt_ = 0;
  std::uint64_t gdEntryCount_ = 0;             // entries the capacity needs
  std::vector<std::uint32_t> grainDirectory_;  // entries present in the file
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> grainTables_;

  std::uint64_t cachedGrain_ = ~std::uint64_t{0};  // decompressed grain held in grainBuffer_
  std::vector<std::byte> grainBuffer_;
  std::vector<std::byte> compressedBuffer_;
};

}  // namespace talvix
