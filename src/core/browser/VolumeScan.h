#pragma once

#include <memory>
#include <string>

#include "browser/EntrySource.h"
#include "browser/TreeControl.h"
#include "volumes/Volume.h"

namespace talvix {

class readWriteInterface;
class ProgressTarget;
class StatusLine;
class WorkerControl;
class FileIconIndex;

// The recovery modes of a scan.
enum class ScanMode { standard = 1, advanced = 2, deep = 3 };

// Where a scan reports and what it fills; every pointer may be null.
struct ScanTargets {
  TreeControl* tree = nullptr;  // gets the top item and the first level
  ProgressTarget* progress = nullptr;
  StatusLine* status = nullptr;
  WorkerControl* control = nullptr;  // pause and stop
  FileIconIndex* icons = nullptr;
};

// A volume after its scan: the parser and its adapter, alive together.
class ScannedVolume {
 public:
  virtual ~ScannedVolume() = default;
  virtual EntrySource& entries() = 0;
  // Ends the scan at its next unit of work.
  virtual void requestStop() = 0;
  // Forgets a stop, so that later saves and searches run.
  virtual void clearStop() = 0;
};

// The file systems the browser reads, by the volume's file-system text (case ignored).
enum class BrowsedFileSystem { none, ntfs, fat32, fat16, ext, exfat, hfsPlus };
BrowsedFileSystem browsedFileSystem(const std::string& fileSystemText);

// Runs the scan of `volume` in `mode` on the calling thread, as the browser's worker does:
// the reader's volumeBase is set to the volume's start. Null, with `error` set, when the
// volume's file system cannot be browsed (yet).
std::unique_ptr<ScannedVolume> scanVolume(readWriteInterface& reader, const Volume& volume,
                                          ScanMode mode, const ScanTargets& targets,
                                          std::string& error);

}  // namespace talvix
