#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "browser/EntrySource.h"

namespace talvix {

class ProgressTarget;
class StatusLine;
class Prompter;
class WorkerControl;

inline constexpr std::string_view kSearchFinished = "Searching Finished";
inline constexpr std::string_view kSearchPatternRefused =
    "such characters are not allowed for search.Try again with different pattern.";

// One file whose name matches: a row of the file list.
struct SearchHit {
  EntryId id = kNoEntry;
  std::string path;  // column 0, for example "ROOT\DOCS\SUB\Report.doc"
  EntryTexts texts;  // columns 1 to 5
};

// What the browser page shows of a running search. Every call comes from the search's thread.
class SearchView {
 public:
  virtual ~SearchView() = default;
  // The file list is emptied and now holds search results (its check boxes leave the tree
  // alone); Search and Save are disabled until searchEnded, as Save must not run beside the
  // walk; the progress bar, Pause, Resume and Stop are shown.
  virtual void searchStarted() = 0;
  virtual void addResult(const SearchHit& hit) = 0;
  // While one first-level folder is walked: the tree is disabled and drawn in the search
  // colours (searchBackground, grey text); false gives it back its own look and enables it.
  virtual void setTreeSearching(bool searching) = 0;
  // Always follows searchStarted, also after a refused pattern: Search and Save are enabled,
  // the progress bar, Pause, Resume and Stop hidden.
  virtual void searchEnded() = 0;
};

// Where the search reports; every pointer may be null.
struct SearchTargets {
  SearchView* view = nullptr;
  ProgressTarget* progress = nullptr;  // 0..files below each first-level folder
  StatusLine* status = nullptr;        // "searched file %lld"
  Prompter* prompter = nullptr;        // "Searching Finished" and the refused pattern
  WorkerControl* control = nullptr;    // Pause; Stop ends the first-level folder being walked
};

struct SearchResult {
  bool patternRefused = false;
  std::uint64_t found = 0;
};

// Whether `pattern` is a valid expression as the search reads it: ECMAScript, letter case
// ignored, "|" between alternatives. "*.jpg" is not.
bool validSearchPattern(std::string_view pattern);

// Lists every file below `folder` (kNoEntry: the whole volume, as the page's Search does) whose
// name matches `pattern` anywhere in it. Folders are walked through the adapter's child chains,
// so folders never opened in the tree are searched too; an entry met twice is not walked again.
// `folderPath` is the display path of `folder`: the top item's text ("ROOT") for kNoEntry, else
// that text and the folder names below it, each after a "\". Below a first-level folder the
// folder part of a result's path is upper-cased (a to z) and has no leading white space; a file
// directly under the top item shows as "ROOT\" and its name. An empty pattern lists nothing.
SearchResult runSearch(EntrySource& source, EntryId folder, std::string_view folderPath,
                       std::string_view pattern, const SearchTargets& targets);

}  // namespace talvix
