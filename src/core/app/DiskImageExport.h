#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/ApplicationState.h"
#include "app/Feedback.h"
#include "app/WorkerControl.h"

namespace talvix {

// The controls of the scan mode page that an export drives.
class ExportView {
 public:
  virtual ~ExportView() = default;
  // "Next", "Back", "Save Image" and "Save Disk Image:".
  virtual void setNavigationEnabled(bool enabled) = 0;
  // The progress bar and "Stop".
  virtual void setCopyControlsVisible(bool visible) = 0;
};

struct ExportTargets {
  ProgressTarget& progress;
  StatusLine& status;
  Prompter& prompter;
  ExportView& view;
  WorkerControl& control;
};

struct ExportOptions {
  std::size_t chunkBytes = 5 * 1024 * 1024;
  // Leave runs of zeros as holes in the image; without it the image's whole length is
  // reserved on the target first.
  bool sparse = false;
};

struct ExportResult {
  enum class Outcome { completed, stopped, failed };
  Outcome outcome = Outcome::failed;
  std::uint64_t bytesWritten = 0;
  std::string error;  // why it failed, in one line
};

// The image file for a disk: "<folder>/<disk file name>.img", or "<folder>/<n><name>.img" for
// the first n = 1, 2, ... that does not exist yet; "Recovered_diskimg.img" when the disk path
// names no folder.
std::filesystem::path chooseImagePath(const std::filesystem::path& folder,
                                      std::string_view diskPath);

// Replaces the state's reader with a fresh one for the export: the kind's reader for VHD and
// VDI, otherwise the VMDK reader that the check boxes and extent type describe.
void buildExportReader(ApplicationState& state, const DiskChoice& diskPage);

// Copies the whole guest disk through state.diskReader (opened here with `diskPath`) into
// `imagePath`. Runs on a worker; ends with the reader deleted and diskSectors 0.
ExportResult exportDiskImage(ApplicationState& state, const std::filesystem::path& diskPath,
                             const std::filesystem::path& imagePath, ExportTargets targets,
                             ExportOptions options = {});

}  // namespace talvix
