#pragma once

#include <QAbstractTableModel>
#include <QIcon>

#include "browser/CheckList.h"

namespace talvix::gui {

// The file list as a table model: six columns, a check box in column 0 of every row and in
// the header of column 0. The list stays the owner of the rows.
class FileListModel : public QAbstractTableModel, private ListObserver {
  Q_OBJECT

 public:
  explicit FileListModel(CCheckListCtrl& list, QObject* parent = nullptr);
  ~FileListModel() override;

  CCheckListCtrl& list() const { return list_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // A check-state change in column 0 is a click on the row's box.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Column 0 also answers Qt::CheckStateRole: the header box.
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 signals:
  void headerCheckChanged(bool checked);

 private:
  void rowAboutToBeAppended(int row) override;
  void rowAppended(int row) override;
  void aboutToReset() override;
  void reset() override;
  void rowChanged(int row) override;
  void allRowsChanged() override;
  void headerChanged(bool checked) override;

  CCheckListCtrl& list_;
};

}  // namespace talvix::gui
