#pragma once

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>

#include "FileListModel.h"

namespace talvix::gui {

// A horizontal header whose first section carries a check box; a click on that section is a
// click on the list's header box.
class CheckHeaderView : public QHeaderView {
  Q_OBJECT

 public:
  explicit CheckHeaderView(QWidget* parent = nullptr);

 protected:
  // Section 0 shows the box as its picture, before the text.
  void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;

 private:
  QIcon boxPicture(bool checked) const;
  mutable QIcon checkedBox_, uncheckedBox_;
};

// The list's cells as usual; tells the view how a cell is laid out.
class ListDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void layoutOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    initStyleOption(option, index);
  }
};

// The file list: check boxes, the header box, grid lines, whole rows selected.
class CheckListView : public QTableView {
  Q_OBJECT

 public:
  explicit CheckListView(QWidget* parent = nullptr);
  void setListModel(FileListModel* model);
  FileListModel* listModel() const { return model_; }
  CheckHeaderView* checkHeader() const { return header_; }
  // A row's check box, in viewport coordinates.
  QRect checkBoxRect(int row) const;

 private:
  FileListModel* model_ = nullptr;
  CheckHeaderView* header_;
  ListDelegate* delegate_;
};

}  // namespace talvix::gui
