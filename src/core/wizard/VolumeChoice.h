#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "volumes/Volume.h"

namespace talvix {

// The volume page's file-system list, in its sorted order.
std::span<const std::string_view> fileSystemChoices();

// The list entry that begins with a row's "File System" text, ignoring case ("extX" ->
// "EXTX"); none for an empty text or when no entry begins with it.
std::optional<std::size_t> fileSystemChoiceFor(std::string_view rowFileSystem);

// The last sector of a volume as the end edit shows it: start + size in MiB x 2048 - 1, or 0
// when the size text holds no number or 0.
std::int64_t endSectorFor(std::int64_t startSector, const std::string& sizeText);

// A decimal edit's number; 0 when the text is not a number.
std::int64_t editNumber(std::string_view text);

// A spin button press: +1 up; -1 down while the number is above 0.
std::int64_t spinStep(std::int64_t value, bool up);

// One list row's four texts.
struct VolumeRow {
  std::string volume, fileSystem, size, startSector;
};
VolumeRow rowFor(const Volume& volume);

// What "Next" found in the custom settings.
struct CustomSettings {
  bool ticked = false;
  std::string startText, endText;
  std::optional<std::string> fileSystemChoice;  // the list's selection, if any
};

enum class VolumeRoute { recoveryMode, raw, unknownVolume };

// Applies "Next" to the chosen record: restores it from its row when earlier custom values
// are no longer wanted, applies the custom settings when they are ticked, and says where the
// wizard goes on.
VolumeRoute applyVolumeChoice(Volume& volume, bool& customApplied, const VolumeRow& row,
                              const CustomSettings& custom);

// "Add Custom Volume": the record a user fills in, numbered after `count` records.
Volume customVolume(std::size_t count);

// "Filter Entries": the records worth listing, as indices into `volumes` in their order. A
// sector search also finds the copies that file systems keep of their boot records (NTFS at
// the volume's end, FAT32 six sectors in, exFAT twelve sectors in, HFS+ near the end); a find
// is such a copy when an earlier-starting find that is kept has the same file system, the
// same size, and covers its start sector.
std::vector<std::size_t> distinctVolumes(const VolumeList& volumes);

}  // namespace talvix
