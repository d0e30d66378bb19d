#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "browser/CheckList.h"
#include "browser/CheckTree.h"

namespace talvix {
namespace {

TEST(CheckList, HasTheSixColumns) {
  std::string headers;
  for (const ListColumn& c : kFileListColumns) {
    headers += std::string(c.header) + '/' + std::to_string(c.width) + ';';
  }
  EXPECT_EQ(headers,
            "File(s) List/80;Creation Time/90;Access Time/90;Modification Time/90;Size/80;"
            "Attribute/70;");
}

// The header box: a click sets every row; any unchecked row unchecks it; an empty list shows
// it checked.
TEST(CheckList, HeaderFollowsTheRows) {
  struct Case {
    const char* what;
    std::function<void(CCheckListCtrl&)> steps;
    bool header;
    const char* rows;  // each row's check, 1 or 0
  };
  auto rows = [](int n) {
    return [n](CCheckListCtrl& l) {
      for (int i = 0; i < n; ++i) l.appendRow("file" + std::to_string(i), 0);
    };
  };
  const Case cases[] = {
      {"an empty list shows the header checked", [](CCheckListCtrl&) {}, true, ""},
      {"new rows are unchecked and uncheck the header", rows(2), false, "00"},
      {"a header click checks every row",
       [&](CCheckListCtrl& l) {
         rows(3)(l);
         l.clickHeader();
       },
       true, "111"},
      {"a second header click unchecks every row",
       [&](CCheckListCtrl& l) {
         rows(3)(l);
         l.clickHeader();
         l.clickHeader();
       },
       false, "000"},
      {"checking the last unchecked row checks the header",
       [&](CCheckListCtrl& l) {
         rows(2)(l);
         l.SetCheck(0, true);
         l.clickRowCheck(1);
       },
       true, "11"},
      {"unchecking one row unchecks the header",
       [&](CCheckListCtrl& l) {
         rows(3)(l);
         l.clickHeader();
         l.clickRowCheck(1);
       },
       false, "101"},
      {"a new row after a header click unchecks it",
       [&](CCheckListCtrl& l) {
         rows(1)(l);
         l.clickHeader();
         l.appendRow("late", 0);
       },
       false, "10"},
      {"emptying the list shows the header checked",
       [&](CCheckListCtrl& l) {
         rows(2)(l);
         l.DeleteAllItems();
       },
       true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CCheckListCtrl list;
    c.steps(list);
    EXPECT_EQ(list.headerChecked(), c.header);
    std::string states;
    for (int i = 0; i < list.GetItemCount(); ++i) states += list.GetCheck(i) ? '1' : '0';
    EXPECT_EQ(states, c.rows);
  }
}

struct Listed {
  CXHtmlTree tree;
  CCheckListCtrl list;
  TreeItem folder, file1, file2;
  Listed() {
    tree.SetSmartCheckBox(true);
    folder = tree.InsertItem(kTreeRoot, "ROOT", 2, 2);
    file1 = tree.InsertItem(folder, "a.txt", 3, 3);
    file2 = tree.InsertItem(folder, "b.txt", 3, 3);
    list.setTree(&tree);
    list.appendRow("a.txt", file1);
    list.appendRow("b.txt", file2);
  }
};

TEST(CheckList, RowCheckClickReachesItsTreeItem) {
  Listed x;
  x.list.clickRowCheck(0);
  EXPECT_TRUE(x.list.GetCheck(0));
  EXPECT_TRUE(x.tree.GetCheck(x.file1));
  EXPECT_EQ(x.tree.GetStateImage(x.folder), kTriState);
  x.list.clickRowCheck(1);
  EXPECT_TRUE(x.tree.GetCheck(x.folder));
  x.list.clickRowCheck(0);
  EXPECT_FALSE(x.tree.GetCheck(x.file1));
  EXPECT_FALSE(x.list.GetCheck(0));
}

TEST(CheckList, HeaderClickAndSearchResultsLeaveTheTreeAlone) {
  Listed x;
  x.list.clickHeader();
  EXPECT_TRUE(x.list.GetCheck(0));
  EXPECT_FALSE(x.tree.GetCheck(x.file1));
  EXPECT_FALSE(x.tree.GetCheck(x.file2));

  x.list.setShowsSearch(true);
  x.list.clickRowCheck(1);
  EXPECT_FALSE(x.list.GetCheck(1));
  EXPECT_FALSE(x.tree.GetCheck(x.file2));
  EXPECT_EQ(x.tree.GetStateImage(x.folder), kUnchecked);
}

TEST(CheckList, RowsWithoutAnItemOrOutOfRangeTouchNothing) {
  Listed x;
  const int row = x.list.appendRow("loose", 0);
  x.list.clickRowCheck(row);
  EXPECT_TRUE(x.list.GetCheck(row));
  x.list.clickRowCheck(99);
  x.list.clickRowCheck(-1);
  EXPECT_FALSE(x.list.SetCheck(99, true));
  EXPECT_EQ(x.list.GetItemText(99, 0), "");
  EXPECT_EQ(x.list.GetItemText(0, 6), "");
  EXPECT_EQ(x.tree.GetStateImage(x.folder), kUnchecked);
}

}  // namespace
}  // namespace talvix
