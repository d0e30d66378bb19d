#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <thread>

#include "CheckListView.h"
#include "CheckTreeModel.h"
#include "CheckTreeView.h"
#include "FileListModel.h"
#include "ItemIcons.h"
#include "UiThreadTree.h"
#include "browser/CheckList.h"
#include "browser/CheckTree.h"
#include "browser/FileIcons.h"

using namespace talvix;
using namespace talvix::gui;

namespace {

constexpr const char* kPlaceholder = "..DUMY..";

// ROOT with folder A (a1.txt, a2.jpg, a disabled d.txt) and folder B holding only the
// expansion placeholder; shown in a real view.
struct TreeWindow {
  FileIconIndex iconIndex;
  ItemIcons icons{iconIndex};
  CXHtmlTree tree;
  CheckTreeModel model{tree, &icons};
  CheckTreeView view;
  TreeItem root, a, a1, a2, d, b;

  TreeWindow() {
    tree.InitCheckTree();
    tree.SetSmartCheckBox(true);
    root = tree.InsertItem(kTreeRoot, "ROOT", FileIconIndex::kFolder, FileIconIndex::kFolder);
    a = tree.InsertItem(root, "A", FileIconIndex::kFolder, FileIconIndex::kFolder);
    a1 = file(a, "a1.txt");
    a2 = file(a, "a2.jpg");
    d = file(a, "d.txt");
    tree.EnableItem(d, false);
    b = tree.InsertItem(root, "B", FileIconIndex::kFolder, FileIconIndex::kFolder);
    tree.InsertItem(b, kPlaceholder, FileIconIndex::kPlaceholder, FileIconIndex::kPlaceholder);
    view.setTreeModel(&model);
    view.resize(400, 300);
    view.show();
    view.expand(model.indexOf(root));
    view.expand(model.indexOf(a));
  }
  TreeItem file(TreeItem parent, const char* name) {
    const int icon = iconIndex.iconForName(name);
    return tree.InsertItem(parent, name, icon, icon);
  }
  QModelIndex at(TreeItem item) const { return model.indexOf(item); }
  void click(QRect rect) { QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, rect.center()); }
};

}  // namespace

class ViewsTest : public QObject {
  Q_OBJECT

 private slots:
  void treeCheckBoxClickPropagatesAndShowsHot();
  void treeSwallowsClicksOnDisabledItemsAndSeparators();
  void treeLabelClickSelectsThenTells();
  void treeKeyboardChecksAndExpandsLazily();
  void treeLooks();
  void workerInsertsThroughTheUserInterfaceThread();
  void listHeaderClickChecksEveryRowButNoTreeItem();
  void listRowCheckClickReachesTheTreeUnlessSearchResults();
};

void ViewsTest::treeCheckBoxClickPropagatesAndShowsHot() {
  TreeWindow w;
  QSignalSpy checks(&w.model, &CheckTreeModel::itemCheckChanged);
  const QRect box = w.view.checkBoxRect(w.at(w.a1));
  QVERIFY(!box.isEmpty());
  QCOMPARE(w.view.hitTest(box.center()).flags, int(CheckTreeView::kOnStateIcon));

  w.click(box);
  QVERIFY(w.tree.GetCheck(w.a1));
  QCOMPARE(w.at(w.a).data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
  QCOMPARE(w.at(w.root).data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
  QCOMPARE(w.view.currentIndex(), w.at(w.a1));  // the click selects the item
  QCOMPARE(checks.count(), 1);
  QCOMPARE(checks.at(0).at(0).value<quint64>(), quint64(w.a1));
  QCOMPARE(w.view.shownStateImage(w.a1), kChecked + kHotOffset);

  // Leaving the box ends the hot look.
  QTest::mouseMove(w.view.viewport(), w.view.labelRect(w.at(w.a2)).center());
  QCOMPARE(w.view.shownStateImage(w.a1), int(kChecked));

  // Checking the folder checks every child, the disabled one too.
  w.click(w.view.checkBoxRect(w.at(w.a)));
  QCOMPARE(w.at(w.a).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QCOMPARE(w.at(w.d).data(CheckTreeModel::StateImageRole).toInt(), kChecked + kDisabledOffset);
  w.click(w.view.checkBoxRect(w.at(w.a)));
  QCOMPARE(w.at(w.a2).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
}

void ViewsTest::treeSwallowsClicksOnDisabledItemsAndSeparators() {
  TreeWindow w;
  const TreeItem sep = w.tree.InsertSeparator(w.a);
  QSignalSpy checks(&w.model, &CheckTreeModel::itemCheckChanged);
  QSignalSpy doubles(&w.view, &CheckTreeView::itemDoubleClicked);

  w.click(w.view.checkBoxRect(w.at(w.d)));
  QVERIFY(!w.tree.record(w.d)->checked);
  QVERIFY(w.view.currentIndex() != w.at(w.d));  // a disabled item is never selected

  QVERIFY(w.view.checkBoxRect(w.at(sep)).isEmpty());  // no box
  // Where a box would be: the start of the separator's row.
  const QRect row = w.view.visualRect(w.at(sep));
  QTest::mouseClick(w.view.viewport(), Qt::LeftButton, {}, row.topLeft() + QPoint(4, 4));
  QCOMPARE(checks.count(), 0);
  QCOMPARE(w.at(w.a).data(CheckTreeModel::StateImageRole).toInt(), int(kUnchecked));

  QTest::mouseDClick(w.view.viewport(), Qt::LeftButton, {}, w.view.labelRect(w.at(w.d)).center());
  QCOMPARE(doubles.count(), 0);
  QTest::mouseDClick(w.view.viewport(), Qt::LeftButton, {}, w.view.labelRect(w.at(w.a)).center());
  QCOMPARE(doubles.count(), 1);
  QCOMPARE(doubles.at(0).at(0).value<quint64>(), quint64(w.a));
}

void ViewsTest::treeLabelClickSelectsThenTells() {
  TreeWindow w;
  QSignalSpy labels(&w.view, &CheckTreeView::labelClicked);
  TreeItem selectedWhenTold = kNoItem;
  QObject::connect(&w.view, &CheckTreeView::labelClicked,
                   [&](int, quint64) { selectedWhenTold = w.model.itemOf(w.view.currentIndex()); });

  w.click(w.view.labelRect(w.at(w.a2)));
  QCOMPARE(labels.count(), 1);
  QCOMPARE(labels.at(0).at(0).toInt(), int(CheckTreeView::kOnLabel));
  QCOMPARE(labels.at(0).at(1).value<quint64>(), quint64(w.a2));
  QCOMPARE(selectedWhenTold, w.a2);

  // Not on the box, and not right of the text.
  w.click(w.view.checkBoxRect(w.at(w.a1)));
  const QRect label = w.view.labelRect(w.at(w.a1));
  QTest::mouseClick(w.view.viewport(), Qt::LeftButton, {},
                    QPoint(label.right() + 40, label.center().y()));
  QCOMPARE(labels.count(), 1);
}

void ViewsTest::treeKeyboardChecksAndExpandsLazily() {
  TreeWindow w;
  // The page's part: a folder is filled when it is first expanded.
  int fills = 0;
  QObject::connect(&w.view, &CheckTreeView::itemExpanded, [&](quint64 item, bool expanded) {
    const TreeItem first = w.tree.GetChildItem(item);
    if (!expanded || w.tree.GetItemText(first) != kPlaceholder) return;
    w.tree.DeleteItem(first);
    const TreeItem sub = w.tree.InsertItem(item, "sub", FileIconIndex::kFolder, 2);
    w.tree.InsertItem(sub, "deep.txt", 0, 0);
    ++fills;
  });

  w.view.setFocus();
  w.view.setCurrentIndex(w.at(w.a2));
  QTest::keyClick(&w.view, Qt::Key_Space);
  QVERIFY(w.tree.GetCheck(w.a2));
  QTest::keyClick(&w.view, Qt::Key_Space);
  QVERIFY(!w.tree.GetCheck(w.a2));

  w.view.setCurrentIndex(w.at(w.root));
  QTest::keyClick(&w.view, Qt::Key_Minus, Qt::KeypadModifier);
  QVERIFY(!w.view.isExpanded(w.at(w.root)));
  QVERIFY(!w.tree.record(w.root)->expanded);
  QTest::keyClick(&w.view, Qt::Key_Plus, Qt::KeypadModifier);
  QVERIFY(w.view.isExpanded(w.at(w.root)));
  QVERIFY(!w.view.isExpanded(w.at(w.b)));

  QTest::keyClick(&w.view, Qt::Key_Asterisk, Qt::KeypadModifier);
  QCOMPARE(fills, 1);
  const TreeItem sub = w.tree.GetChildItem(w.b);
  QCOMPARE(w.tree.GetItemText(sub), std::string("sub"));
  QVERIFY(w.view.isExpanded(w.at(w.b)));
  QVERIFY(w.view.isExpanded(w.at(sub)));  // filled, then expanded as well
  QVERIFY(w.tree.record(w.b)->hasBeenExpanded);

  // Down skips the disabled item.
  w.view.setCurrentIndex(w.at(w.a2));
  QTest::keyClick(&w.view, Qt::Key_Down);
  QCOMPARE(w.view.currentIndex(), w.at(w.b));
}

void ViewsTest::treeLooks() {
  TreeWindow w;
  QVERIFY(!w.at(w.a1).data(Qt::ForegroundRole).isValid());
  w.tree.MarkDeleted(w.a1);
  QCOMPARE(w.at(w.a1).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
  QVERIFY(!w.at(w.a).data(Qt::DecorationRole).value<QIcon>().isNull());  // folder icon

  // An expand through the tree reaches the view.
  w.tree.Expand(w.b, TreeExpand::expand);
  QVERIFY(w.view.isExpanded(w.at(w.b)));

  const QColor base = w.view.palette().color(QPalette::Base);
  w.view.setSearchLook(true);
  const QColor searching = w.view.palette().color(QPalette::Base);
  auto lowered = [](int c) { return c >= 10 ? c - 10 : c; };
  QCOMPARE(searching, QColor(lowered(base.red()), lowered(base.green()), lowered(base.blue())));
  QCOMPARE(w.view.palette().color(QPalette::Text),
           w.view.palette().color(QPalette::Disabled, QPalette::Text));
  w.view.setSearchLook(false);
  QCOMPARE(w.view.palette().color(QPalette::Base), base);
}

void ViewsTest::workerInsertsThroughTheUserInterfaceThread() {
  TreeWindow w;
  UiThreadTree bridge(w.tree, &w.view);
  std::atomic<bool> done{false};
  std::atomic<bool> onUiThread{false};
  QObject::connect(&w.model, &QAbstractItemModel::rowsInserted,
                   [&] { onUiThread = QThread::currentThread() == w.view.thread(); });
  constexpr int kFiles = 500;
  std::thread worker([&] {
    const TreeItem folder = bridge.InsertItem(w.b, "filled", FileIconIndex::kFolder, 2);
    for (int i = 0; i < kFiles; ++i) bridge.InsertItem(folder, "f.txt", 0, 0);
    bridge.SetCheck(folder, true);
    bridge.MarkDeleted(bridge.GetChildItem(folder));
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  worker.join();

  QVERIFY(onUiThread);
  const QModelIndex folder = w.model.index(1, 0, w.at(w.b));
  QCOMPARE(w.model.rowCount(folder), kFiles);
  QCOMPARE(folder.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QCOMPARE(w.model.index(0, 0, folder).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
  // B holds the placeholder (unchecked) and the checked folder.
  QCOMPARE(w.at(w.b).data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
}

namespace {

struct ListWindow {
  CXHtmlTree tree;
  CCheckListCtrl list;
  FileListModel model{list};
  CheckListView view;
  TreeItem folder, file1, file2;

  ListWindow() {
    tree.SetSmartCheckBox(true);
    folder = tree.InsertItem(kTreeRoot, "ROOT", 2, 2);
    file1 = tree.InsertItem(folder, "a.txt", 3, 3);
    file2 = tree.InsertItem(folder, "b.txt", 3, 3);
    list.setTree(&tree);
    view.setListModel(&model);
    list.appendRow(
        {"a.txt", "01/02/2020  10:00 AM", "01/02/2020 ", "01/02/2020  10:00 AM", "1.00 KB", "-A"},
        file1);
    list.appendRow({"b.txt", "", "", "", "0 Bytes", ""}, file2);
    view.resize(600, 300);
    view.show();
  }
  void clickHeader() {
    CheckHeaderView* header = view.checkHeader();
    const QPoint p(header->sectionViewportPosition(0) + header->sectionSize(0) / 2,
                   header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, p);
  }
  int headerState() const {
    return model.headerData(0, Qt::Horizontal, Qt::CheckStateRole).toInt();
  }
};

}  // namespace

void ViewsTest::listHeaderClickChecksEveryRowButNoTreeItem() {
  ListWindow w;
  QCOMPARE(w.model.headerData(5, Qt::Horizontal).toString(), QString("Attribute"));
  QCOMPARE(w.view.columnWidth(0), 80);
  QVERIFY(w.view.showGrid());
  QCOMPARE(w.view.selectionBehavior(), QAbstractItemView::SelectRows);
  QCOMPARE(w.headerState(), int(Qt::Unchecked));

  w.clickHeader();
  QCOMPARE(w.headerState(), int(Qt::Checked));
  QCOMPARE(w.model.index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QCOMPARE(w.model.index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QVERIFY(!w.tree.GetCheck(w.file1));
  QVERIFY(!w.tree.GetCheck(w.file2));

  w.clickHeader();
  QCOMPARE(w.headerState(), int(Qt::Unchecked));
  QCOMPARE(w.model.index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

  // Another section's click is no header-box click.
  CheckHeaderView* header = w.view.checkHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(4) + 5, header->height() / 2));
  QCOMPARE(w.headerState(), int(Qt::Unchecked));
}

void ViewsTest::listRowCheckClickReachesTheTreeUnlessSearchResults() {
  ListWindow w;
  QTest::mouseClick(w.view.viewport(), Qt::LeftButton, {}, w.view.checkBoxRect(0).center());
  QVERIFY(w.list.GetCheck(0));
  QVERIFY(w.tree.GetCheck(w.file1));
  QCOMPARE(w.headerState(), int(Qt::Unchecked));
  QTest::mouseClick(w.view.viewport(), Qt::LeftButton, {}, w.view.checkBoxRect(1).center());
  QVERIFY(w.tree.GetCheck(w.folder));
  QCOMPARE(w.headerState(), int(Qt::Checked));

  w.list.setShowsSearch(true);
  QTest::mouseClick(w.view.viewport(), Qt::LeftButton, {}, w.view.checkBoxRect(1).center());
  QVERIFY(!w.list.GetCheck(1));
  QVERIFY(w.tree.GetCheck(w.file2));
  QCOMPARE(w.headerState(), int(Qt::Unchecked));
}

QTEST_MAIN(ViewsTest)
#include "ViewsTest.moc"
