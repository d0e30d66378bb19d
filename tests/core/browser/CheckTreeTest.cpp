#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "browser/CheckTree.h"

namespace talvix {
namespace {

constexpr std::string_view kPlaceholder = "..DUMY..";

// Counts every record against a walk of the items below it, and every item's check against
// the rule "all checkable items below are checked".
void expectConsistent(const CXHtmlTree& tree) {
  struct Totals {
    int descendants = 0, separators = 0, checked = 0;
  };
  std::function<Totals(TreeItem)> walk = [&](TreeItem item) {
    Totals t;
    for (TreeItem c = tree.GetChildItem(item); c != kNoItem; c = tree.GetNextSiblingItem(c)) {
      const Totals below = walk(c);
      const XHTMLTREEDATA* r = tree.record(c);
      t.descendants += 1 + below.descendants;
      t.separators += (r->separator ? 1 : 0) + below.separators;
      t.checked += (r->checked && !r->separator ? 1 : 0) + below.checked;
    }
    if (item != kTreeRoot) {
      const XHTMLTREEDATA* r = tree.record(item);
      const std::string name = tree.GetItemText(item);
      EXPECT_EQ(r->descendantCount, t.descendants) << name;
      EXPECT_EQ(r->separatorCount, t.separators) << name;
      EXPECT_EQ(r->checkedCount, t.checked) << name;
      const int checkable = t.descendants - t.separators;
      if (tree.smartCheck() && checkable > 0 && !r->separator) {
        EXPECT_EQ(r->checked, t.checked == checkable) << name;
        EXPECT_EQ(tree.GetCheck(item), t.checked == checkable) << name;
      }
    }
    return t;
  };
  walk(kTreeRoot);
}

// A browser-like tree: ROOT with folders A (files a1, a2) and B (only the placeholder), and
// the file f.
struct Fixture {
  CXHtmlTree tree;
  std::map<std::string, TreeItem> items;

  Fixture() {
    tree.InitCheckTree();
    tree.SetSmartCheckBox(true);
    add("ROOT", kNoItem);
    add("A", at("ROOT"));
    add("a1", at("A"));
    add("a2", at("A"));
    add("B", at("ROOT"));
    add(std::string(kPlaceholder), at("B"));
    add("f", at("ROOT"));
  }
  TreeItem add(const std::string& name, TreeItem parent) {
    const TreeItem item = tree.InsertItem(parent == kNoItem ? kTreeRoot : parent, name, 2, 2);
    items[name] = item;
    return item;
  }
  TreeItem at(const std::string& name) const { return items.at(name); }

  // Every item as name:image, in tree order.
  std::string marks() const {
    std::string out;
    std::function<void(TreeItem)> walk = [&](TreeItem item) {
      for (TreeItem c = tree.GetChildItem(item); c != kNoItem; c = tree.GetNextSiblingItem(c)) {
        if (!out.empty()) out += ' ';
        out += tree.GetItemText(c) + ':' + std::to_string(tree.GetStateImage(c));
        walk(c);
      }
    };
    walk(kTreeRoot);
    return out;
  }
};

TEST(CheckTree, PropagatesChecksThroughTheCounts) {
  struct Case {
    const char* what;
    std::function<void(Fixture&)> steps;
    const char* marks;  // state images: 1 unchecked, 2 checked, 3 tri-state, +4 disabled, 0 none
  };
  const Case cases[] = {
      {"a new tree is unchecked", [](Fixture&) {}, "ROOT:1 A:1 a1:1 a2:1 B:1 ..DUMY..:1 f:1"},
      {"checking the top checks everything",
       [](Fixture& x) { x.tree.SetCheck(x.at("ROOT"), true); },
       "ROOT:2 A:2 a1:2 a2:2 B:2 ..DUMY..:2 f:2"},
      {"checking one file makes its ancestors tri-state",
       [](Fixture& x) { x.tree.SetCheck(x.at("a1"), true); },
       "ROOT:3 A:3 a1:2 a2:1 B:1 ..DUMY..:1 f:1"},
      {"checking the last unchecked child checks the folder, and the ancestors whose other "
       "items are checked",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("B"), true);
         x.tree.SetCheck(x.at("f"), true);
         x.tree.SetCheck(x.at("a1"), true);
         x.tree.SetCheck(x.at("a2"), true);
       },
       "ROOT:2 A:2 a1:2 a2:2 B:2 ..DUMY..:2 f:2"},
      {"unchecking one child of a checked tree makes the folder and the top tri-state",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("ROOT"), true);
         x.tree.SetCheck(x.at("a2"), false);
       },
       "ROOT:3 A:3 a1:2 a2:1 B:2 ..DUMY..:2 f:2"},
      {"unchecking a tri-state folder's only checked child unchecks it",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("a1"), true);
         x.tree.SetCheck(x.at("a1"), false);
       },
       "ROOT:1 A:1 a1:1 a2:1 B:1 ..DUMY..:1 f:1"},
      {"checking a tri-state folder checks all its children",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("a1"), true);
         x.tree.SetCheck(x.at("A"), true);
       },
       "ROOT:3 A:2 a1:2 a2:2 B:1 ..DUMY..:1 f:1"},
      {"a checked folder keeps its mark when its placeholder goes (the counts drop together)",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("B"), true);
         x.tree.DeleteItem(x.at(std::string(kPlaceholder)));
       },
       "ROOT:3 A:1 a1:1 a2:1 B:2 f:1"},
      {"an unchecked child under an all-checked folder makes it and the ancestors tri-state",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("ROOT"), true);
         x.add("a3", x.at("A"));
       },
       "ROOT:3 A:3 a1:2 a2:2 a3:1 B:2 ..DUMY..:2 f:2"},
      {"an unchecked child under a checked folder without children unchecks the folder",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("ROOT"), true);
         x.tree.DeleteItem(x.at(std::string(kPlaceholder)));
         x.add("b1", x.at("B"));
       },
       "ROOT:3 A:2 a1:2 a2:2 B:1 b1:1 f:2"},
      {"unchecking then checking the folder again checks the new child",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("ROOT"), true);
         x.add("a3", x.at("A"));
         x.tree.SetCheck(x.at("A"), false);
         x.tree.SetCheck(x.at("A"), true);
       },
       "ROOT:2 A:2 a1:2 a2:2 a3:2 B:2 ..DUMY..:2 f:2"},
      {"deleting the only unchecked child checks the folder and the top",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("ROOT"), true);
         x.add("a3", x.at("A"));
         x.tree.DeleteItem(x.at("a3"));
       },
       "ROOT:2 A:2 a1:2 a2:2 B:2 ..DUMY..:2 f:2"},
      {"deleting a checked folder leaves the rest as it was",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("A"), true);
         x.tree.DeleteItem(x.at("A"));
       },
       "ROOT:1 B:1 ..DUMY..:1 f:1"},
      {"a separator has no box, cannot be checked and does not count",
       [](Fixture& x) {
         x.tree.SetCheck(x.at("A"), true);
         const TreeItem s = x.tree.InsertSeparator(x.at("A"));
         x.tree.SetCheck(s, true);
       },
       "ROOT:3 A:2 a1:2 a2:2 :0 B:1 ..DUMY..:1 f:1"},
      {"checking a folder with a separator checks the folder",
       [](Fixture& x) {
         x.tree.InsertSeparator(x.at("A"));
         x.tree.SetCheck(x.at("A"), true);
         x.tree.SetCheck(x.at("B"), true);
         x.tree.SetCheck(x.at("f"), true);
       },
       "ROOT:2 A:2 a1:2 a2:2 :0 B:2 ..DUMY..:2 f:2"},
      {"a folder with only a separator below it keeps its own check",
       [](Fixture& x) {
         x.tree.InsertSeparator(x.at("a1"));
         x.tree.SetCheck(x.at("a1"), true);
       },
       "ROOT:3 A:3 a1:2 :0 a2:1 B:1 ..DUMY..:1 f:1"},
      {"a disabled item cannot be checked and shows greyed",
       [](Fixture& x) {
         x.tree.EnableItem(x.at("a1"), false);
         x.tree.SetCheck(x.at("a1"), true);
       },
       "ROOT:1 A:1 a1:5 a2:1 B:1 ..DUMY..:1 f:1"},
      {"checking a folder checks its disabled children too",
       [](Fixture& x) {
         x.tree.EnableItem(x.at("a1"), false);
         x.tree.SetCheck(x.at("A"), true);
       },
       "ROOT:3 A:2 a1:6 a2:2 B:1 ..DUMY..:1 f:1"},
      {"a disabled folder shows the mark of its children, greyed",
       [](Fixture& x) {
         x.tree.EnableItem(x.at("A"), false);
         x.tree.SetCheck(x.at("a1"), true);
       },
       "ROOT:3 A:7 a1:2 a2:1 B:1 ..DUMY..:1 f:1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture x;
    c.steps(x);
    EXPECT_EQ(x.marks(), c.marks);
    expectConsistent(x.tree);
  }
}

TEST(CheckTree, GetCheckFollowsTheCountsOfAFolder) {
  Fixture x;
  x.tree.SetCheck(x.at("a1"), true);
  EXPECT_FALSE(x.tree.GetCheck(x.at("A")));  // tri-state is not checked
  x.tree.SetCheck(x.at("a2"), true);
  EXPECT_TRUE(x.tree.GetCheck(x.at("A")));
  EXPECT_FALSE(x.tree.GetCheck(kTreeRoot));
  EXPECT_FALSE(x.tree.GetCheck(kNoItem));

  x.tree.SetHasCheckBoxes(false);
  EXPECT_FALSE(x.tree.GetCheck(x.at("a1")));
  x.tree.SetCheck(x.at("f"), true);  // no boxes: nothing happens
  x.tree.SetHasCheckBoxes(true);
  EXPECT_FALSE(x.tree.GetCheck(x.at("f")));
}

TEST(CheckTree, WithoutPropagationEachItemKeepsItsOwnCheck) {
  Fixture x;
  x.tree.SetSmartCheckBox(false);
  x.tree.SetCheck(x.at("A"), true);
  EXPECT_TRUE(x.tree.GetCheck(x.at("A")));
  EXPECT_FALSE(x.tree.GetCheck(x.at("a1")));
  EXPECT_EQ(x.marks(), "ROOT:1 A:2 a1:1 a2:1 B:1 ..DUMY..:1 f:1");
  expectConsistent(x.tree);  // the counts are kept all the same
}

// Inserts, deletes and checks in a random (seeded) order; the records must match the items
// below them after every step.
TEST(CheckTree, CountsStayExactThroughInsertsDeletesAndChecks) {
  CXHtmlTree tree;
  tree.SetSmartCheckBox(true);
  std::vector<TreeItem> items{tree.InsertItem(kTreeRoot, "ROOT", 2, 2)};
  std::mt19937 random(4);
  for (int step = 0; step < 600; ++step) {
    const TreeItem pick = items[random() % items.size()];
    if (!tree.contains(pick)) continue;
    switch (random() % 7) {
      case 0:
      case 1:
      case 2:
        items.push_back(tree.InsertItem(pick, "n" + std::to_string(step), 0, 0));
        break;
      case 3:
        items.push_back(tree.InsertSeparator(pick));
        break;
      case 4:
        if (pick != items.front()) tree.DeleteItem(pick);
        break;
      case 5:
        tree.SetCheck(pick, !tree.GetCheck(pick));
        break;
      case 6:
        tree.EnableItem(pick, !tree.isEnabled(pick));
        break;
    }
    expectConsistent(tree);
    if (HasFailure()) FAIL() << "at step " << step;
  }
}

struct Recorder : TreeObserver {
  std::vector<std::pair<TreeItem, bool>> checks;
  std::vector<std::pair<TreeItem, bool>> expansions;
  void checkChanged(TreeItem item, bool checked) override { checks.emplace_back(item, checked); }
  void expandChanged(TreeItem item, bool expanded) override {
    expansions.emplace_back(item, expanded);
  }
};

TEST(CheckTree, TellsOfEveryCheckThatReachedAnItem) {
  Fixture x;
  Recorder r;
  x.tree.addObserver(&r);
  const TreeItem sep = x.tree.InsertSeparator(x.at("A"));
  x.tree.EnableItem(x.at("a2"), false);

  x.tree.SetCheck(x.at("a1"), true);
  x.tree.SetCheck(x.at("a1"), true);  // no change, still told
  x.tree.SetCheck(x.at("a2"), true);  // disabled
  x.tree.SetCheck(sep, true);         // separator
  x.tree.SetCheck(kTreeRoot, true);
  x.tree.SetCheck(12345, true);  // no such item
  using Event = std::pair<TreeItem, bool>;
  EXPECT_EQ(r.checks, (std::vector<Event>{{x.at("a1"), true}, {x.at("a1"), true}}));
  x.tree.removeObserver(&r);
}

TEST(CheckTree, ExpandRecordsTheStateAndTellsOfChanges) {
  Fixture x;
  Recorder r;
  x.tree.addObserver(&r);
  const TreeItem a = x.at("A");
  EXPECT_TRUE(x.tree.Expand(a, TreeExpand::expand));
  EXPECT_TRUE(x.tree.Expand(a, TreeExpand::expand));
  EXPECT_TRUE(x.tree.record(a)->expanded);
  EXPECT_TRUE(x.tree.record(a)->hasBeenExpanded);
  EXPECT_TRUE(x.tree.Expand(a, TreeExpand::toggle));
  EXPECT_FALSE(x.tree.record(a)->expanded);
  EXPECT_TRUE(x.tree.record(a)->hasBeenExpanded);
  EXPECT_FALSE(x.tree.Expand(kNoItem, TreeExpand::expand));
  using Event = std::pair<TreeItem, bool>;
  EXPECT_EQ(r.expansions, (std::vector<Event>{{a, true}, {a, false}}));
  x.tree.removeObserver(&r);
}

TEST(CheckTree, ItemsCarryTextDataIconAndColour) {
  Fixture x;
  const TreeItem a1 = x.at("a1");
  EXPECT_TRUE(x.tree.SetItemData(a1, 0xfeedULL));
  EXPECT_EQ(x.tree.GetItemData(a1), 0xfeedULL);
  EXPECT_EQ(x.tree.GetItemImage(a1), 2);
  EXPECT_EQ(x.tree.record(a1)->textColour, kDefaultColour);
  x.tree.MarkDeleted(a1);
  EXPECT_EQ(x.tree.record(a1)->textColour, rgb(255, 0, 0));
  EXPECT_EQ(x.tree.GetParentItem(a1), x.at("A"));
  EXPECT_EQ(x.tree.GetParentItem(x.at("ROOT")), kNoItem);
  EXPECT_EQ(x.tree.GetRootItem(), x.at("ROOT"));
  EXPECT_EQ(x.tree.GetNextSiblingItem(a1), x.at("a2"));
  EXPECT_EQ(x.tree.GetNextSiblingItem(x.at("a2")), kNoItem);
  EXPECT_TRUE(x.tree.ItemHasChildren(x.at("B")));
  EXPECT_FALSE(x.tree.ItemHasChildren(a1));
}

TEST(CheckTree, DeletedHandlesFindNothing) {
  Fixture x;
  const TreeItem a = x.at("A");
  const TreeItem a1 = x.at("a1");
  EXPECT_TRUE(x.tree.DeleteItem(a));
  EXPECT_FALSE(x.tree.DeleteItem(a1));  // went with its folder
  EXPECT_EQ(x.tree.InsertItem(a, "x", 0, 0), kNoItem);
  EXPECT_EQ(x.tree.GetItemText(a1), "");
  EXPECT_EQ(x.tree.GetItemImage(a1), -1);

  x.tree.DeleteAllItems();
  EXPECT_EQ(x.tree.itemCount(), 0u);
  EXPECT_EQ(x.tree.GetRootItem(), kNoItem);
  // New items get new handles: an old handle does not reach them.
  const TreeItem fresh = x.tree.InsertItem(kTreeRoot, "ROOT", 2, 2);
  for (const auto& [name, old] : x.items) EXPECT_NE(old, fresh) << name;
  x.tree.SetCheck(x.at("ROOT"), true);
  EXPECT_FALSE(x.tree.GetCheck(fresh));
}

// A folder of 100,000 files: appends, the sibling walk and a check of the folder stay linear
// (a walk over the siblings per insert would make this test crawl).
TEST(CheckTree, HundredThousandChildrenUnderOneFolder) {
  constexpr int kChildren = 100'000;
  CXHtmlTree tree;
  tree.SetSmartCheckBox(true);
  const TreeItem top = tree.InsertItem(kTreeRoot, "ROOT", 2, 2);
  const TreeItem folder = tree.InsertItem(top, "big", 2, 2);
  for (int i = 0; i < kChildren; ++i) tree.InsertItem(folder, "f", 0, 0);

  int walked = 0;
  for (TreeItem c = tree.GetChildItem(folder); c != kNoItem; c = tree.GetNextSiblingItem(c)) {
    ++walked;
  }
  EXPECT_EQ(walked, kChildren);
  EXPECT_EQ(tree.record(top)->descendantCount, kChildren + 1);

  tree.SetCheck(folder, true);
  EXPECT_EQ(tree.GetStateImage(top), kChecked);
  const TreeItem last = tree.childAt(folder, kChildren - 1);
  EXPECT_EQ(tree.rowOf(last), kChildren - 1);
  tree.SetCheck(last, false);
  EXPECT_EQ(tree.GetStateImage(folder), kTriState);
  EXPECT_EQ(tree.record(top)->checkedCount, kChildren - 1);

  EXPECT_TRUE(tree.DeleteItem(folder));
  EXPECT_EQ(tree.itemCount(), 1u);
  EXPECT_EQ(tree.record(top)->descendantCount, 0);
  EXPECT_EQ(tree.record(top)->checkedCount, 0);
}

}  // namespace
}  // namespace talvix
