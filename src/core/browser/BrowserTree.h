#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "browser/CheckList.h"
#include "browser/EntrySource.h"
#include "browser/FileIcons.h"
#include "browser/TreeControl.h"
#include "browser/VolumeScan.h"

namespace talvix {

// The child a folder item carries until it is first expanded, so that the tree shows an
// expand button for it.
inline constexpr std::string_view kExpandPlaceholderText = "..DUMY..";

// How the browser treats one file system's entries where file systems differ.
struct BrowseRules {
  // Children inserted under a folder take the folder's check state (else they are unchecked).
  bool childrenTakeCheck = false;
  // The expand button's walk ends at the first child whose name is empty.
  bool expandStopsAtEmptyName = false;
  // Expanding a folder that has children empties the file list.
  bool expandEmptiesList = true;
  // Recycle-bin folders hold one folder per user, each with "$I" and "$R" files.
  bool recycleBinPerUser = false;
};
BrowseRules browseRules(BrowsedFileSystem fileSystem);

// The former file name that a recycle bin's "$I" information file holds: the part of the
// stored path after its last '\'. Layout version 2 keeps a 32-bit name length (UTF-16 units)
// at byte 24 and the path at byte 28; version 1 (and anything else) the path at byte 24.
// None when the file is too short or names nothing.
std::optional<std::string> recycleInfoFormerName(std::span<const std::byte> info);

// The folder tree of the file browser over one scanned volume: the placeholders, the lazy
// filling of folders as they are expanded or clicked, the file list rows, and the names of
// recycled files. Items carry entry ids as their data; the top item ("ROOT") carries none.
// Runs on the thread that owns the tree.
class BrowserTree {
 public:
  BrowserTree(TreeControl& tree, EntrySource& source, FileIconIndex& icons, BrowseRules rules)
      : tree_(tree), source_(source), icons_(icons), rules_(rules) {}

  EntrySource& source() const { return source_; }

  bool isTopItem(TreeItem item) const;
  bool isPlaceholder(TreeItem item) const;
  // The entry an item shows; none for the top item, a placeholder, a deleted item or data
  // that names no entry.
  std::optional<EntryId> entryOf(TreeItem item) const;

  // Gives every first-level folder that has children its placeholder.
  void addExpandPlaceholders();

  // The tree is about to expand `item`: the placeholder gives way to the real children.
  void expandItemChildren(TreeItem item, CCheckListCtrl& list);
  // A click on an item's label: a folder is filled (deleted children shown in red) and its
  // files listed; a file is listed alone.
  void showItemInList(TreeItem item, CCheckListCtrl& list);
  // A double click on a folder: filled as by the expand button, its non-folder children
  // listed by name only. False when `item` is not a folder (a file is saved instead).
  bool doubleClickFolder(TreeItem item, CCheckListCtrl& list);

  // What Save writes for the selected item: kNoEntry (the whole volume) for the top item, the
  // folder's entry for a folder the file system lets save; none otherwise.
  std::optional<EntryId> saveTarget(TreeItem selected) const;

  // Gives the "$R" data files in the recycle bin the names their "$I" information files
  // record. The information files are written into a private folder made inside
  // `temporaryFolder` and removed again. Answers the number of entries renamed.
  std::size_t restoreRecycleBinNames(const std::filesystem::path& temporaryFolder);

 private:
  enum class Reveal { expandButton, labelClick, doubleClick };

  // Steps shared by every way of revealing a folder's children: none are inserted when the
  // folder already shows real children.
  void fillFolder(TreeItem item, EntryId folder, Reveal how);
  void appendRow(CCheckListCtrl& list, TreeItem item, EntryId entry);
  std::size_t restoreUserFolder(EntryId userFolder, const std::filesystem::path& scratch);

  TreeControl& tree_;
  EntrySource& source_;
  FileIconIndex& icons_;
  BrowseRules rules_;
};

}  // namespace talvix
