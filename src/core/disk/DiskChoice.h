#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "disk/DiskReader.h"

namespace talvix {

// Values of the virtual disk page's disk kind.
enum class DiskKind : int { none = 0, vhd = 1, vdi = 2, vmdk = 3 };

// What the virtual disk page records about the chosen file; readers are built from it.
struct DiskChoice {
  DiskKind diskKind = DiskKind::none;
  std::filesystem::path path;
  bool vmdkSplit = false;
  bool isDescripter = false;
  std::string extentType = "SPARSE";  // the extent-type list's text: "SPARSE" or "FLAT"
  bool checkName = true;              // VHD: refuse files not named *.vhd
};

// A fresh, unopened VMDK reader for the choice's check boxes and extent type.
std::unique_ptr<readWriteInterface> makeVmdkReader(const DiskChoice& choice);
// A fresh, unopened reader for the choice's disk kind; null for DiskKind::none.
std::unique_ptr<readWriteInterface> makeDiskReader(const DiskChoice& choice);

// The choice that reads `path`, from the file's content: the sparse extent magic, a VDI
// signature, a VHD footer, or a descriptor text; anything else is a flat (raw) extent. A
// sparse extent without a descriptor of its own that belongs to a split set reads the set.
DiskChoice detectDiskChoice(const std::filesystem::path& path);

}  // namespace talvix
