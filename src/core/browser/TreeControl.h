#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talvix {

// An item of the folder tree. 0 is no item; handles are never reused, so a handle kept past
// its item's deletion (or past DeleteAllItems) finds nothing instead of another item.
using TreeItem = std::uint64_t;
inline constexpr TreeItem kNoItem = 0;
// The invisible parent of the top-level items: InsertItem(kTreeRoot, ...) adds a top-level
// item, GetChildItem(kTreeRoot) answers the first one.
inline constexpr TreeItem kTreeRoot = ~TreeItem{0};

// The value an item carries for the browser: the entry it shows.
using ItemData = std::uint64_t;

enum class TreeExpand { expand, collapse, toggle };

// The folder tree as the parsers and the browser use it. The scan workers fill it from their
// own thread: in the window this interface is carried out on the user-interface thread while
// the worker waits; in tests and the command line the plain tree (CXHtmlTree) answers it.
class TreeControl {
 public:
  virtual ~TreeControl() = default;

  // Deletes every item, turns check boxes on and parent-child propagation off.
  virtual void InitCheckTree() = 0;
  virtual void SetSmartCheckBox(bool on) = 0;
  virtual void SetReadOnly(bool on) = 0;

  // Appends an unchecked, enabled item at the end of parent's children.
  virtual TreeItem InsertItem(TreeItem parent, std::string_view text, int image,
                              int selectedImage) = 0;
  // Appends a separator line: no check box, not counted as checkable.
  virtual TreeItem InsertSeparator(TreeItem parent) = 0;
  // Deletes the item's children (deepest first), then the item.
  virtual bool DeleteItem(TreeItem item) = 0;
  virtual void DeleteAllItems() = 0;

  virtual bool GetCheck(TreeItem item) const = 0;
  virtual void SetCheck(TreeItem item, bool checked) = 0;
  virtual void EnableItem(TreeItem item, bool enabled) = 0;
  // Shows the item's text in red: the entry was deleted on the volume.
  virtual void MarkDeleted(TreeItem item) = 0;

  virtual std::string GetItemText(TreeItem item) const = 0;
  virtual bool SetItemText(TreeItem item, std::string_view text) = 0;
  virtual ItemData GetItemData(TreeItem item) const = 0;
  virtual bool SetItemData(TreeItem item, ItemData data) = 0;
  // The item's icon index, -1 when there is no such item.
  virtual int GetItemImage(TreeItem item) const = 0;

  // The first top-level item.
  virtual TreeItem GetRootItem() const = 0;
  virtual TreeItem GetChildItem(TreeItem item) const = 0;
  virtual TreeItem GetNextSiblingItem(TreeItem item) const = 0;
  // kNoItem for a top-level item.
  virtual TreeItem GetParentItem(TreeItem item) const = 0;
  virtual bool ItemHasChildren(TreeItem item) const = 0;
  virtual bool Expand(TreeItem item, TreeExpand code) = 0;
};

}  // namespace talvix
