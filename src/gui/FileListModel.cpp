#include "FileListModel.h"

namespace talvix::gui {

FileListModel::FileListModel(CCheckListCtrl& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
  list_.addObserver(this);
}

FileListModel::~FileListModel() {
  list_.removeObserver(this);
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : list_.GetItemCount();
}

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kFileListColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:  // info tips: the whole text of a narrow cell
      return QString::fromStdString(list_.GetItemText(index.row(), index.column()));
    case Qt::CheckStateRole:
      if (index.column() != 0) return {};
      return list_.GetCheck(index.row()) ? Qt::Checked : Qt::Unchecked;
    default:
      return {};
  }
}

bool FileListModel::setData(const QModelIndex& index, const QVariant&, int role) {
  if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) return false;
  list_.clickRowCheck(index.row());
  return true;
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kFileListColumnCount) return {};
  switch (role) {
    case Qt::DisplayRole: {
      const std::string_view header = kFileListColumns[static_cast<std::size_t>(section)].header;
      return QString::fromUtf8(header.data(), static_cast<qsizetype>(header.size()));
    }
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::CheckStateRole:
      if (section != 0) return {};
      return list_.headerChecked() ? Qt::Checked : Qt::Unchecked;
    default:
      return {};
  }
}

void FileListModel::rowAboutToBeAppended(int row) {
  beginInsertRows({}, row, row);
}

void FileListModel::rowAppended(int) {
  endInsertRows();
}

void FileListModel::aboutToReset() {
  beginResetModel();
}

void FileListModel::reset() {
  endResetModel();
}

void FileListModel::rowChanged(int row) {
  emit dataChanged(index(row, 0), index(row, kFileListColumnCount - 1));
}

void FileListModel::allRowsChanged() {
  if (list_.GetItemCount() == 0) return;
  emit dataChanged(index(0, 0), index(list_.GetItemCount() - 1, 0), {Qt::CheckStateRole});
}

void FileListModel::headerChanged(bool checked) {
  emit headerDataChanged(Qt::Horizontal, 0, 0);
  emit headerCheckChanged(checked);
}

}  // namespace talvix::gui
