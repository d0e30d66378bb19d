#include "browser/CheckList.h"

#include <algorithm>

namespace talvix {

int CCheckListCtrl::appendRow(const Texts& texts, ItemData data) {
  const int row = GetItemCount();
  notify([&](ListObserver& o) { o.rowAboutToBeAppended(row); });
  rows_.push_back(Row{texts, data, false});
  ++uncheckedRows_;
  notify([&](ListObserver& o) { o.rowAppended(row); });
  followRows();
  return row;
}

int CCheckListCtrl::appendRow(std::string_view name, ItemData data) {
  Texts texts;
  texts[0] = std::string(name);
  return appendRow(texts, data);
}

void CCheckListCtrl::DeleteAllItems() {
  notify([](ListObserver& o) { o.aboutToReset(); });
  rows_.clear();
  uncheckedRows_ = 0;
  notify([](ListObserver& o) { o.reset(); });
  followRows();
}

std::string CCheckListCtrl::GetItemText(int row, int column) const {
  if (!validRow(row) || column < 0 || column >= kFileListColumnCount) return {};
  return rows_[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)];
}

bool CCheckListCtrl::SetItemText(int row, int column, std::string_view text) {
  if (!validRow(row) || column < 0 || column >= kFileListColumnCount) return false;
  rows_[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)] = std::string(text);
  notify([&](ListObserver& o) { o.rowChanged(row); });
  return true;
}

ItemData CCheckListCtrl::GetItemData(int row) const {
  return validRow(row) ? rows_[static_cast<std::size_t>(row)].data : 0;
}

bool CCheckListCtrl::GetCheck(int row) const {
  return validRow(row) && rows_[static_cast<std::size_t>(row)].checked;
}

void CCheckListCtrl::setRowCheck(Row& r, bool checked) {
  if (r.checked == checked) return;
  r.checked = checked;
  if (checked) {
    --uncheckedRows_;
  } else {
    ++uncheckedRows_;
  }
}

bool CCheckListCtrl::SetCheck(int row, bool checked) {
  if (!validRow(row)) return false;
  setRowCheck(rows_[static_cast<std::size_t>(row)], checked);
  notify([&](ListObserver& o) { o.rowChanged(row); });
  followRows();
  return true;
}

void CCheckListCtrl::clickRowCheck(int row) {
  if (!validRow(row)) return;
  const Row& r = rows_[static_cast<std::size_t>(row)];
  const bool wasChecked = r.checked;
  const ItemData data = r.data;
  SetCheck(row, !wasChecked);
  if (!listShowsSearch_ && data != 0 && tree_) tree_->SetCheck(data, !wasChecked);
}

void CCheckListCtrl::clickHeader() {
  headerChecked_ = !headerChecked_;
  for (Row& r : rows_) setRowCheck(r, headerChecked_);
  notify([](ListObserver& o) { o.allRowsChanged(); });
  notify([&](ListObserver& o) { o.headerChanged(headerChecked_); });
}

void CCheckListCtrl::followRows() {
  const bool checked = uncheckedRows_ == 0;
  if (checked == headerChecked_) return;
  headerChecked_ = checked;
  notify([&](ListObserver& o) { o.headerChanged(checked); });
}

void CCheckListCtrl::addObserver(ListObserver* observer) {
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void CCheckListCtrl::removeObserver(ListObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

}  // namespace talvix
