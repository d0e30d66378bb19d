#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FakeEntries.h"
#include "TestFiles.h"
#include "browser/BrowserTree.h"
#include "browser/CheckTree.h"

namespace talvix {
namespace {

using test::FakeEntries;

// A scanned volume as the browser page holds it after a parser's fill step: the top item and
// one item per first-level entry, deleted ones in red.
struct Browser {
  FakeEntries source;
  CXHtmlTree tree;
  CCheckListCtrl list;
  FileIconIndex icons;
  TreeItem top = kNoItem;

  Browser() {
    tree.InitCheckTree();
    tree.SetSmartCheckBox(true);
    list.setTree(&tree);
  }
  void fill() {
    top = tree.InsertItem(kTreeRoot, "ROOT", icons.folderIcon(), icons.folderIcon());
    for (EntryId e = source.firstTopLevel(); e != kNoEntry; e = source.nextSibling(e)) {
      const int icon = source.isFolder(e) ? icons.folderIcon() : icons.iconForName(source.name(e));
      const TreeItem item = tree.InsertItem(top, source.name(e), icon, icon);
      tree.SetItemData(item, e);
      if (source.deleted(e)) tree.MarkDeleted(item);
    }
  }
  BrowserTree browser(BrowsedFileSystem fs = BrowsedFileSystem::ntfs) {
    return BrowserTree(tree, source, icons, browseRules(fs));
  }
  TreeItem child(TreeItem parent, const std::string& text) const {
    for (TreeItem c = tree.GetChildItem(parent); c != kNoItem; c = tree.GetNextSiblingItem(c)) {
      if (tree.GetItemText(c) == text) return c;
    }
    return kNoItem;
  }
  std::vector<std::string> texts(TreeItem parent) const {
    std::vector<std::string> out;
    for (TreeItem c = tree.GetChildItem(parent); c != kNoItem; c = tree.GetNextSiblingItem(c)) {
      out.push_back(tree.GetItemText(c));
    }
    return out;
  }
  std::vector<std::string> rows(int column = 0) const {
    std::vector<std::string> out;
    for (int r = 0; r < list.GetItemCount(); ++r) out.push_back(list.GetItemText(r, column));
    return out;
  }
};

// ROOT: Docs (letter.txt, Sub (inner.txt), Blank, gone.txt deleted), Empty, readme.md.
struct Volume : Browser {
  EntryId docs, letter, sub, inner, blank, gone, empty, readme;
  Volume() {
    docs = source.folder(kNoEntry, "Docs");
    letter = source.file(docs, "letter.txt");
    sub = source.folder(docs, "Sub");
    inner = source.file(sub, "inner.txt");
    blank = source.folder(docs, "Blank");
    gone = source.file(docs, "gone.txt", "bye", true);
    empty = source.folder(kNoEntry, "Empty");
    readme = source.file(kNoEntry, "readme.md");
    fill();
  }
  TreeItem docsItem() const { return child(top, "Docs"); }
};

const std::vector<std::string> kDocsChildren{"letter.txt", "Sub", "Blank", "gone.txt"};

TEST(BrowserTree, PlaceholdersGoToFirstLevelFoldersWithChildren) {
  Volume v;
  v.browser().addExpandPlaceholders();
  const TreeItem placeholder = v.tree.GetChildItem(v.docsItem());
  EXPECT_EQ(v.texts(v.docsItem()), std::vector<std::string>{"..DUMY.."});
  EXPECT_EQ(v.tree.GetItemImage(placeholder), FileIconIndex::kPlaceholder);
  EXPECT_EQ(v.tree.GetItemData(placeholder), 0u);
  EXPECT_FALSE(v.tree.ItemHasChildren(v.child(v.top, "Empty")));
  EXPECT_FALSE(v.tree.ItemHasChildren(v.child(v.top, "readme.md")));
  // Neither the top item nor a placeholder stands for an entry (entry 0 is a real one).
  EXPECT_FALSE(v.browser().entryOf(v.top));
  EXPECT_FALSE(v.browser().entryOf(placeholder));
  EXPECT_EQ(v.browser().entryOf(v.docsItem()), v.docs);
}

TEST(BrowserTree, ExpandReplacesThePlaceholderOnce) {
  Volume v;
  BrowserTree b = v.browser();
  b.addExpandPlaceholders();
  b.expandItemChildren(v.docsItem(), v.list);
  EXPECT_EQ(v.texts(v.docsItem()), kDocsChildren);
  const TreeItem sub = v.child(v.docsItem(), "Sub");
  const TreeItem letter = v.child(v.docsItem(), "letter.txt");
  EXPECT_EQ(v.tree.GetItemData(sub), v.sub);
  EXPECT_EQ(v.tree.GetItemData(letter), v.letter);
  EXPECT_EQ(v.tree.GetItemImage(sub), v.icons.folderIcon());
  EXPECT_EQ(v.tree.GetItemImage(letter), v.icons.iconForName("x.txt"));
  // Deeper folders get their own placeholder; a folder without children none.
  EXPECT_EQ(v.texts(sub), std::vector<std::string>{"..DUMY.."});
  EXPECT_FALSE(v.tree.ItemHasChildren(v.child(v.docsItem(), "Blank")));
  // The expand button never shows deleted entries in red.
  EXPECT_EQ(v.tree.record(v.child(v.docsItem(), "gone.txt"))->textColour, kDefaultColour);

  const std::size_t items = v.tree.itemCount();
  b.expandItemChildren(v.docsItem(), v.list);
  b.showItemInList(v.docsItem(), v.list);
  b.doubleClickFolder(v.docsItem(), v.list);
  EXPECT_EQ(v.tree.itemCount(), items);
  b.expandItemChildren(sub, v.list);
  EXPECT_EQ(v.texts(sub), std::vector<std::string>{"inner.txt"});
}

TEST(BrowserTree, ChildrenTakeTheFolderCheckOnNtfsOnly) {
  for (const auto fs : {BrowsedFileSystem::ntfs, BrowsedFileSystem::fat32}) {
    SCOPED_TRACE(static_cast<int>(fs));
    Volume v;
    BrowserTree b = v.browser(fs);
    b.addExpandPlaceholders();
    v.tree.SetCheck(v.top, true);  // every item, Docs's placeholder too
    b.expandItemChildren(v.docsItem(), v.list);
    const bool ntfs = fs == BrowsedFileSystem::ntfs;
    for (TreeItem c = v.tree.GetChildItem(v.docsItem()); c != kNoItem;
         c = v.tree.GetNextSiblingItem(c)) {
      EXPECT_EQ(v.tree.GetCheck(c), ntfs) << v.tree.GetItemText(c);
    }
    // The new folder's placeholder follows its folder.
    EXPECT_EQ(v.tree.GetCheck(v.tree.GetChildItem(v.child(v.docsItem(), "Sub"))), ntfs);
    EXPECT_EQ(v.tree.GetCheck(v.docsItem()), ntfs);
    EXPECT_EQ(v.tree.GetStateImage(v.top), ntfs ? kChecked : kTriState);
  }
}

TEST(BrowserTree, OnlyTheExpandButtonStopsAtAnEmptyNtfsName) {
  struct Case {
    const char* how;
    std::vector<std::string> children;
  };
  const std::vector<std::string> all{"a.txt", "", "b.txt"};
  for (const Case& c : {Case{"expand", {"a.txt"}}, Case{"label", all}, Case{"double", all}}) {
    SCOPED_TRACE(c.how);
    Browser v;
    const EntryId folder = v.source.folder(kNoEntry, "F");
    for (const std::string& name : all) v.source.file(folder, name);
    v.fill();
    BrowserTree b = v.browser();
    b.addExpandPlaceholders();
    const TreeItem item = v.child(v.top, "F");
    if (std::string(c.how) == "expand") b.expandItemChildren(item, v.list);
    if (std::string(c.how) == "label") b.showItemInList(item, v.list);
    if (std::string(c.how) == "double") b.doubleClickFolder(item, v.list);
    EXPECT_EQ(v.texts(item), c.children);
  }
}

TEST(BrowserTree, LabelClickListsTheFilesOfAFolderOrOneFile) {
  Volume v;
  BrowserTree b = v.browser();
  b.addExpandPlaceholders();
  v.list.setShowsSearch(true);
  b.showItemInList(v.docsItem(), v.list);
  EXPECT_EQ(v.texts(v.docsItem()), kDocsChildren);
  EXPECT_FALSE(v.list.showsSearch());
  EXPECT_EQ(v.rows(), (std::vector<std::string>{"letter.txt", "gone.txt"}));
  const std::vector<std::string> row{"gone.txt",   "c gone.txt", "a gone.txt",
                                     "m gone.txt", "3 Bytes",    "-A"};
  for (int c = 0; c < kFileListColumnCount; ++c) {
    EXPECT_EQ(v.list.GetItemText(1, c), row[static_cast<std::size_t>(c)]);
  }
  const TreeItem gone = v.child(v.docsItem(), "gone.txt");
  EXPECT_EQ(v.list.GetItemData(1), gone);
  // A label click shows what it reveals of deleted entries in red.
  EXPECT_EQ(v.tree.record(gone)->textColour, kDeletedColour);
  EXPECT_EQ(v.tree.record(v.child(v.docsItem(), "letter.txt"))->textColour, kDefaultColour);
  // A row's box reaches its tree item.
  v.list.clickRowCheck(0);
  EXPECT_TRUE(v.tree.GetCheck(v.child(v.docsItem(), "letter.txt")));

  b.showItemInList(v.child(v.top, "readme.md"), v.list);
  EXPECT_EQ(v.rows(), std::vector<std::string>{"readme.md"});
  EXPECT_EQ(v.list.GetItemData(0), v.child(v.top, "readme.md"));

  // Nothing to show: the list stays as it was.
  for (const TreeItem item :
       {v.child(v.top, "Empty"), v.top, v.child(v.child(v.docsItem(), "Sub"), "..DUMY..")}) {
    b.showItemInList(item, v.list);
    EXPECT_EQ(v.rows(), std::vector<std::string>{"readme.md"});
  }
}

TEST(BrowserTree, ExpandEmptiesTheListWhereTheFileSystemDoes) {
  for (const auto fs : {BrowsedFileSystem::ntfs, BrowsedFileSystem::fat32, BrowsedFileSystem::exfat,
                        BrowsedFileSystem::ext}) {
    SCOPED_TRACE(static_cast<int>(fs));
    Volume v;
    BrowserTree b = v.browser(fs);
    b.addExpandPlaceholders();
    b.showItemInList(v.child(v.top, "readme.md"), v.list);
    b.expandItemChildren(v.docsItem(), v.list);
    const bool empties = fs == BrowsedFileSystem::fat32 || fs == BrowsedFileSystem::exfat;
    EXPECT_EQ(v.list.GetItemCount(), empties ? 0 : 1);
    // Expanding a filled folder again leaves the list alone.
    b.showItemInList(v.child(v.top, "readme.md"), v.list);
    b.expandItemChildren(v.docsItem(), v.list);
    EXPECT_EQ(v.list.GetItemCount(), 1);
  }
}

TEST(BrowserTree, DoubleClickListsNamesOnly) {
  Volume v;
  BrowserTree b = v.browser();
  b.addExpandPlaceholders();
  v.list.setShowsSearch(true);
  EXPECT_TRUE(b.doubleClickFolder(v.docsItem(), v.list));
  EXPECT_EQ(v.rows(), (std::vector<std::string>{"letter.txt", "gone.txt"}));
  EXPECT_EQ(v.rows(1), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(v.list.GetItemData(0), v.child(v.docsItem(), "letter.txt"));
  EXPECT_TRUE(v.list.showsSearch());
  EXPECT_EQ(v.tree.record(v.child(v.docsItem(), "gone.txt"))->textColour, kDefaultColour);
  // A file is not a folder: the page saves it instead.
  EXPECT_FALSE(b.doubleClickFolder(v.child(v.top, "readme.md"), v.list));
  EXPECT_FALSE(b.doubleClickFolder(v.top, v.list));
}

TEST(BrowserTree, SaveTargets) {
  Volume v;
  BrowserTree b = v.browser();
  b.addExpandPlaceholders();
  EXPECT_EQ(b.saveTarget(v.top), kNoEntry);
  EXPECT_EQ(b.saveTarget(v.docsItem()), v.docs);
  EXPECT_FALSE(b.saveTarget(v.child(v.top, "readme.md")));
  EXPECT_FALSE(b.saveTarget(v.tree.GetChildItem(v.docsItem())));  // the placeholder
  EXPECT_FALSE(b.saveTarget(kNoItem));
  const TreeItem stale = v.docsItem();
  v.tree.DeleteItem(stale);
  EXPECT_FALSE(b.saveTarget(stale));
}

TEST(BrowserTree, AChildChainThatLoopsIsInsertedOnce) {
  Browser v;
  const EntryId folder = v.source.folder(kNoEntry, "Loop");
  const EntryId a = v.source.file(folder, "a");
  const EntryId c = v.source.file(folder, "c");
  v.source.entries[c].next = a;
  v.fill();
  v.browser().showItemInList(v.child(v.top, "Loop"), v.list);
  EXPECT_EQ(v.texts(v.child(v.top, "Loop")), (std::vector<std::string>{"a", "c"}));
}

// Recycle-bin information files, as Windows writes them.
std::string utf16(const std::u16string& text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xff);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}
std::string le(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i, value >>= 8) out += static_cast<char>(value & 0xff);
  return out;
}
// Version 1: the path in a 520-byte field at byte 24; `length` pads (or cuts) the file.
std::string infoV1(const std::u16string& path, std::size_t length = 544) {
  std::string bytes = le(1, 8) + le(1234, 8) + le(0, 8) + utf16(path);
  bytes.resize(length, '\0');
  return bytes;
}
// Version 2: the path's length in UTF-16 units (its NUL included) at byte 24, the path at 28.
std::string infoV2(const std::u16string& path) {
  return le(2, 8) + le(1234, 8) + le(0, 8) + le(path.size() + 1, 4) + utf16(path) + le(0, 2);
}

std::optional<std::string> formerName(const std::string& bytes) {
  return recycleInfoFormerName(std::as_bytes(std::span(bytes.data(), bytes.size())));
}

TEST(RecycleInfo, FormerNameByLayoutVersion) {
  struct Case {
    const char* what;
    std::string bytes;
    std::optional<std::string> name;
  };
  const std::string v2 = infoV2(u"C:\\Users\\me\\Grüße.txt");
  const Case cases[] = {
      {"version 1", infoV1(u"D:\\old\\plan.doc"), "plan.doc"},
      {"version 2", v2, "Grüße.txt"},
      {"no folder", infoV1(u"plain.txt"), "plain.txt"},
      {"version 2 length past the end", le(2, 8) + le(0, 16) + le(500, 4) + utf16(u"C:\\x.txt"),
       "x.txt"},
      {"version 2 without a name", le(2, 8) + le(0, 16) + le(0, 4) + utf16(u"C:\\x.txt"), {}},
      {"path ends in a folder", infoV1(u"C:\\dir\\"), {}},
      {"too short", std::string(23, '\0'), {}},
      {"version 2 without its length", le(2, 8) + le(0, 16) + "\x01", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(formerName(c.bytes), c.name) << c.what;
}

TEST(RecycleBin, DataFilesGetTheirFormerNames) {
  Browser v;
  const EntryId bin = v.source.folder(kNoEntry, "$RECYCLE.BIN");
  const EntryId user = v.source.folder(bin, "S-1-5-21-1000");
  v.source.file(user, "$IAB12CD.txt", infoV2(u"C:\\Users\\me\\Desktop\\Grüße.txt"));
  const EntryId r1 = v.source.file(user, "$RAB12CD.txt", "data");
  v.source.file(user, "$I0001.doc", infoV1(u"D:\\old\\plan.doc", 2047));
  const EntryId r2 = v.source.folder(user, "$R0001.doc");  // a recycled folder
  v.source.file(user, "$IBIG.bin", infoV1(u"C:\\big.bin", 2048));
  const EntryId r3 = v.source.file(user, "$RBIG.bin");
  v.source.file(user, "$IGONE.txt", infoV1(u"C:\\gone.txt"));  // its data file is missing
  // Only the exact folder names count.
  const EntryId other = v.source.folder(kNoEntry, "$Recycle.Bin");
  const EntryId otherUser = v.source.folder(other, "S-1-5-21-1001");
  v.source.file(otherUser, "$IZZ.txt", infoV1(u"C:\\zz.txt"));
  const EntryId r4 = v.source.file(otherUser, "$RZZ.txt");
  v.fill();
  BrowserTree b = v.browser();
  b.addExpandPlaceholders();
  // Items shown before the renaming keep their texts.
  const TreeItem binItem = v.child(v.top, "$RECYCLE.BIN");
  b.expandItemChildren(binItem, v.list);
  const TreeItem userItem = v.child(binItem, "S-1-5-21-1000");
  b.expandItemChildren(userItem, v.list);

  test::TempDir temp;
  EXPECT_EQ(b.restoreRecycleBinNames(temp.path()), 2u);
  EXPECT_EQ(v.source.name(r1), "Grüße.txt");
  EXPECT_EQ(v.source.name(r2), "plan.doc");
  EXPECT_EQ(v.source.name(r3), "$RBIG.bin");
  EXPECT_EQ(v.source.name(r4), "$RZZ.txt");
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));

  EXPECT_NE(v.child(userItem, "$RAB12CD.txt"), kNoItem);
  b.showItemInList(userItem, v.list);
  EXPECT_EQ(v.rows(), (std::vector<std::string>{"$IAB12CD.txt", "Grüße.txt", "$I0001.doc",
                                                "$IBIG.bin", "$RBIG.bin", "$IGONE.txt"}));
}

TEST(RecycleBin, OnlyNtfsKeepsPerUserFolders) {
  Browser v;
  const EntryId bin = v.source.folder(kNoEntry, "$RECYCLE.BIN");
  const EntryId user = v.source.folder(bin, "S-1-5-21-1000");
  v.source.file(user, "$I1.txt", infoV1(u"C:\\one.txt"));
  const EntryId data = v.source.file(user, "$R1.txt");
  v.fill();
  test::TempDir temp;
  EXPECT_EQ(v.browser(BrowsedFileSystem::ext).restoreRecycleBinNames(temp.path()), 0u);
  EXPECT_EQ(v.source.saves, 0);
  EXPECT_EQ(v.browser(BrowsedFileSystem::ntfs).restoreRecycleBinNames(temp.path()), 1u);
  EXPECT_EQ(v.source.name(data), "one.txt");
}

}  // namespace
}  // namespace talvix
