#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "CTalvixApp.h"
#include "CheckListView.h"
#include "CheckTreeModel.h"
#include "CheckTreeView.h"
#include "DriveParsingModes.h"
#include "ParceModeNtfsDlg.h"
#include "PopulateDriveDlg.h"
#include "ScriptedServices.h"
#include "VhdInputDialog.h"
#include "VolumeScanDlg.h"

using namespace talvix;
using namespace talvix::gui;
using namespace talvix::gui::test;

namespace {

const QString kSample = QStringLiteral(TALVIX_SOURCE_ROOT "/examples/sample.vmdk");
constexpr int kScanTimeout = 120000;

// The wizard on the sample disk, driven up to the recovery mode page.
struct Wizard {
  QTemporaryDir lockDir;
  ScriptedPrompter prompter;
  ScriptedDialogs dialogs;
  std::unique_ptr<CTalvixApp> app;

  Wizard() {
    app = std::make_unique<CTalvixApp>(
        CTalvixApp::Options{&prompter, &dialogs, [] {},
                            (lockDir.path() + QStringLiteral("/instance.lock")).toStdString()});
    app->start();
  }
  template <typename P>
  P* page() const {
    return qobject_cast<P*>(app->window()->currentPage());
  }
  // The volume page's row `row` chosen, the recovery mode page shown.
  ParceModeNtfsDlg* toModes(int row = 0) {
    dialogs.files.push_back(kSample);
    auto* first = page<VhdInputDialog>();
    first->browse->click();
    first->nextButton()->click();
    page<DriveParsingModes>()->nextButton()->click();
    auto* volumes = page<PopulateDriveDlg>();
    volumes->list->selectRow(row);
    emit volumes->list->cellClicked(row, 0);
    volumes->nextButton()->click();
    return page<ParceModeNtfsDlg>();
  }
  VolumeScanDlg* toBrowser(bool deep = false) {
    auto* modes = toModes();
    if (deep) modes->deep->click();
    modes->nextButton()->click();
    return page<VolumeScanDlg>();
  }
};

void screenshot(QWidget* page, const QString& name) {
  QDir().mkpath(QStringLiteral(TALVIX_SCREENSHOT_DIR));
  QVERIFY(page->window()->grab().save(QStringLiteral(TALVIX_SCREENSHOT_DIR "/") + name));
}

QStringList childTexts(const CXHtmlTree& tree, TreeItem parent) {
  QStringList out;
  for (TreeItem c = tree.GetChildItem(parent); c != kNoItem; c = tree.GetNextSiblingItem(c))
    out << QString::fromStdString(tree.GetItemText(c));
  return out;
}

// The item at a '/'-separated path of texts below the top item ("" is the top item).
TreeItem itemAt(const CXHtmlTree& tree, const QString& path) {
  TreeItem item = tree.GetRootItem();
  for (const QString& name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    TreeItem c = tree.GetChildItem(item);
    while (c != kNoItem && QString::fromStdString(tree.GetItemText(c)) != name)
      c = tree.GetNextSiblingItem(c);
    if (c == kNoItem) return kNoItem;
    item = c;
  }
  return item;
}

QPoint labelPoint(VolumeScanDlg* page, TreeItem item) {
  const QModelIndex index = page->treeView->treeModel()->indexOf(item);
  page->treeView->scrollTo(index);
  return page->treeView->labelRect(index).center();
}
void clickLabel(VolumeScanDlg* page, TreeItem item) {
  QTest::mouseClick(page->treeView->viewport(), Qt::LeftButton, {}, labelPoint(page, item));
}
void doubleClick(VolumeScanDlg* page, TreeItem item) {
  QTest::mouseDClick(page->treeView->viewport(), Qt::LeftButton, {}, labelPoint(page, item));
}
// As the expand button does.
void expand(VolumeScanDlg* page, TreeItem item) {
  page->treeView->expand(page->treeView->treeModel()->indexOf(item));
}
void select(VolumeScanDlg* page, TreeItem item) {
  page->treeView->setCurrentIndex(page->treeView->treeModel()->indexOf(item));
}

QStringList row(VolumeScanDlg* page, int r) {
  QStringList texts;
  for (int c = 0; c < kFileListColumnCount; ++c)
    texts << QString::fromStdString(page->fileList().GetItemText(r, c));
  return texts;
}
QStringList column0(VolumeScanDlg* page) {
  QStringList names;
  for (int r = 0; r < page->fileList().GetItemCount(); ++r)
    names << QString::fromStdString(page->fileList().GetItemText(r, 0));
  return names;
}

QString sha256(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("(missing)");
  return QString::fromLatin1(
      QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
}

bool red(VolumeScanDlg* page, TreeItem item) {
  return page->tree().record(item)->textColour == kDeletedColour;
}

// Every file of the sample's NTFS volume was written at 2026-12-11 00:13:29 UTC.
const qint64 kSampleTime =
    QDateTime(QDate(2026, 12, 11), QTime(0, 13, 29), Qt::UTC).toSecsSinceEpoch();
const QString kSampleTimeText = QStringLiteral("12/11/2026  12:13 AM");

}  // namespace

class VolumeScanDlgTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void standardScanBrowseAndSave();
  void search();
  void deepScan();
  void stopDuringTheScanStillEndsIt();
  void leavingWhileTheScanRuns();
  void pagesThatStartNoScan();
};

void VolumeScanDlgTest::initTestCase() {
  // The list shows local times.
  qputenv("TZ", "UTC");
  tzset();
}

void VolumeScanDlgTest::standardScanBrowseAndSave() {
  Wizard w;
  auto* page = w.toBrowser();
  QVERIFY(page);
  QCOMPARE(page->recoveryMode, 1);
  QVERIFY(page->pageBusy);
  QVERIFY(!page->backButton()->isEnabled());
  QVERIFY(!page->stopButton()->isHidden() && !page->progressBar()->isHidden());
  QVERIFY(page->nextButton()->isHidden());
  QCOMPARE(page->statusText(), QStringLiteral("ntfs partition selected...."));
  QCOMPARE(page->volumeData->text(), QStringLiteral("0"));  // the volume's row label
  page->save->click();
  QCOMPARE(w.prompter.last(), QStringLiteral("Please wait for other process to complete"));

  QTRY_VERIFY_WITH_TIMEOUT(!page->pageBusy, kScanTimeout);
  QCOMPARE(w.prompter.last(), QStringLiteral("Scanning process completed..."));
  QCOMPARE(w.prompter.prompts.back().caption, Caption::applicationTitle);
  QCOMPARE(w.prompter.prompts.back().icon, MessageIcon::information);
  QCOMPARE(page->statusText(), QStringLiteral("Processing done..."));
  QVERIFY(page->backButton()->isEnabled());
  QVERIFY(page->stopButton()->isHidden() && page->progressBar()->isHidden() &&
          page->pauseButton()->isHidden());

  // The first level, with placeholders under the folders that have children.
  const CXHtmlTree& tree = page->tree();
  QCOMPARE(childTexts(tree, kTreeRoot), QStringList{"ROOT"});
  const QStringList firstLevel{
      "$MFTMirr",   "$LogFile",         "$Volume",    "$AttrDef",         "$Bitmap",
      "$Boot",      "$BadClus",         "$Secure",    "$UpCase",          "$Extend",
      "Compressed", "Documents",        "Fragmented", "Old Projects",     "Pictures",
      "Sparse",     "Ünïcødé – 日本語", "README.txt", "deleted-note.txt", "ORPHAN_ENTRY"};
  QCOMPARE(childTexts(tree, itemAt(tree, "")), firstLevel);
  const TreeItem documents = itemAt(tree, "Documents");
  QCOMPARE(childTexts(tree, documents), QStringList{"..DUMY.."});
  QVERIFY(!tree.ItemHasChildren(itemAt(tree, "README.txt")));
  QVERIFY(red(page, itemAt(tree, "Old Projects")) && red(page, itemAt(tree, "deleted-note.txt")));
  QVERIFY(!red(page, documents));

  // The expand button fills a folder once.
  expand(page, documents);
  QCOMPARE(childTexts(tree, documents), (QStringList{"Reports", "letter.txt"}));
  QVERIFY(page->treeView->isExpanded(page->treeView->treeModel()->indexOf(documents)));
  QCOMPARE(childTexts(tree, itemAt(tree, "Documents/Reports")), QStringList{"..DUMY.."});
  const std::size_t items = tree.itemCount();
  page->treeView->collapse(page->treeView->treeModel()->indexOf(documents));
  expand(page, documents);
  QCOMPARE(tree.itemCount(), items);
  // ...and shows deleted entries in the normal colour.
  expand(page, itemAt(tree, "Old Projects"));
  QCOMPARE(childTexts(tree, itemAt(tree, "Old Projects")), (QStringList{"plan.txt", "data.bin"}));
  QVERIFY(!red(page, itemAt(tree, "Old Projects/plan.txt")));

  // A click on a folder's label fills it and lists its files.
  clickLabel(page, itemAt(tree, "Documents/Reports"));
  const TreeItem year = itemAt(tree, "Documents/Reports/2023");
  clickLabel(page, year);
  QCOMPARE(childTexts(tree, year), (QStringList{"summary.txt", "annual-report.bin"}));
  QCOMPARE(page->fileList().GetItemCount(), 2);
  QCOMPARE(row(page, 0), (QStringList{"summary.txt", kSampleTimeText, kSampleTimeText,
                                      kSampleTimeText, "84 Bytes", "-A"}));
  QCOMPARE(row(page, 1), (QStringList{"annual-report.bin", kSampleTimeText, kSampleTimeText,
                                      kSampleTimeText, "40.02 KB", "-A"}));
  QCOMPARE(page->fileList().GetItemData(1),
           itemAt(tree, "Documents/Reports/2023/annual-report.bin"));
  const TreeItem pictures = itemAt(tree, "Pictures");
  clickLabel(page, pictures);
  QCOMPARE(column0(page), (QStringList{"photo-0001.bin", "deleted-photo.bin"}));
  QVERIFY(red(page, itemAt(tree, "Pictures/deleted-photo.bin")));
  QVERIFY(!red(page, itemAt(tree, "Pictures/photo-0001.bin")));
  // A file alone.
  clickLabel(page, itemAt(tree, "README.txt"));
  QCOMPARE(row(page, 0), (QStringList{"README.txt", kSampleTimeText, kSampleTimeText,
                                      kSampleTimeText, "60 Bytes", "-A"}));
  QCOMPARE(page->fileList().GetItemCount(), 1);

  // A folder checked before it is filled gives its children its check.
  const TreeItem fragmented = itemAt(tree, "Fragmented");
  page->tree().SetCheck(fragmented, true);
  clickLabel(page, fragmented);
  QCOMPARE(childTexts(tree, fragmented), (QStringList{"interleaved-a.bin", "interleaved-b.bin"}));
  QVERIFY(tree.GetCheck(itemAt(tree, "Fragmented/interleaved-a.bin")));
  QVERIFY(tree.GetCheck(itemAt(tree, "Fragmented/interleaved-b.bin")));
  QVERIFY(tree.GetCheck(fragmented));
  // A row's box carries its new state to its tree item (rows start unchecked).
  page->fileList().clickRowCheck(0);
  QVERIFY(tree.GetCheck(itemAt(tree, "Fragmented/interleaved-a.bin")));
  page->fileList().clickRowCheck(0);
  QVERIFY(!tree.GetCheck(itemAt(tree, "Fragmented/interleaved-a.bin")));
  QCOMPARE(tree.GetStateImage(fragmented), int{kTriState});

  // A double click on a folder lists its files by name only.
  doubleClick(page, year);
  QCOMPARE(column0(page), (QStringList{"summary.txt", "annual-report.bin"}));
  QCOMPARE(row(page, 0).mid(1), QStringList(5, QString()));
  clickLabel(page, year);
  select(page, year);
  screenshot(page, QStringLiteral("7-VolumeScanDlg.png"));

  // Save: an output folder first, then a folder to save.
  select(page, documents);
  page->save->click();
  QCOMPARE(w.prompter.last(), QStringLiteral("select output folder"));
  QCOMPARE(w.prompter.prompts.back().caption, Caption::programName);
  QTemporaryDir out;
  w.dialogs.folders << out.path();
  page->chooseOutputFolder->click();
  QCOMPARE(w.dialogs.folderTitles, QStringList{"Please choose a folder."});
  QCOMPARE(page->outputFolder->text(), out.path());
  const qsizetype asked = w.prompter.prompts.size();
  select(page, itemAt(tree, "README.txt"));
  page->save->click();
  QCOMPARE(w.prompter.prompts.size(), asked);  // a file is not saved by Save

  // A Stop that came as the scan ended must not keep Save from writing.
  page->stopButton()->click();
  QCOMPARE(page->statusText(),
           QStringLiteral("stop button pressed.Please wait for the process to be stopped."));
  select(page, documents);
  w.prompter.answers = {true};
  page->save->click();
  QCOMPARE(w.prompter.texts().mid(asked),
           (QStringList{"number of files found inside this folder = 3 .do u want to continue "
                        "dumping these files..?",
                        "Saving process done"}));
  QVERIFY(!page->stopPressed);
  struct Saved {
    const char* path;
    const char* sha256;
  };
  for (const Saved& f :
       {Saved{"letter.txt", "31d7da2ff63d1202849f6874c6a7a55dd52ade8e81e2f6c0011fe80d8754e1e4"},
        Saved{"letter.txt:Zone.Identifier",
              "eacd09517ce90d34ba562171d15ac40d302f0e691b439f91be1b6406e25f5913"},
        Saved{"Reports/2023/summary.txt",
              "6398e49678215e5e9f95038e737ba648081a152ff3c7612fa2f023c85a514a04"},
        Saved{"Reports/2023/annual-report.bin",
              "f0affa1d0a2a9c8718a95b52d452b80d616134f38800baae94c8cb7d511ab7fc"}}) {
    const QString path = out.filePath(QString::fromUtf8(f.path));
    QCOMPARE(sha256(path), QString::fromLatin1(f.sha256));
    QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), kSampleTime);
  }
  QCOMPARE(QFileInfo(out.filePath("Reports/2023")).lastModified().toSecsSinceEpoch(), kSampleTime);

  // With the top item selected, Save writes the whole volume.
  QTemporaryDir whole;
  page->outputFolder->setText(whole.path());
  select(page, itemAt(tree, ""));
  w.prompter.answers = {true};
  page->save->click();
  QCOMPARE(w.prompter.last(), QStringLiteral("Saving process done"));
  QCOMPARE(sha256(whole.filePath("Old Projects/plan.txt")),
           QStringLiteral("b053d1dde288504ee6c10d1040e0ffaca9a39f2f9a1be17ab205fac57b2b967b"));
  QCOMPARE(sha256(whole.filePath("Ünïcødé – 日本語/Grüße.txt")),
           QStringLiteral("3cc6826a0bb24ba970e8cdfed6fa427a208d753da2c0e9b601d4a287075d7f95"));
  QVERIFY(QFileInfo(whole.filePath("ORPHAN_ENTRY")).isDir());

  // Quick save: a double click on a file; without an output folder the user is asked for one.
  QTemporaryDir quick;
  page->outputFolder->clear();
  w.dialogs.folders << QString() << quick.path();
  doubleClick(page, itemAt(tree, "deleted-note.txt"));
  QVERIFY(QDir(quick.path()).isEmpty());
  QVERIFY(page->outputFolder->text().isEmpty());
  doubleClick(page, itemAt(tree, "deleted-note.txt"));
  QCOMPARE(page->outputFolder->text(), quick.path());
  QCOMPARE(sha256(quick.filePath("deleted-note.txt")),
           QStringLiteral("3f6bfc44b178663f459de7c9a4e186eaf708c9e4b537ddf6f45353078f7a5c69"));
  QCOMPARE(w.dialogs.folderTitles.size(), 3);
  QCOMPARE(w.prompter.last(), QStringLiteral("Saving process done"));
  // A file that cannot be written is not passed over in silence.
  page->outputFolder->setText(quick.filePath("no-such-folder"));
  doubleClick(page, itemAt(tree, "README.txt"));
  QCOMPARE(w.prompter.last(),
           QStringLiteral("The file could not be written into the output folder."));

  // Back leaves the browser for the recovery mode page.
  page->backButton()->click();
  QVERIFY(w.page<ParceModeNtfsDlg>());
}

void VolumeScanDlgTest::search() {
  Wizard w;
  auto* page = w.toBrowser();
  page->searchText->setText(QStringLiteral("txt"));
  page->search->click();
  QCOMPARE(w.prompter.last(), QStringLiteral("Please wait for other process to complete"));
  QTRY_VERIFY_WITH_TIMEOUT(!page->pageBusy, kScanTimeout);
  const CXHtmlTree& tree = page->tree();

  // Names matched anywhere, letter case ignored, in folders never opened in the tree.
  page->searchText->setText(QStringLiteral("^SUMMARY|grüße|note"));
  page->search->click();
  // Held in its first folder's walk: the tree is drawn in the search colours and nothing that
  // would read the volume beside the walk, or leave the page, can be used.
  page->pauseButton()->click();
  QTRY_VERIFY_WITH_TIMEOUT(page->treeView->searchLook(), kScanTimeout);
  QVERIFY(!page->treeView->isEnabled() && !page->save->isEnabled() && !page->search->isEnabled() &&
          !page->backButton()->isEnabled());
  QVERIFY(!page->resumeButton()->isHidden() && !page->progressBar()->isHidden());
  page->resumeButton()->click();
  QTRY_VERIFY_WITH_TIMEOUT(!page->workRunning(), kScanTimeout);
  QCOMPARE(w.prompter.last(), QStringLiteral("Searching Finished"));
  QCOMPARE(w.app->state.searchText, std::string("^SUMMARY|grüße|note"));
  QCOMPARE(column0(page),
           (QStringList{"ROOT\\DOCUMENTS\\REPORTS\\2023\\summary.txt",
                        "ROOT\\ÜNïCøDé – 日本語\\Grüße.txt", "ROOT\\deleted-note.txt"}));
  QCOMPARE(row(page, 0).mid(1),
           (QStringList{kSampleTimeText, kSampleTimeText, kSampleTimeText, "84 Bytes", "-A"}));
  QVERIFY(page->fileList().showsSearch());
  QCOMPARE(page->statusText(), QStringLiteral("searched file 3"));
  QVERIFY(page->treeView->isEnabled() && !page->treeView->searchLook());
  QVERIFY(page->save->isEnabled() && page->search->isEnabled() && page->backButton()->isEnabled());
  QVERIFY(page->progressBar()->isHidden());
  QCOMPARE(childTexts(tree, itemAt(tree, "Documents")), QStringList{"..DUMY.."});
  // A result's box leaves the tree alone.
  page->fileList().clickRowCheck(2);
  QVERIFY(!tree.GetCheck(itemAt(tree, "deleted-note.txt")));
  screenshot(page, QStringLiteral("9-VolumeScanDlg-search.png"));

  page->searchText->setText(QStringLiteral("*.txt"));
  page->search->click();
  QTRY_VERIFY_WITH_TIMEOUT(!page->workRunning(), kScanTimeout);
  QCOMPARE(w.prompter.last(),
           QStringLiteral(
               "such characters are not allowed for search.Try again with different pattern."));
  QCOMPARE(page->fileList().GetItemCount(), 0);
  QVERIFY(page->search->isEnabled() && page->treeView->isEnabled());

  // A click in the tree shows a folder again.
  clickLabel(page, itemAt(tree, "Pictures"));
  QVERIFY(!page->fileList().showsSearch());
  QCOMPARE(column0(page), (QStringList{"photo-0001.bin", "deleted-photo.bin"}));
}

void VolumeScanDlgTest::deepScan() {
  Wizard w;
  auto* page = w.toBrowser(true);
  QVERIFY(page);
  QCOMPARE(page->recoveryMode, 3);
  QTRY_VERIFY_WITH_TIMEOUT(!page->pageBusy, kScanTimeout);
  QCOMPARE(w.prompter.last(), QStringLiteral("Scanning process completed..."));
  const CXHtmlTree& tree = page->tree();
  // Deep mode finds records without their folders: everything hangs under "ORPHAN_ENTRY".
  QCOMPARE(childTexts(tree, itemAt(tree, "")), QStringList{"ORPHAN_ENTRY"});
  QCOMPARE(childTexts(tree, itemAt(tree, "ORPHAN_ENTRY")), QStringList{"..DUMY.."});
  clickLabel(page, itemAt(tree, "ORPHAN_ENTRY"));
  QVERIFY(childTexts(tree, itemAt(tree, "ORPHAN_ENTRY")).contains("Documents"));
  QVERIFY(column0(page).contains("$UpCase"));
  screenshot(page, QStringLiteral("8-VolumeScanDlg-deep.png"));
}

void VolumeScanDlgTest::stopDuringTheScanStillEndsIt() {
  Wizard w;
  auto* page = w.toBrowser();
  // The worker waits at its first call into the page until this thread serves it, so the
  // stop is seen before the $MFT is read.
  page->stopButton()->click();
  QCOMPARE(page->statusText(),
           QStringLiteral("stop button pressed.Please wait for the process to be stopped."));
  QVERIFY(page->stopPressed);
  QTRY_VERIFY_WITH_TIMEOUT(!page->pageBusy, kScanTimeout);
  QCOMPARE(w.prompter.last(), QStringLiteral("Scanning process completed..."));
  QCOMPARE(page->statusText(), QStringLiteral("Processing done..."));
  QVERIFY(page->backButton()->isEnabled() && page->stopButton()->isHidden());
  QCOMPARE(childTexts(page->tree(), itemAt(page->tree(), "")), QStringList{"ORPHAN_ENTRY"});
}

void VolumeScanDlgTest::leavingWhileTheScanRuns() {
  {
    // Closing the application ends the scan without its closing message.
    Wizard w;
    QVERIFY(w.toBrowser(true)->workRunning());
    w.prompter.answers = {true};
    w.app->window()->close();
    QCOMPARE(w.prompter.last(), QStringLiteral("Do you want to Close Application ?"));
    QVERIFY(!w.app->window()->isVisible());
  }
  // Taking the window down while the scan runs waits for the worker.
  Wizard w;
  QVERIFY(w.toBrowser(true)->workRunning());
}

void VolumeScanDlgTest::pagesThatStartNoScan() {
  Wizard w;
  auto* modes = w.toModes();
  // Advanced mode needs the damaged-volume search, which this version does not have.
  modes->advanced->click();
  modes->nextButton()->click();
  QVERIFY(w.prompter.last().contains(QStringLiteral("not available yet")));
  QCOMPARE(w.page<ParceModeNtfsDlg>(), modes);

  // A file system the browser does not know.
  modes->standard->click();
  const Volume chosen = modes->volume;
  modes->volume.fileSystem = "FAT12";
  modes->nextButton()->click();
  auto* page = w.page<VolumeScanDlg>();
  QVERIFY(page);
  QVERIFY(!page->workRunning());
  QCOMPARE(w.prompter.last(), QStringLiteral("not a valid drive."));
  QCOMPARE(w.prompter.prompts.back().caption, Caption::programName);
  QCOMPARE(page->statusText(), QStringLiteral("Not a valid Drive .Go back"));
  QVERIFY(page->backButton()->isEnabled());
  page->save->click();
  QCOMPARE(w.prompter.last(), QStringLiteral("Please wait for other process to complete"));
  page->backButton()->click();

  // No disk reader to scan with.
  modes->volume = chosen;
  w.app->state.dropDiskReader();
  modes->nextButton()->click();
  page = w.page<VolumeScanDlg>();
  QVERIFY(page && !page->workRunning());
  QCOMPARE(w.prompter.last(),
           QStringLiteral("Please Restart the program to rebegin necessary initialisation..."));
  QCOMPARE(w.prompter.prompts.back().caption, Caption::programName);
  QVERIFY(page->backButton()->isEnabled());
  QCOMPARE(page->tree().itemCount(), 0u);
}

QTEST_MAIN(VolumeScanDlgTest)
#include "VolumeScanDlgTest.moc"
