#include "CheckListView.h"

#include <QPainter>
#include <QPixmap>
#include <QStyleOptionButton>

namespace talvix::gui {

CheckHeaderView::CheckHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(true);
  setHighlightSections(false);
  setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  connect(this, &QHeaderView::sectionClicked, this, [this](int logicalIndex) {
    auto* list = qobject_cast<FileListModel*>(model());
    if (list && logicalIndex == 0) list->list().clickHeader();
  });
}

QIcon CheckHeaderView::boxPicture(bool checked) const {
  QIcon& picture = checked ? checkedBox_ : uncheckedBox_;
  if (!picture.isNull()) return picture;
  QStyleOptionButton option;
  option.initFrom(this);
  const QRect box = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
  QPixmap pixmap(box.size() * devicePixelRatioF());
  pixmap.setDevicePixelRatio(devicePixelRatioF());
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  option.rect = QRect(QPoint(0, 0), box.size());
  option.state |= QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
  style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
  painter.end();
  picture = QIcon(pixmap);
  return picture;
}

void CheckHeaderView::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const {
  QHeaderView::initStyleOptionForIndex(option, logicalIndex);
  if (logicalIndex != 0 || !model()) return;
  const bool checked =
      model()->headerData(0, Qt::Horizontal, Qt::CheckStateRole).toInt() == Qt::Checked;
  option->icon = boxPicture(checked);
  option->iconAlignment = Qt::AlignLeft | Qt::AlignVCenter;
}

CheckListView::CheckListView(QWidget* parent)
    : QTableView(parent), header_(new CheckHeaderView(this)), delegate_(new ListDelegate(this)) {
  setItemDelegate(delegate_);
  setHorizontalHeader(header_);
  verticalHeader()->hide();
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setSortingEnabled(false);
  header_->setStretchLastSection(false);
}

void CheckListView::setListModel(FileListModel* model) {
  model_ = model;
  setModel(model);
  for (int c = 0; c < kFileListColumnCount; ++c) {
    setColumnWidth(c, kFileListColumns[static_cast<std::size_t>(c)].width);
  }
  if (model_) {
    connect(model_, &FileListModel::headerCheckChanged, header_,
            [this] { header_->viewport()->update(); });
  }
}

QRect CheckListView::checkBoxRect(int row) const {
  if (!model_) return {};
  const QModelIndex index = model_->index(row, 0);
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(index);
  delegate_->layoutOption(&option, index);
  return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

}  // namespace talvix::gui
