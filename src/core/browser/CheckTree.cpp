#include "browser/CheckTree.h"

#include <algorithm>

namespace talvix {

CXHtmlTree::CXHtmlTree() = default;

CXHtmlTree::Node* CXHtmlTree::node(TreeItem item) {
  if (item == kTreeRoot) return &root_;
  auto it = nodes_.find(item);
  return it == nodes_.end() ? nullptr : &it->second;
}

const CXHtmlTree::Node* CXHtmlTree::node(TreeItem item) const {
  if (item == kTreeRoot) return &root_;
  auto it = nodes_.find(item);
  return it == nodes_.end() ? nullptr : &it->second;
}

const XHTMLTREEDATA* CXHtmlTree::record(TreeItem item) const {
  if (item == kTreeRoot) return nullptr;
  const Node* n = node(item);
  return n ? &n->rec : nullptr;
}

void CXHtmlTree::InitCheckTree() {
  DeleteAllItems();
  checkBoxes_ = true;
  smartCheck_ = false;
}

TreeItem CXHtmlTree::InsertItem(TreeItem parent, std::string_view text, int image,
                                int selectedImage) {
  return append(parent, text, image, selectedImage, false);
}

TreeItem CXHtmlTree::InsertSeparator(TreeItem parent) {
  return append(parent, {}, 0, 0, true);
}

TreeItem CXHtmlTree::append(TreeItem parent, std::string_view text, int image, int selectedImage,
                            bool separator) {
  Node* p = node(parent);
  if (!p) return kNoItem;
  const int row = static_cast<int>(p->children.size());
  notify([&](TreeObserver& o) { o.itemAboutToBeInserted(parent, row); });
  const TreeItem item = nextHandle_++;
  Node n;
  n.parent = parent == kTreeRoot ? kNoItem : parent;
  n.row = row;
  n.text = std::string(text);
  n.image = image;
  n.selectedImage = selectedImage;
  n.rec.separator = separator;
  nodes_.emplace(item, std::move(n));
  node(parent)->children.push_back(item);  // p may have moved with the rehash
  notify([&](TreeObserver& o) { o.itemInserted(item); });
  if (parent != kTreeRoot) {
    updateAncestors(parent, 1, separator ? 1 : 0, 0);
    notify([&](TreeObserver& o) { o.ancestorMarksChanged(parent); });
  }
  return item;
}

bool CXHtmlTree::DeleteItem(TreeItem item) {
  if (!contains(item)) return false;
  // Deepest first, and each folder's children from the last, so that every removal is a leaf
  // at the end of its parent's children.
  std::vector<TreeItem> pending{item};
  while (!pending.empty()) {
    const Node* n = node(pending.back());
    if (!n->children.empty()) {
      pending.push_back(n->children.back());
      continue;
    }
    deleteLeaf(pending.back());
    pending.pop_back();
  }
  return true;
}

void CXHtmlTree::deleteLeaf(TreeItem item) {
  auto it = nodes_.find(item);
  const TreeItem parent = it->second.parent == kNoItem ? kTreeRoot : it->second.parent;
  const int row = it->second.row;
  const XHTMLTREEDATA rec = it->second.rec;
  notify([&](TreeObserver& o) { o.itemAboutToBeRemoved(parent, row); });
  Node* p = node(parent);
  p->children.erase(p->children.begin() + row);
  for (std::size_t i = static_cast<std::size_t>(row); i < p->children.size(); ++i) {
    node(p->children[i])->row = static_cast<int>(i);
  }
  nodes_.erase(it);
  notify([&](TreeObserver& o) { o.itemRemoved(); });
  if (parent != kTreeRoot) {
    const bool counted = rec.checked && !rec.separator;
    updateAncestors(parent, -1, rec.separator ? -1 : 0, counted ? -1 : 0);
    notify([&](TreeObserver& o) { o.ancestorMarksChanged(parent); });
  }
}

void CXHtmlTree::DeleteAllItems() {
  clearing_ = true;
  notify([](TreeObserver& o) { o.aboutToReset(); });
  nodes_.clear();
  root_.children.clear();
  notify([](TreeObserver& o) { o.reset(); });
  clearing_ = false;
}

bool CXHtmlTree::fullyChecked(const XHTMLTREEDATA& r) const {
  const std::int32_t checkable = r.descendantCount - r.separatorCount;
  // An item with nothing checkable below it (none, or separators only) keeps its own state.
  if (checkable <= 0) return r.checked;
  return r.checkedCount == checkable;
}

void CXHtmlTree::updateAncestors(TreeItem first, int descendantDelta, int separatorDelta,
                                 int checkedDelta) {
  int delta = checkedDelta;
  for (TreeItem a = first; a != kNoItem;) {
    Node* n = node(a);
    XHTMLTREEDATA& r = n->rec;
    r.descendantCount = std::max(0, r.descendantCount + descendantDelta);
    r.separatorCount = std::max(0, r.separatorCount + separatorDelta);
    r.checkedCount = std::max(0, r.checkedCount + delta);
    if (smartCheck_ && !r.separator) {
      const bool before = r.checked;
      r.checked = fullyChecked(r);
      if (r.checked != before) delta += r.checked ? 1 : -1;
    }
    a = n->parent;
  }
}

bool CXHtmlTree::GetCheck(TreeItem item) const {
  const XHTMLTREEDATA* r = record(item);
  if (!checkBoxes_ || !r) return false;
  if (smartCheck_ && r->descendantCount > 0) return fullyChecked(*r);
  return r->checked;
}

int CXHtmlTree::GetStateImage(TreeItem item) const {
  const XHTMLTREEDATA* r = record(item);
  if (!r || r->separator) return kNoCheckBox;
  int image = r->checked ? kChecked : kUnchecked;
  const std::int32_t checkable = r->descendantCount - r->separatorCount;
  if (smartCheck_ && checkable > 0) {
    if (r->checkedCount == 0) {
      image = kUnchecked;
    } else if (r->checkedCount == checkable) {
      image = kChecked;
    } else {
      image = kTriState;
    }
  }
  return r->enabled ? image : image + kDisabledOffset;
}

void CXHtmlTree::SetCheck(TreeItem item, bool checked) {
  if (!checkBoxes_ || clearing_ || item == kTreeRoot) return;
  Node* n = node(item);
  if (!n || !n->rec.enabled || n->rec.separator) return;
  const bool old = n->rec.checked;
  n->rec.checked = checked;
  if (checked != old) {
    int delta = checked ? 1 : -1;  // the item itself
    if (smartCheck_) {
      // Every item below takes the new state; the item's own count follows.
      const std::int32_t before = n->rec.checkedCount;
      const std::int32_t after =
          checked ? std::max(0, n->rec.descendantCount - n->rec.separatorCount) : 0;
      n->rec.checkedCount = after;
      delta += after - before;
      std::vector<TreeItem> pending(n->children.begin(), n->children.end());
      while (!pending.empty()) {
        Node* d = node(pending.back());
        pending.pop_back();
        XHTMLTREEDATA& r = d->rec;
        if (!r.separator) r.checked = checked;
        r.checkedCount = checked ? std::max(0, r.descendantCount - r.separatorCount) : 0;
        pending.insert(pending.end(), d->children.begin(), d->children.end());
      }
    }
    if (n->parent != kNoItem) updateAncestors(n->parent, 0, 0, delta);
    notify([&](TreeObserver& o) { o.checkMarksChanged(item); });
  }
  notify([&](TreeObserver& o) { o.checkChanged(item, checked); });
}

void CXHtmlTree::EnableItem(TreeItem item, bool enabled) {
  Node* n = item == kTreeRoot ? nullptr : node(item);
  if (!n || n->rec.enabled == enabled) return;
  n->rec.enabled = enabled;
  notify([&](TreeObserver& o) { o.itemChanged(item); });
}

void CXHtmlTree::MarkDeleted(TreeItem item) {
  Node* n = item == kTreeRoot ? nullptr : node(item);
  if (!n) return;
  n->rec.textColour = kDeletedColour;
  notify([&](TreeObserver& o) { o.itemChanged(item); });
}

bool CXHtmlTree::isEnabled(TreeItem item) const {
  const XHTMLTREEDATA* r = record(item);
  return r && r->enabled;
}

bool CXHtmlTree::isSeparator(TreeItem item) const {
  const XHTMLTREEDATA* r = record(item);
  return r && r->separator;
}

std::string CXHtmlTree::GetItemText(TreeItem item) const {
  const Node* n = item == kTreeRoot ? nullptr : node(item);
  return n ? n->text : std::string();
}

bool CXHtmlTree::SetItemText(TreeItem item, std::string_view text) {
  Node* n = item == kTreeRoot ? nullptr : node(item);
  if (!n) return false;
  n->text = std::string(text);
  notify([&](TreeObserver& o) { o.itemChanged(item); });
  return true;
}

ItemData CXHtmlTree::GetItemData(TreeItem item) const {
  const Node* n = item == kTreeRoot ? nullptr : node(item);
  return n ? n->data : 0;
}

bool CXHtmlTree::SetItemData(TreeItem item, ItemData data) {
  Node* n = item == kTreeRoot ? nullptr : node(item);
  if (!n) return false;
  n->data = data;
  return true;
}

int CXHtmlTree::GetItemImage(TreeItem item) const {
  const Node* n = item == kTreeRoot ? nullptr : node(item);
  return n ? n->image : -1;
}

int CXHtmlTree::GetSelectedImage(TreeItem item) const {
  const Node* n = item == kTreeRoot ? nullptr : node(item);
  return n ? n->selectedImage : -1;
}

TreeItem CXHtmlTree::GetChildItem(TreeItem item) const {
  const Node* n = node(item);
  return n && !n->children.empty() ? n->children.front() : kNoItem;
}

TreeItem CXHtmlTree::GetNextSiblingItem(TreeItem item) const {
  const Node* n = item == kTreeRoot ? nullptr : node(item);
  if (!n) return kNoItem;
  const Node* p = node(n->parent == kNoItem ? kTreeRoot : n->parent);
  const auto next = static_cast<std::size_t>(n->row) + 1;
  return next < p->children.size() ? p->children[next] : kNoItem;
}

TreeItem CXHtmlTree::GetParentItem(TreeItem item) const {
  const Node* n = item == kTreeRoot ? nullptr : node(item);
  return n ? n->parent : kNoItem;
}

bool CXHtmlTree::ItemHasChildren(TreeItem item) const {
  const Node* n = node(item);
  return n && !n->children.empty();
}

bool CXHtmlTree::Expand(TreeItem item, TreeExpand code) {
  Node* n = item == kTreeRoot ? nullptr : node(item);
  if (!n) return false;
  const bool expanded = code == TreeExpand::toggle ? !n->rec.expanded : code == TreeExpand::expand;
  if (expanded != n->rec.expanded) {
    n->rec.expanded = expanded;
    if (expanded) n->rec.hasBeenExpanded = true;
    notify([&](TreeObserver& o) { o.expandChanged(item, expanded); });
  }
  return true;
}

void CXHtmlTree::recordExpanded(TreeItem item, bool expanded) {
  Node* n = item == kTreeRoot ? nullptr : node(item);
  if (!n) return;
  n->rec.expanded = expanded;
  if (expanded) n->rec.hasBeenExpanded = true;
}

int CXHtmlTree::childCount(TreeItem parent) const {
  const Node* n = node(parent);
  return n ? static_cast<int>(n->children.size()) : 0;
}

TreeItem CXHtmlTree::childAt(TreeItem parent, int row) const {
  const Node* n = node(parent);
  if (!n || row < 0 || static_cast<std::size_t>(row) >= n->children.size()) return kNoItem;
  return n->children[static_cast<std::size_t>(row)];
}

int CXHtmlTree::rowOf(TreeItem item) const {
  const Node* n = item == kTreeRoot ? nullptr : node(item);
  return n ? n->row : -1;
}

void CXHtmlTree::addObserver(TreeObserver* observer) {
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void CXHtmlTree::removeObserver(TreeObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

}  // namespace talvix
