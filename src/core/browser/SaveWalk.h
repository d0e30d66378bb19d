#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "browser/EntrySource.h"

namespace talvix {

class ProgressTarget;
class StatusLine;
class Prompter;

// Where the save walk reports: the page's progress bar, status line and file size line.
struct SaveTargets {
  ProgressTarget* progress = nullptr;
  StatusLine* status = nullptr;
  StatusLine* fileSize = nullptr;
  const std::atomic<bool>* stop = nullptr;  // the page's Stop
};

struct SaveCounts {
  std::uint64_t files = 0;    // handed to the writer (skipped ones included), the progress count
  std::uint64_t written = 0;  // written without error
  std::uint64_t failed = 0;   // could not be written (or only in part)
};

// The children of `folder` in chain order; kNoEntry stands for the top level.
EntryId firstChildOf(const EntrySource& source, EntryId folder);

// The number of files below `folder`, every level, as the save walk will count them.
std::uint64_t countFilesBelow(const EntrySource& source, EntryId folder);

// Writes every file below `folder` (kNoEntry: the whole volume) into `outputFolder`, re-creating
// the folders. Names from the disk are made safe and never leave the output folder; two
// entries of one folder with the same name both get written (a live entry keeps its name,
// the other gets a " (n)" suffix).
SaveCounts saveFolder(EntrySource& source, EntryId folder,
                      const std::filesystem::path& outputFolder, SaveTargets targets);

// Told after "Saving process done" when files could not be written, or none was.
inline constexpr std::string_view kSaveFailedFiles =
    "%llu of %llu files could not be written into the output folder.";
inline constexpr std::string_view kSaveWroteNothing = "No file was written into the output folder.";

// The Save button: asks, saves and reports as the page does. `selected` is the folder to save
// (kNoEntry: the whole volume), none when the selection is nothing Save writes. `stop` is
// cleared once the user has said Yes. Answers the counts, none when nothing was saved (no
// output folder, not a folder, or No).
std::optional<SaveCounts> runSave(EntrySource& source, std::optional<EntryId> selected,
                                  const std::filesystem::path& outputFolder, Prompter& prompter,
                                  SaveTargets targets, std::atomic<bool>* stop);

// Quick save: one file into `outputFolder` under its (safe) name.
bool saveOneFile(EntrySource& source, EntryId file, const std::filesystem::path& outputFolder);

}  // namespace talvix
