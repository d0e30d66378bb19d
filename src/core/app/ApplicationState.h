#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Feedback.h"
#include "disk/DiskChoice.h"
#include "disk/DiskReader.h"

namespace talvix {

// The state that the wizard's pages, the parsers and the workers share. While a worker runs,
// its page keeps the controls that could change diskReader or diskSectors disabled.
class ApplicationState {
 public:
  // Page id of the virtual disk page; diskSourcePage holds it once a disk file was chosen.
  static constexpr int kDiskPageId = 142;

  bool driveFormatted = false;
  std::uint64_t diskSectors = 0;
  std::unique_ptr<readWriteInterface> diskReader;
  int diskSourcePage = 0;
  std::string searchText;
  std::string rootName = "ROOT";
  std::atomic<bool> imageExportRunning{false};

  // A fresh, unopened reader for the virtual disk page's choices; does nothing unless a
  // disk file was chosen there (diskSourcePage) and its disk kind is known.
  void rebuildDiskReader(const DiskChoice& diskPage);

  // Opens diskReader with `path` and takes the disk's size into diskSectors. A failure that
  // the reader itself reports to the user goes to `prompter`.
  bool openDiskReader(const std::filesystem::path& path, Prompter* prompter = nullptr);

  // Deletes the reader and forgets the disk's size.
  void dropDiskReader();
};

}  // namespace talvix
