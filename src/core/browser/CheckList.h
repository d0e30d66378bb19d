#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "browser/TreeControl.h"

namespace talvix {

// One column of the file list: its header text and width in pixels.
struct ListColumn {
  std::string_view header;
  int width;
};

inline constexpr std::array<ListColumn, 6> kFileListColumns{{
    {"File(s) List", 80},
    {"Creation Time", 90},
    {"Access Time", 90},
    {"Modification Time", 90},
    {"Size", 80},
    {"Attribute", 70},
}};
inline constexpr int kFileListColumnCount = static_cast<int>(kFileListColumns.size());

// What the list tells a view of itself.
class ListObserver {
 public:
  virtual ~ListObserver() = default;
  virtual void rowAboutToBeAppended(int /*row*/) {}
  virtual void rowAppended(int /*row*/) {}
  virtual void aboutToReset() {}
  virtual void reset() {}
  virtual void rowChanged(int /*row*/) {}
  // Every row's check state may have changed.
  virtual void allRowsChanged() {}
  virtual void headerChanged(bool /*checked*/) {}
};

// The file list with check boxes and a check box in the header of column 0.
//
// A row's data value is the tree item of the file it shows or, while the list holds search
// results, the entry record. A click on a row's check box carries the row's new state to its
// tree item, except for search results. The header is checked exactly when no row is
// unchecked (so an empty list shows it checked), except that a click on it toggles it and
// sets every row to its new state. The unchecked rows are counted, so the header follows a
// row change in O(1).
class CCheckListCtrl {
 public:
  using Texts = std::array<std::string, kFileListColumns.size()>;

  // The tree that row check clicks reach; not owned, may be null.
  void setTree(TreeControl* tree) { tree_ = tree; }
  void setShowsSearch(bool showsSearch) { listShowsSearch_ = showsSearch; }
  bool showsSearch() const { return listShowsSearch_; }

  // Appends an unchecked row; answers its number.
  int appendRow(const Texts& texts, ItemData data);
  // Column 0 only.
  int appendRow(std::string_view name, ItemData data);
  void DeleteAllItems();

  int GetItemCount() const { return static_cast<int>(rows_.size()); }
  std::string GetItemText(int row, int column) const;
  bool SetItemText(int row, int column, std::string_view text);
  ItemData GetItemData(int row) const;
  bool GetCheck(int row) const;
  // Sets one row's check box (no tree link) and updates the header.
  bool SetCheck(int row, bool checked);

  // The user clicked a row's check box: the row toggles and, unless the list holds search
  // results, its tree item takes the row's new state.
  void clickRowCheck(int row);
  // The user clicked the header of column 0.
  void clickHeader();
  bool headerChecked() const { return headerChecked_; }

  void addObserver(ListObserver* observer);
  void removeObserver(ListObserver* observer);

 private:
  struct Row {
    Texts texts;
    ItemData data = 0;
    bool checked = false;
  };
  bool validRow(int row) const { return row >= 0 && row < GetItemCount(); }
  void setRowCheck(Row& r, bool checked);
  void followRows();
  template <typename F>
  void notify(F&& f) {
    for (ListObserver* o : observers_) f(*o);
  }

  std::vector<Row> rows_;
  std::size_t uncheckedRows_ = 0;
  bool headerChecked_ = true;
  bool listShowsSearch_ = false;
  TreeControl* tree_ = nullptr;
  std::vector<ListObserver*> observers_;
};

}  // namespace talvix
