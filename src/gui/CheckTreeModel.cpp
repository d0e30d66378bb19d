#include "CheckTreeModel.h"

#include <vector>

#include "ItemIcons.h"

namespace talvix::gui {

CheckTreeModel::CheckTreeModel(CXHtmlTree& tree, const ItemIcons* icons, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), icons_(icons) {
  tree_.addObserver(this);
}

CheckTreeModel::~CheckTreeModel() {
  tree_.removeObserver(this);
}

QModelIndex CheckTreeModel::indexOf(TreeItem item) const {
  const int row = tree_.rowOf(item);
  if (row < 0) return {};
  return createIndex(row, 0, static_cast<quintptr>(item));
}

TreeItem CheckTreeModel::itemOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<TreeItem>(index.internalId()) : kNoItem;
}

QModelIndex CheckTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0) return {};
  const TreeItem child = tree_.childAt(parent.isValid() ? itemOf(parent) : kTreeRoot, row);
  if (child == kNoItem) return {};
  return createIndex(row, 0, static_cast<quintptr>(child));
}

QModelIndex CheckTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  const TreeItem p = tree_.GetParentItem(itemOf(child));
  return p == kNoItem ? QModelIndex() : indexOf(p);
}

int CheckTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() && parent.column() != 0) return 0;
  return tree_.childCount(parent.isValid() ? itemOf(parent) : kTreeRoot);
}

int CheckTreeModel::columnCount(const QModelIndex&) const {
  return 1;
}

bool CheckTreeModel::hasChildren(const QModelIndex& parent) const {
  return rowCount(parent) > 0;
}

QVariant CheckTreeModel::data(const QModelIndex& index, int role) const {
  const TreeItem item = itemOf(index);
  const XHTMLTREEDATA* rec = tree_.record(item);
  if (!rec) return {};
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(tree_.GetItemText(item));
    case Qt::DecorationRole:
      if (!icons_ || rec->separator) return {};
      return icons_->icon(tree_.GetItemImage(item));
    case Qt::ForegroundRole:
      if (rec->textColour == kDefaultColour) return {};
      return toQColor(rec->textColour);
    case Qt::CheckStateRole:
      if (!tree_.hasCheckBoxes() || rec->separator) return {};
      switch (tree_.GetStateImage(item) % kDisabledOffset) {
        case kChecked:
          return Qt::Checked;
        case kTriState:
          return Qt::PartiallyChecked;
        default:
          return Qt::Unchecked;
      }
    case StateImageRole:
      return tree_.GetStateImage(item);
    case TreeItemRole:
      return static_cast<quint64>(item);
    case SeparatorRole:
      return rec->separator;
    default:
      return {};
  }
}

bool CheckTreeModel::setData(const QModelIndex& index, const QVariant&, int role) {
  const TreeItem item = itemOf(index);
  const XHTMLTREEDATA* rec = tree_.record(item);
  if (role != Qt::CheckStateRole || !rec || tree_.readOnly()) return false;
  tree_.SetCheck(item, !rec->checked);
  return true;
}

Qt::ItemFlags CheckTreeModel::flags(const QModelIndex& index) const {
  const XHTMLTREEDATA* rec = tree_.record(itemOf(index));
  if (!rec) return Qt::NoItemFlags;
  Qt::ItemFlags f;
  // A disabled item cannot be selected; its box is drawn greyed.
  if (rec->enabled) f |= Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (tree_.hasCheckBoxes() && !rec->separator) f |= Qt::ItemIsUserCheckable;
  return f;
}

void CheckTreeModel::itemAboutToBeInserted(TreeItem parent, int row) {
  beginInsertRows(indexOf(parent), row, row);
}

void CheckTreeModel::itemInserted(TreeItem) {
  endInsertRows();
}

void CheckTreeModel::itemAboutToBeRemoved(TreeItem parent, int row) {
  beginRemoveRows(indexOf(parent), row, row);
}

void CheckTreeModel::itemRemoved() {
  endRemoveRows();
}

void CheckTreeModel::aboutToReset() {
  beginResetModel();
}

void CheckTreeModel::reset() {
  endResetModel();
}

void CheckTreeModel::itemChanged(TreeItem item) {
  const QModelIndex i = indexOf(item);
  emit dataChanged(i, i);
}

void CheckTreeModel::ancestorMarksChanged(TreeItem item) {
  static const QList<int> kRoles{Qt::CheckStateRole, StateImageRole};
  for (TreeItem a = item; a != kNoItem; a = tree_.GetParentItem(a)) {
    const QModelIndex i = indexOf(a);
    emit dataChanged(i, i, kRoles);
  }
}

void CheckTreeModel::checkMarksChanged(TreeItem item) {
  static const QList<int> kRoles{Qt::CheckStateRole, StateImageRole};
  ancestorMarksChanged(item);
  // One range per folder below the item.
  std::vector<TreeItem> pending{item};
  while (!pending.empty()) {
    const TreeItem folder = pending.back();
    pending.pop_back();
    const int count = tree_.childCount(folder);
    if (count == 0) continue;
    emit dataChanged(indexOf(tree_.childAt(folder, 0)), indexOf(tree_.childAt(folder, count - 1)),
                     kRoles);
    for (int row = 0; row < count; ++row) {
      const TreeItem child = tree_.childAt(folder, row);
      if (tree_.ItemHasChildren(child)) pending.push_back(child);
    }
  }
}

void CheckTreeModel::checkChanged(TreeItem item, bool checked) {
  emit itemCheckChanged(item, checked);
}

void CheckTreeModel::expandChanged(TreeItem item, bool expanded) {
  emit expandRequested(indexOf(item), expanded);
}

}  // namespace talvix::gui
