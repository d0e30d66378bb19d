#include "browser/BrowserTree.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "fs/ntfs/FileNameAttribute.h"
#include "util/ByteReader.h"
#include "util/SafeName.h"

namespace talvix {
namespace {

// A recycle bin's information files are small; larger ones are not read.
constexpr std::uintmax_t kMaxInfoFileBytes = 2047;

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The entries of a child chain in order; a chain that loops ends where it meets itself.
std::vector<EntryId> childrenOf(const EntrySource& source, EntryId folder) {
  std::vector<EntryId> children;
  std::unordered_set<EntryId> seen;
  for (EntryId c = source.firstChild(folder); c != kNoEntry; c = source.nextSibling(c)) {
    if (!seen.insert(c).second) break;
    children.push_back(c);
  }
  return children;
}

// A folder of our own inside `parent`; empty when none can be made.
std::filesystem::path makePrivateFolder(const std::filesystem::path& parent) {
  std::string pattern = (parent / "talvix-recycle-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

BrowseRules browseRules(BrowsedFileSystem fileSystem) {
  BrowseRules rules;
  switch (fileSystem) {
    case BrowsedFileSystem::ntfs:
      rules.childrenTakeCheck = true;
      rules.expandStopsAtEmptyName = true;
      rules.expandEmptiesList = false;
      rules.recycleBinPerUser = true;
      break;
    case BrowsedFileSystem::ext:
      rules.expandEmptiesList = false;
      break;
    default:
      break;
  }
  return rules;
}

std::optional<std::string> recycleInfoFormerName(std::span<const std::byte> info) {
  if (info.size() < 24) return std::nullopt;
  ByteReader r(info);
  std::span<const std::byte> path;
  if (r.u64le(0) == 2) {
    if (info.size() < 28) return std::nullopt;
    const std::uint64_t bytes = std::uint64_t{r.u32le(24)} * 2;
    path = info.subspan(28);
    if (bytes < path.size()) path = path.first(static_cast<std::size_t>(bytes));
  } else {
    path = info.subspan(24);
  }
  std::size_t length = 0;  // up to the first NUL unit
  while (length + 1 < path.size() &&
         (path[length] != std::byte{0} || path[length + 1] != std::byte{0})) {
    length += 2;
  }
  const std::string full = ntfs::utf16leToUtf8(path.first(length));
  const auto slash = full.rfind('\\');
  std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
  if (name.empty()) return std::nullopt;
  return name;
}

bool BrowserTree::isTopItem(TreeItem item) const {
  return item != kNoItem && item != kTreeRoot && tree_.GetItemImage(item) != -1 &&
         tree_.GetParentItem(item) == kNoItem;
}

bool BrowserTree::isPlaceholder(TreeItem item) const {
  return tree_.GetItemImage(item) == FileIconIndex::kPlaceholder &&
         tree_.GetItemText(item) == kExpandPlaceholderText;
}

std::optional<EntryId> BrowserTree::entryOf(TreeItem item) const {
  if (item == kNoItem || item == kTreeRoot || tree_.GetItemImage(item) == -1) return std::nullopt;
  if (isTopItem(item) || isPlaceholder(item)) return std::nullopt;
  const EntryId id = tree_.GetItemData(item);
  if (!source_.valid(id)) return std::nullopt;
  return id;
}

void BrowserTree::addExpandPlaceholders() {
  const TreeItem top = tree_.GetRootItem();
  if (top == kNoItem) return;
  for (TreeItem c = tree_.GetChildItem(top); c != kNoItem; c = tree_.GetNextSiblingItem(c)) {
    if (tree_.GetItemImage(c) == 0) continue;
    const auto entry = entryOf(c);
    if (!entry || !source_.hasChildren(*entry)) continue;
    const int icon = FileIconIndex::kPlaceholder;
    tree_.InsertItem(c, kExpandPlaceholderText, icon, icon);
  }
}

void BrowserTree::fillFolder(TreeItem item, EntryId folder, Reveal how) {
  const bool folderChecked = rules_.childrenTakeCheck && tree_.GetCheck(item);
  if (const TreeItem first = tree_.GetChildItem(item); first != kNoItem && isPlaceholder(first)) {
    tree_.DeleteItem(first);
  }
  if (tree_.GetChildItem(item) != kNoItem) return;  // filled before
  for (const EntryId c : childrenOf(source_, folder)) {
    const std::string name = source_.name(c);
    if (how == Reveal::expandButton && rules_.expandStopsAtEmptyName && name.empty()) break;
    const bool isFolder = source_.isFolder(c);
    const int icon = isFolder ? icons_.folderIcon() : icons_.iconForName(name);
    const TreeItem child = tree_.InsertItem(item, name, icon, icon);
    if (isFolder && source_.hasChildren(c)) {
      const int placeholder = FileIconIndex::kPlaceholder;
      tree_.InsertItem(child, kExpandPlaceholderText, placeholder, placeholder);
    }
    tree_.SetItemData(child, c);
    if (rules_.childrenTakeCheck) tree_.SetCheck(child, folderChecked);
    if (how == Reveal::labelClick && source_.deleted(c)) tree_.MarkDeleted(child);
  }
}

void BrowserTree::expandItemChildren(TreeItem item, CCheckListCtrl& list) {
  const auto entry = entryOf(item);
  if (!entry || !source_.isFolder(*entry)) return;
  const TreeItem first = tree_.GetChildItem(item);
  const bool filledBefore = first != kNoItem && !isPlaceholder(first);
  fillFolder(item, *entry, Reveal::expandButton);
  if (!filledBefore && rules_.expandEmptiesList && tree_.ItemHasChildren(item)) {
    list.DeleteAllItems();
  }
}

void BrowserTree::appendRow(CCheckListCtrl& list, TreeItem item, EntryId entry) {
  EntryTexts texts = source_.columnTexts(entry);
  list.appendRow(
      CCheckListCtrl::Texts{source_.name(entry), std::move(texts.creationTime),
                            std::move(texts.accessTime), std::move(texts.modificationTime),
                            std::move(texts.size), std::move(texts.attribute)},
      item);
}

void BrowserTree::showItemInList(TreeItem item, CCheckListCtrl& list) {
  const auto entry = entryOf(item);
  if (!entry) return;
  if (!source_.isFolder(*entry)) {
    list.DeleteAllItems();
    list.setShowsSearch(false);
    appendRow(list, item, *entry);
    return;
  }
  fillFolder(item, *entry, Reveal::labelClick);
  if (!tree_.ItemHasChildren(item)) return;
  list.DeleteAllItems();
  list.setShowsSearch(false);
  for (TreeItem c = tree_.GetChildItem(item); c != kNoItem; c = tree_.GetNextSiblingItem(c)) {
    const auto child = entryOf(c);
    if (child && !source_.isFolder(*child)) appendRow(list, c, *child);
  }
}

bool BrowserTree::doubleClickFolder(TreeItem item, CCheckListCtrl& list) {
  const auto entry = entryOf(item);
  if (!entry || !source_.isFolder(*entry)) return false;
  fillFolder(item, *entry, Reveal::doubleClick);
  if (!tree_.ItemHasChildren(item)) return true;
  list.DeleteAllItems();
  for (TreeItem c = tree_.GetChildItem(item); c != kNoItem; c = tree_.GetNextSiblingItem(c)) {
    if (tree_.GetItemImage(c) != icons_.folderIcon()) list.appendRow(tree_.GetItemText(c), c);
  }
  return true;
}

std::optional<EntryId> BrowserTree::saveTarget(TreeItem selected) const {
  if (isTopItem(selected)) return kNoEntry;
  const auto entry = entryOf(selected);
  if (entry && source_.savableFolder(*entry)) return entry;
  return std::nullopt;
}

std::size_t BrowserTree::restoreRecycleBinNames(const std::filesystem::path& temporaryFolder) {
  const TreeItem top = tree_.GetRootItem();
  if (!rules_.recycleBinPerUser || top == kNoItem) return 0;
  std::vector<EntryId> bins;
  for (TreeItem c = tree_.GetChildItem(top); c != kNoItem; c = tree_.GetNextSiblingItem(c)) {
    if (tree_.GetItemImage(c) != icons_.folderIcon()) continue;
    const std::string text = tree_.GetItemText(c);
    if (text != "$RECYCLE.BIN" && text != "$RECYCLEBIN") continue;
    if (const auto bin = entryOf(c)) bins.push_back(*bin);
  }
  if (bins.empty()) return 0;
  const std::filesystem::path scratch = makePrivateFolder(temporaryFolder);
  if (scratch.empty()) return 0;
  std::size_t renamed = 0;
  for (const EntryId bin : bins) {
    for (const EntryId user : childrenOf(source_, bin)) {
      if (source_.isFolder(user)) renamed += restoreUserFolder(user, scratch);
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return renamed;
}

std::size_t BrowserTree::restoreUserFolder(EntryId userFolder,
                                           const std::filesystem::path& scratch) {
  const std::vector<EntryId> children = childrenOf(source_, userFolder);
  std::map<std::string, std::string> formerNames;  // by the "$I" file's name
  for (const EntryId info : children) {
    const std::string name = source_.name(info);
    if (!name.starts_with("$I") || source_.isFolder(info)) continue;
    const std::string fileName = safeName(name);
    if (!source_.save(info, scratch, fileName)) continue;
    const std::filesystem::path written = scratch / fileName;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(written, error);
    if (!error && size <= kMaxInfoFileBytes) {
      std::ifstream in(written, std::ios::binary);
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
      if (auto former = recycleInfoFormerName(std::as_bytes(std::span(bytes)))) {
        formerNames[name] = std::move(*former);
      }
    }
    std::filesystem::remove(written, error);
  }
  // The data file's name is the information file's with "$I" turned into "$R"; where two
  // information files lead to one data name, the first in name order holds.
  std::map<std::string, std::string> byDataName;
  for (const auto& [infoName, former] : formerNames) {
    byDataName.emplace(replaceAll(infoName, "$I", "$R"), former);
  }
  std::size_t renamed = 0;
  for (const EntryId data : children) {
    const std::string name = source_.name(data);
    if (name.empty()) continue;
    const auto it = byDataName.find(name);
    if (it != byDataName.end() && source_.rename(data, it->second)) ++renamed;
  }
  return renamed;
}

}  // namespace talvix
