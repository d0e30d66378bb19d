#include "wizard/RecoveryModes.h"

#include <algorithm>
#include <cctype>

namespace talvix {
namespace {

bool prefixIs(std::string_view prefix, std::string_view name) {
  return prefix.size() == name.size() &&
         std::equal(prefix.begin(), prefix.end(), name.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

}  // namespace

RecoveryModes recoveryModesFor(std::string_view fileSystem) {
  RecoveryModes modes;
  const auto first = fileSystem.find_first_not_of(' ');
  if (first != std::string_view::npos) modes.fsPrefix = fileSystem.substr(first, 3);
  const std::string_view prefix = modes.fsPrefix;
  if (prefixIs(prefix, "fat")) {
    // FAT12/16/32, and exFAT as "FAT64".
    modes.deep = false;
    modes.formattedHint = true;
  } else if (prefixIs(prefix, "exF")) {
    modes.deep = false;
  } else if (prefixIs(prefix, "ext")) {
    modes.deep = false;
    modes.advanced = false;
  } else if (prefixIs(prefix, "HFS")) {
    modes.advanced = false;
  }
  return modes;
}

}  // namespace talvix
