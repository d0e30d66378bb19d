#pragma once

#include <string>
#include <string_view>

namespace talvix {

// The recovery modes that the recovery mode page offers for a volume's file system.
struct RecoveryModes {
  std::string fsPrefix;  // the file system's first three characters after leading blanks
  bool standard = true;
  bool advanced = true;
  bool deep = true;
  bool formattedHint = false;  // "Is Drive Formated..?" with Advanced (FAT volumes)
};

RecoveryModes recoveryModesFor(std::string_view fileSystem);

}  // namespace talvix
