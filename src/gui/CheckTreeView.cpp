#include "CheckTreeView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <vector>

#include "browser/TextFormats.h"

namespace talvix::gui {

CheckTreeDelegate::CheckTreeDelegate(CheckTreeView* view)
    : QStyledItemDelegate(view), view_(view) {}

void CheckTreeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  if (index.data(CheckTreeModel::SeparatorRole).toBool()) {
    painter->save();
    painter->setPen(option.palette.color(QPalette::Mid));
    const int y = option.rect.center().y();
    painter->drawLine(option.rect.left() + 2, y, option.rect.right() - 2, y);
    painter->restore();
    return;
  }
  QStyledItemDelegate::paint(painter, option, index);
  const auto item = index.data(CheckTreeModel::TreeItemRole).value<quint64>();
  if (item == kNoItem || item != view_->hotItem()) return;
  QStyleOptionViewItem hot = option;
  initStyleOption(&hot, index);
  QStyle* style = option.widget ? option.widget->style() : view_->style();
  hot.rect = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &hot, option.widget);
  hot.state |= QStyle::State_MouseOver;
  hot.state = (hot.state & ~(QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange)) |
              (hot.checkState == Qt::Checked            ? QStyle::State_On
               : hot.checkState == Qt::PartiallyChecked ? QStyle::State_NoChange
                                                        : QStyle::State_Off);
  style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &hot, painter, option.widget);
}

CheckTreeView::CheckTreeView(QWidget* parent)
    : QTreeView(parent), delegate_(new CheckTreeDelegate(this)) {
  setItemDelegate(delegate_);
  setHeaderHidden(true);
  setUniformRowHeights(true);  // rows of one height: large folders lay out fast
  setMouseTracking(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(this, &QTreeView::expanded, this,
          [this](const QModelIndex& index) { followExpansion(index, true); });
  connect(this, &QTreeView::collapsed, this,
          [this](const QModelIndex& index) { followExpansion(index, false); });
}

void CheckTreeView::setTreeModel(CheckTreeModel* model) {
  if (model_) disconnect(model_, nullptr, this, nullptr);
  model_ = model;
  setModel(model);
  if (!model_) return;
  connect(model_, &CheckTreeModel::expandRequested, this,
          [this](const QModelIndex& index, bool expand) {
            if (expand) {
              this->expand(index);
            } else {
              collapse(index);
            }
          });
  connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { hotItem_ = kNoItem; });
}

void CheckTreeView::followExpansion(const QModelIndex& index, bool expanded) {
  if (!model_) return;
  const TreeItem item = model_->itemOf(index);
  model_->tree().recordExpanded(item, expanded);
  emit itemExpanded(item, expanded);
}

QStyleOptionViewItem CheckTreeView::optionFor(const QModelIndex& index) const {
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(index);
  delegate_->layoutOption(&option, index);
  return option;
}

QRect CheckTreeView::checkBoxRect(const QModelIndex& index) const {
  const QStyleOptionViewItem option = optionFor(index);
  if (!(option.features & QStyleOptionViewItem::HasCheckIndicator)) return {};
  return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

QRect CheckTreeView::labelRect(const QModelIndex& index) const {
  const QStyleOptionViewItem option = optionFor(index);
  QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
  // The label is the text itself, not the rest of the row.
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  const int width = option.fontMetrics.horizontalAdvance(option.text) + 2 * margin;
  if (width < text.width()) text.setWidth(width);
  return text;
}

CheckTreeView::Hit CheckTreeView::hitTest(QPoint position) const {
  Hit hit;
  const QModelIndex index = indexAt(position);
  if (!index.isValid() || !model_) {
    // indexAt answers nothing left of an item too: look along the row.
    const QModelIndex row = indexAt(QPoint(viewport()->width() - 1, position.y()));
    if (!row.isValid() || !model_) return hit;
    hit.item = model_->itemOf(row);
    const QRect rect = visualRect(row);
    const bool button = model_->hasChildren(row) && position.x() >= rect.left() - indentation() &&
                        position.x() < rect.left();
    hit.flags = position.x() < rect.left() ? (button ? kOnButton : kOnIndent) : kOnRight;
    return hit;
  }
  hit.item = model_->itemOf(index);
  const QRect rect = visualRect(index);
  if (position.x() < rect.left()) {
    const bool button = model_->hasChildren(index) && position.x() >= rect.left() - indentation();
    hit.flags = button ? kOnButton : kOnIndent;
  } else if (checkBoxRect(index).contains(position)) {
    hit.flags = kOnStateIcon;
  } else if (labelRect(index).contains(position)) {
    hit.flags = kOnLabel;
  } else {
    const QStyleOptionViewItem option = optionFor(index);
    const QRect icon = style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &option, this);
    hit.flags = (option.features & QStyleOptionViewItem::HasDecoration) && icon.contains(position)
                    ? kOnIcon
                    : kOnRight;
  }
  return hit;
}

int CheckTreeView::shownStateImage(TreeItem item) const {
  if (!model_) return kNoCheckBox;
  const int image = model_->tree().GetStateImage(item);
  return image != kNoCheckBox && item == hotItem_ ? image + kHotOffset : image;
}

void CheckTreeView::setHot(TreeItem item) {
  if (item == hotItem_) return;
  const TreeItem old = hotItem_;
  hotItem_ = item;
  for (TreeItem i : {old, item}) {
    if (i != kNoItem && model_) update(model_->indexOf(i));
  }
}

void CheckTreeView::toggleCheck(TreeItem item) {
  CXHtmlTree& tree = model_->tree();
  const XHTMLTREEDATA* rec = tree.record(item);
  if (!rec || rec->separator || tree.readOnly()) return;
  tree.SetCheck(item, !rec->checked);
}

void CheckTreeView::mousePressEvent(QMouseEvent* event) {
  const Hit hit = model_ ? hitTest(event->position().toPoint()) : Hit{};
  if (hit.item != kNoItem && event->button() == Qt::LeftButton && hit.flags == kOnStateIcon) {
    CXHtmlTree& tree = model_->tree();
    // A separator swallows the click; so does a disabled item.
    if (!tree.isSeparator(hit.item) && tree.isEnabled(hit.item) && !tree.readOnly()) {
      toggleCheck(hit.item);
      setCurrentIndex(model_->indexOf(hit.item));
      setHot(hit.item);
    }
    event->accept();
    return;
  }
  QTreeView::mousePressEvent(event);
  if (hit.item != kNoItem && event->button() == Qt::LeftButton && hit.flags == kOnLabel) {
    if (model_->tree().isEnabled(hit.item)) setCurrentIndex(model_->indexOf(hit.item));
    emit labelClicked(hit.flags, hit.item);
  }
}

void CheckTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  const Hit hit = model_ ? hitTest(event->position().toPoint()) : Hit{};
  if (hit.item != kNoItem && !model_->tree().isEnabled(hit.item)) {
    event->accept();  // a disabled item swallows it
    return;
  }
  QTreeView::mouseDoubleClickEvent(event);
  if (hit.item != kNoItem && event->button() == Qt::LeftButton &&
      (hit.flags & (kOnLabel | kOnIcon | kOnStateIcon | kOnButton))) {
    emit itemDoubleClicked(hit.item);
  }
}

void CheckTreeView::mouseMoveEvent(QMouseEvent* event) {
  if (hotItem_ != kNoItem) {
    const Hit hit = hitTest(event->position().toPoint());
    if (hit.item != hotItem_ || hit.flags != kOnStateIcon) setHot(kNoItem);
  }
  QTreeView::mouseMoveEvent(event);
}

void CheckTreeView::leaveEvent(QEvent* event) {
  setHot(kNoItem);
  QTreeView::leaveEvent(event);
}

void CheckTreeView::keyPressEvent(QKeyEvent* event) {
  const QModelIndex current = currentIndex();
  if (model_ && current.isValid()) {
    switch (event->key()) {
      case Qt::Key_Space:
        if (!model_->tree().hasCheckBoxes()) break;
        toggleCheck(model_->itemOf(current));
        event->accept();
        return;
      case Qt::Key_Asterisk:
        expandAllBelow(current);
        event->accept();
        return;
      case Qt::Key_Plus:
        expand(current);
        event->accept();
        return;
      case Qt::Key_Minus:
        collapse(current);
        event->accept();
        return;
      default:
        break;
    }
  }
  QTreeView::keyPressEvent(event);
}

void CheckTreeView::expandAllBelow(const QModelIndex& index) {
  // Each expansion may fill the folder (itemExpanded), so children are read after it.
  std::vector<QPersistentModelIndex> pending{QPersistentModelIndex(index)};
  while (!pending.empty()) {
    const QModelIndex next = pending.back();
    pending.pop_back();
    if (!next.isValid() || !model_->hasChildren(next)) continue;
    expand(next);
    for (int row = model_->rowCount(next) - 1; row >= 0; --row) {
      pending.emplace_back(model_->index(row, 0, next));
    }
  }
}

void CheckTreeView::setSearchLook(bool on) {
  if (on == searchLook_) return;
  searchLook_ = on;
  if (!on) {
    setPalette(normalPalette_);
    return;
  }
  normalPalette_ = palette();
  QPalette look = normalPalette_;
  const QColor background =
      toQColor(searchBackground(fromQColor(normalPalette_.color(QPalette::Base))));
  const QColor grey = normalPalette_.color(QPalette::Disabled, QPalette::Text);
  look.setColor(QPalette::Base, background);
  look.setColor(QPalette::Text, grey);
  setPalette(look);
}

}  // namespace talvix::gui
