#pragma once

#include <QPalette>
#include <QStyledItemDelegate>
#include <QTreeView>

#include "CheckTreeModel.h"

namespace talvix::gui {

class CheckTreeView;

// Draws the tree's items: separators as a line, the hot check box with the hover look. Clicks
// and keys on the check boxes are the view's, not the delegate's.
class CheckTreeDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit CheckTreeDelegate(CheckTreeView* view);
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&,
                   const QModelIndex&) override {
    return false;
  }
  // The option an item is laid out with.
  void layoutOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    initStyleOption(option, index);
  }

 private:
  CheckTreeView* view_;
};

// The folder tree with tri-state check boxes. Signals carry item handles (TreeItem).
class CheckTreeView : public QTreeView {
  Q_OBJECT

 public:
  // Where a point falls on an item, as the tree reports it to its page.
  enum HitFlag : int {
    kOnNowhere = 0x01,
    kOnIcon = 0x02,
    kOnLabel = 0x04,
    kOnIndent = 0x08,
    kOnButton = 0x10,
    kOnRight = 0x20,
    kOnStateIcon = 0x40,
  };
  struct Hit {
    TreeItem item = kNoItem;
    int flags = kOnNowhere;
  };

  explicit CheckTreeView(QWidget* parent = nullptr);

  void setTreeModel(CheckTreeModel* model);
  CheckTreeModel* treeModel() const { return model_; }

  // Viewport coordinates.
  Hit hitTest(QPoint position) const;
  QRect checkBoxRect(const QModelIndex& index) const;
  QRect labelRect(const QModelIndex& index) const;

  // The state image as drawn: the tree's, plus 8 while the box is hot.
  int shownStateImage(TreeItem item) const;
  TreeItem hotItem() const { return hotItem_; }

  // The look while a search runs: the background 10 darker per component, grey text.
  void setSearchLook(bool on);
  bool searchLook() const { return searchLook_; }

 signals:
  // The left button went down exactly on an item's label; the item is selected first.
  void labelClicked(int hitFlags, quint64 item);
  void itemDoubleClicked(quint64 item);
  // The item was expanded or collapsed; the page may fill it (lazily) from this signal.
  void itemExpanded(quint64 item, bool expanded);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QStyleOptionViewItem optionFor(const QModelIndex& index) const;
  void toggleCheck(TreeItem item);
  void setHot(TreeItem item);
  void expandAllBelow(const QModelIndex& index);
  void followExpansion(const QModelIndex& index, bool expanded);

  CheckTreeModel* model_ = nullptr;
  CheckTreeDelegate* delegate_;
  TreeItem hotItem_ = kNoItem;
  bool searchLook_ = false;
  QPalette normalPalette_;
};

}  // namespace talvix::gui
