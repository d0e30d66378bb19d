#include "wizard/DiskFileInfo.h"

namespace talvix {

ChosenDiskFile examineDiskFile(const std::filesystem::path& path) {
  ChosenDiskFile chosen;
  const DiskChoice detected = detectDiskChoice(path);
  chosen.kind = detected.diskKind;
  const bool sparseVmdk = detected.diskKind == DiskKind::vmdk && !detected.isDescripter &&
                          detected.extentType == "SPARSE";
  if (!sparseVmdk && detected.diskKind != DiskKind::vhd && detected.diskKind != DiskKind::vdi)
    return chosen;
  auto reader = makeDiskReader(detected);
  if (!reader || !reader->open(path)) return chosen;
  const DiskInfo info = reader->info();
  // A sparse extent without an embedded descriptor has no version or geometry to show.
  if (info.formatVersion.empty()) return chosen;
  chosen.info =
      DiskFileInfo{info.formatVersion, std::to_string(info.sectors * 512 / (1024 * 1024)) + " MB",
                   info.sectorsPerTrack, info.heads, info.cylinders};
  return chosen;
}

}  // namespace talvix
