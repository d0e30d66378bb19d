#pragma once

#include <map>
#include <optional>
#include <string>

#include "TestFiles.h"

namespace talvix::test {

// Builds a hosted sparse VMDK extent byte by byte, so that every header and table field
// can be set to what a test needs, including values no real writer produces.
//
// Layout: header (sector 0), embedded descriptor (from sector 1), grain directory, grain
// tables, grains in the order they were set.
struct SparseVmdkBuilder {
  std::uint64_t capacity = 4096;  // sectors
  std::uint64_t grainSize = 8;    // sectors
  std::uint32_t gtesPerGt = 512;
  std::optional<std::string> descriptor;
  std::uint64_t descriptorSectors = 2;
  bool compressed = false;
  bool gdInFooter = false;  // gdOffset ~0 at offset 0, the real header at the end

  std::map<std::uint64_t, Bytes> grains;                      // grain index -> grainSize*512 bytes
  std::map<std::uint64_t, std::uint32_t> grainEntryOverride;  // grain index -> raw table entry
  std::map<std::uint64_t, std::uint32_t> gdEntryOverride;     // directory index -> raw entry

  Bytes build() const;
  std::uint64_t grainBytes() const { return grainSize * 512; }
};

// A descriptor text as qemu-img writes it, with one extent line per entry.
std::string vmdkDescriptorText(const std::string& createType,
                               const std::vector<std::string>& extentLines);

// A dynamic VHD: footer copy, dynamic header at 512, block table at 1536, 2 MiB blocks
// each led by a one-sector bitmap; blocks stored in the order given.
struct DynamicVhdBuilder {
  std::uint64_t currentSize = 8 * 1024 * 1024;
  std::uint32_t tableEntries = 4;
  std::uint32_t blockBytes = 2 * 1024 * 1024;
  std::map<std::uint32_t, Bytes> blocks;  // block index -> blockBytes bytes
  std::uint32_t diskType = 3;
  Bytes build() const;
};
Bytes vhdFooter(std::uint64_t currentSize, std::uint32_t diskType, std::uint64_t dataOffset);

// A VDI with 1 MiB blocks unless told otherwise; blocks stored in the order given.
struct VdiBuilder {
  std::uint64_t diskBytes = 4 * 1024 * 1024;
  std::uint32_t blockBytes = 1024 * 1024;
  std::map<std::uint32_t, Bytes> blocks;
  std::map<std::uint32_t, std::uint32_t> mapOverride;
  Bytes build() const;
};

}  // namespace talvix::test
