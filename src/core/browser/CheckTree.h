#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "browser/TreeControl.h"

namespace talvix {

// An RGB colour; kDefaultColour means "the tree's own text colour".
using Colour = std::int32_t;
inline constexpr Colour kDefaultColour = -1;
constexpr Colour rgb(int red, int green, int blue) {
  return red | (green << 8) | (blue << 16);
}
constexpr int redOf(Colour c) {
  return c & 0xff;
}
constexpr int greenOf(Colour c) {
  return (c >> 8) & 0xff;
}
constexpr int blueOf(Colour c) {
  return (c >> 16) & 0xff;
}
inline constexpr Colour kDeletedColour = rgb(255, 0, 0);

// The check-box record of one tree item. The counts cover all levels below the item, so a
// folder's mark (unchecked, checked, tri-state) is known without visiting its descendants.
struct XHTMLTREEDATA {
  bool checked = false;
  bool enabled = true;
  bool separator = false;
  bool expanded = false;
  bool hasBeenExpanded = false;
  std::int32_t descendantCount = 0;
  std::int32_t checkedCount = 0;  // checked items below, separators never counted
  std::int32_t separatorCount = 0;
  Colour textColour = kDefaultColour;
};

// State images: the index of the check-box picture an item shows.
enum StateImage : int {
  kNoCheckBox = 0,
  kUnchecked = 1,
  kChecked = 2,
  kTriState = 3,
  kDisabledOffset = 4,  // 5 to 7: the same, greyed
  kHotOffset = 8,       // 9 to 11: the same, under the mouse (drawn by the view)
};

// What the tree tells a view of itself. The structure calls come in pairs around the change,
// as item views want them; every method has an empty default.
class TreeObserver {
 public:
  virtual ~TreeObserver() = default;
  virtual void itemAboutToBeInserted(TreeItem /*parent*/, int /*row*/) {}
  virtual void itemInserted(TreeItem /*item*/) {}
  virtual void itemAboutToBeRemoved(TreeItem /*parent*/, int /*row*/) {}
  virtual void itemRemoved() {}
  virtual void aboutToReset() {}
  virtual void reset() {}
  // Text, icon, colour or enabled state of one item.
  virtual void itemChanged(TreeItem /*item*/) {}
  // The marks of the item and its ancestors may have changed.
  virtual void ancestorMarksChanged(TreeItem /*item*/) {}
  // The marks of the item, every item below it and its ancestors may have changed.
  virtual void checkMarksChanged(TreeItem /*item*/) {}
  // The check-changed notification: sent after every SetCheck that reached an item.
  virtual void checkChanged(TreeItem /*item*/, bool /*checked*/) {}
  // The tree's record of an item's expanded state changed through Expand.
  virtual void expandChanged(TreeItem /*item*/, bool /*expanded*/) {}
};

// The folder tree with tri-state check boxes and counted parent-child propagation.
// Single-threaded: workers reach it through a TreeControl that runs each call on the
// thread that owns the tree.
//
// Children are kept in order in a vector per parent, so appending, the next sibling and the
// row of an item are O(1); an insert or a leaf deletion touches only the item's ancestors.
class CXHtmlTree : public TreeControl {
 public:
  CXHtmlTree();

  void InitCheckTree() override;
  void SetSmartCheckBox(bool on) override { smartCheck_ = on; }
  void SetReadOnly(bool on) override { readOnly_ = on; }
  // Before items are shown; views are not told.
  void SetHasCheckBoxes(bool on) { checkBoxes_ = on; }
  bool smartCheck() const { return smartCheck_; }
  bool readOnly() const { return readOnly_; }
  bool hasCheckBoxes() const { return checkBoxes_; }

  TreeItem InsertItem(TreeItem parent, std::string_view text, int image,
                      int selectedImage) override;
  TreeItem InsertSeparator(TreeItem parent) override;
  bool DeleteItem(TreeItem item) override;
  void DeleteAllItems() override;

  bool GetCheck(TreeItem item) const override;
  void SetCheck(TreeItem item, bool checked) override;
  void EnableItem(TreeItem item, bool enabled) override;
  void MarkDeleted(TreeItem item) override;

  std::string GetItemText(TreeItem item) const override;
  bool SetItemText(TreeItem item, std::string_view text) override;
  ItemData GetItemData(TreeItem item) const override;
  bool SetItemData(TreeItem item, ItemData data) override;
  int GetItemImage(TreeItem item) const override;
  int GetSelectedImage(TreeItem item) const;

  TreeItem GetRootItem() const override { return GetChildItem(kTreeRoot); }
  TreeItem GetChildItem(TreeItem item) const override;
  TreeItem GetNextSiblingItem(TreeItem item) const override;
  TreeItem GetParentItem(TreeItem item) const override;
  bool ItemHasChildren(TreeItem item) const override;
  bool Expand(TreeItem item, TreeExpand code) override;

  // The record of an item; null for no item (and for kTreeRoot).
  const XHTMLTREEDATA* record(TreeItem item) const;
  // The state image of the rule: 1, 2 or 3 (+4 when disabled), 0 for a separator.
  int GetStateImage(TreeItem item) const;
  bool isEnabled(TreeItem item) const;
  bool isSeparator(TreeItem item) const;
  bool contains(TreeItem item) const { return item != kTreeRoot && nodes_.count(item) != 0; }
  std::size_t itemCount() const { return nodes_.size(); }

  // Positions, for item views: the children of `parent` by row, and an item's row.
  int childCount(TreeItem parent) const;
  TreeItem childAt(TreeItem parent, int row) const;
  int rowOf(TreeItem item) const;

  // A view's expansion, recorded without asking the view to expand again.
  void recordExpanded(TreeItem item, bool expanded);

  // Observers are not owned; an observer removes itself before it goes away.
  void addObserver(TreeObserver* observer);
  void removeObserver(TreeObserver* observer);

 private:
  struct Node {
    TreeItem parent = kNoItem;
    int row = 0;  // position among the parent's children
    std::vector<TreeItem> children;
    std::string text;
    int image = 0;
    int selectedImage = 0;
    ItemData data = 0;
    XHTMLTREEDATA rec;
  };

  Node* node(TreeItem item);
  const Node* node(TreeItem item) const;
  TreeItem append(TreeItem parent, std::string_view text, int image, int selectedImage,
                  bool separator);
  void deleteLeaf(TreeItem item);
  bool fullyChecked(const XHTMLTREEDATA& r) const;
  // Applies a change of one subtree to every ancestor from `first` upwards: descendants,
  // separators and checked items added (negative: removed), then each ancestor's own mark
  // recomputed; an ancestor that turns checked or unchecked counts itself in the delta.
  void updateAncestors(TreeItem first, int descendantDelta, int separatorDelta, int checkedDelta);
  template <typename F>
  void notify(F&& f) {
    for (TreeObserver* o : observers_) f(*o);
  }

  Node root_;
  std::unordered_map<TreeItem, Node> nodes_;
  TreeItem nextHandle_ = 1;
  bool checkBoxes_ = true;
  bool smartCheck_ = false;
  bool readOnly_ = false;
  bool clearing_ = false;
  std::vector<TreeObserver*> observers_;
};

}  // namespace talvix
