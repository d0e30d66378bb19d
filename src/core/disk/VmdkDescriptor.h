#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvix {

// A descriptor file is a short text; a file this large or larger is some other file.
inline constexpr std::int64_t kMaxDescriptorBytes = 51200;

// One extent line of a VMDK descriptor:  RW 4192256 SPARSE "disk-s001.vmdk"
//                                        RW 4192256 FLAT "disk-f001.vmdk" 0
//                                        RW 2048 ZERO
struct VmdkExtent {
  std::uint64_t sectorCount = 0;
  std::string extentType;    // "SPARSE", "FLAT", "ZERO", "VMFS", ...
  std::string fileName;      // without quotes; empty for ZERO extents
  std::uint64_t offset = 0;  // start of a flat extent's data in its file, in sectors
};

// The values of a descriptor text. version, CID and parentCID keep whatever lies between
// their keys (line breaks included); they are informative only.
struct VmdkDescriptor {
  std::string version, cid, parentCid, createType;
  std::string cylinders, heads, sectorsPerTrack;
  std::vector<VmdkExtent> extents;

  std::uint64_t extentSectors() const;
};

// The descriptor embedded in a sparse extent. Refused (nullopt) when the createType key is
// missing, stands at the very start, or the text ends right after it. Its extent section is
// looked for only within the first 512 characters (the createType window).
std::optional<VmdkDescriptor> parseEmbeddedDescriptor(std::string_view text);

// A descriptor file: the keys as above (createType may be missing), the extent section
// anywhere in the text.
VmdkDescriptor parseDescriptorFile(std::string_view text);

// The extent lines of an extent section; lines that are not extent lines are skipped.
std::vector<VmdkExtent> parseExtentLines(std::string_view section);

// The text between the end of "# Extent description" and the start of "# The Disk Data Base".
std::string_view extentSection(std::string_view text);

// Text up to the first NUL: an embedded descriptor is padded with zeros to whole sectors.
std::string_view descriptorText(std::string_view bytes);

}  // namespace talvix
