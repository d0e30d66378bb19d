#pragma once

#include <QAbstractItemModel>
#include <QColor>

#include "browser/CheckTree.h"

namespace talvix::gui {

class ItemIcons;

// Colours of the core, as Qt colours.
inline QColor toQColor(Colour c) {
  return QColor(redOf(c), greenOf(c), blueOf(c));
}
inline Colour fromQColor(const QColor& c) {
  return rgb(c.red(), c.green(), c.blue());
}

// The folder tree as an item model: one column, the rows of each item are its children in
// order. The tree stays the owner of the items; this model follows its changes.
class CheckTreeModel : public QAbstractItemModel, private TreeObserver {
  Q_OBJECT

 public:
  enum Role {
    StateImageRole = Qt::UserRole + 1,  // the state image of the tree's rule (0 to 7)
    TreeItemRole,                       // the item handle
    SeparatorRole,
  };

  // `icons` may be null (no pictures).
  CheckTreeModel(CXHtmlTree& tree, const ItemIcons* icons, QObject* parent = nullptr);
  ~CheckTreeModel() override;

  CXHtmlTree& tree() const { return tree_; }
  QModelIndex indexOf(TreeItem item) const;
  TreeItem itemOf(const QModelIndex& index) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // A check-state change toggles the item as a click on its box does.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // The tree's check-changed notification.
  void itemCheckChanged(quint64 item, bool checked);
  // Expand through the tree (Expand): views follow.
  void expandRequested(const QModelIndex& index, bool expand);

 private:
  void itemAboutToBeInserted(TreeItem parent, int row) override;
  void itemInserted(TreeItem item) override;
  void itemAboutToBeRemoved(TreeItem parent, int row) override;
  void itemRemoved() override;
  void aboutToReset() override;
  void reset() override;
  void itemChanged(TreeItem item) override;
  void ancestorMarksChanged(TreeItem item) override;
  void checkMarksChanged(TreeItem item) override;
  void checkChanged(TreeItem item, bool checked) override;
  void expandChanged(TreeItem item, bool expanded) override;

  CXHtmlTree& tree_;
  const ItemIcons* icons_;
};

}  // namespace talvix::gui
