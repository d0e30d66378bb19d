#include "wizard/VolumeChoice.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <limits>
#include <numeric>

namespace talvix {
namespace {

constexpr std::int64_t kSectorsPerMiB = 2048;

constexpr std::array<std::string_view, 7> kChoices = {"EXTX", "FAT16", "FAT32", "FAT64",
                                                      "HFS+", "NTFS",  "RAW"};

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool equalNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The list's names as the parsers know them.
std::string parserName(std::string_view choice) {
  if (equalNoCase(choice, "NTFS")) return "ntfs";
  if (equalNoCase(choice, "FAT16")) return "fat16";
  if (equalNoCase(choice, "FAT32")) return "fat32";
  if (equalNoCase(choice, "FAT64")) return "fat64";
  if (equalNoCase(choice, "EXTX")) return "extX";
  if (equalNoCase(choice, "HFS+")) return "HFS+";
  return std::string(choice);
}

}  // namespace

std::span<const std::string_view> fileSystemChoices() {
  return kChoices;
}

std::optional<std::size_t> fileSystemChoiceFor(std::string_view rowFileSystem) {
  if (rowFileSystem.empty()) return std::nullopt;
  for (std::size_t i = 0; i < kChoices.size(); ++i)
    if (kChoices[i].size() >= rowFileSystem.size() &&
        equalNoCase(kChoices[i].substr(0, rowFileSystem.size()), rowFileSystem))
      return i;
  return std::nullopt;
}

std::int64_t editNumber(std::string_view text) {
  text = trimmed(text);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

std::int64_t endSectorFor(std::int64_t startSector, const std::string& sizeText) {
  const std::uint64_t megabytes = sizeTextMegabytes(sizeText);
  if (megabytes == 0) return 0;
  // A size beyond any disk (a damaged record) must not overflow the end.
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  if (megabytes > static_cast<std::uint64_t>(kMax / kSectorsPerMiB)) return kMax;
  const std::int64_t sectors = static_cast<std::int64_t>(megabytes) * kSectorsPerMiB;
  return startSector > kMax - sectors ? kMax : startSector + sectors - 1;
}

std::int64_t spinStep(std::int64_t value, bool up) {
  if (up) return value < std::numeric_limits<std::int64_t>::max() ? value + 1 : value;
  return value > 0 ? value - 1 : value;
}

VolumeRow rowFor(const Volume& volume) {
  return {volume.volumeName, volume.fileSystem, volume.sizeText,
          std::to_string(volume.startSector)};
}

VolumeRoute applyVolumeChoice(Volume& volume, bool& customApplied, const VolumeRow& row,
                              const CustomSettings& custom) {
  if (!custom.ticked && customApplied) {
    volume.volumeName = row.volume;
    volume.fileSystem = row.fileSystem;
    std::string size = row.size;
    if (const auto mb = size.find("MB"); mb != std::string::npos) size.erase(mb, 2);
    volume.sizeText = std::string(trimmed(size));
    volume.startSector = editNumber(row.startSector);
  }
  if (custom.ticked) {
    customApplied = true;
    const std::int64_t start = editNumber(custom.startText);
    const std::int64_t end = editNumber(custom.endText);
    volume.startSector = start;
    volume.sizeText = end > start ? std::to_string((end - start + 1) / kSectorsPerMiB) : "0";
    if (custom.fileSystemChoice) {
      if (equalNoCase(*custom.fileSystemChoice, "RAW")) {
        volume.fileSystem = "RAW";
        return VolumeRoute::raw;
      }
      volume.fileSystem = parserName(*custom.fileSystemChoice);
    }
  }
  return equalNoCase(volume.fileSystem, "unknown") ? VolumeRoute::unknownVolume
                                                   : VolumeRoute::recoveryMode;
}

Volume customVolume(std::size_t count) {
  return {"CUSTOM ", "", std::to_string(count), "0", 0};
}

std::vector<std::size_t> distinctVolumes(const VolumeList& volumes) {
  std::vector<std::size_t> byStart(volumes.size());
  std::iota(byStart.begin(), byStart.end(), std::size_t{0});
  std::stable_sort(byStart.begin(), byStart.end(), [&](std::size_t a, std::size_t b) {
    return volumes[a].startSector < volumes[b].startSector;
  });
  std::vector<bool> keep(volumes.size(), true);
  std::vector<std::size_t> kept;
  for (const std::size_t i : byStart) {
    const Volume& find = volumes[i];
    const std::uint64_t megabytes = sizeTextMegabytes(find.sizeText);
    for (const std::size_t k : kept) {
      const Volume& earlier = volumes[k];
      if (megabytes == 0 || sizeTextMegabytes(earlier.sizeText) != megabytes ||
          !equalNoCase(trimmed(earlier.fileSystem), trimmed(find.fileSystem)))
        continue;
      // The size text is rounded down to whole MiB, so the volume reaches into the next MiB.
      const long double reach = static_cast<long double>(earlier.startSector) +
                                static_cast<long double>(megabytes + 1) * kSectorsPerMiB;
      if (find.startSector >= earlier.startSector &&
          static_cast<long double>(find.startSector) < reach) {
        keep[i] = false;
        break;
      }
    }
    if (keep[i]) kept.push_back(i);
  }
  std::vector<std::size_t> result;
  for (std::size_t i = 0; i < volumes.size(); ++i)
    if (keep[i]) result.push_back(i);
  return result;
}

}  // namespace talvix
