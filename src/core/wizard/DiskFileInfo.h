#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "disk/DiskChoice.h"

namespace talvix {

// The first page's "File Information" texts.
struct DiskFileInfo {
  std::string formatVersion;
  std::string sizeText;  // "<MiB> MB"
  std::string sectorsPerTrack, heads, cylinders;
};

// What the first page learns of a chosen file, by its content: the disk kind (VHD and VDI
// are taken as they are; everything else is a VMDK, read as the page's boxes say), and the
// file information of a sparse VMDK, a VHD or a VDI. Flat extents and descriptor files carry
// no information of their own; an unreadable file gives none either.
struct ChosenDiskFile {
  DiskKind kind = DiskKind::vmdk;
  std::optional<DiskFileInfo> info;
};

ChosenDiskFile examineDiskFile(const std::filesystem::path& path);

}  // namespace talvix
