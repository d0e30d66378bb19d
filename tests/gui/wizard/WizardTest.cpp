#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "AboutBox.h"
#include "CTalvixApp.h"
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

const QString kFixtures = QStringLiteral(TALVIX_FIXTURE_DIR);
QString disk(const char* name) {
  return kFixtures + QStringLiteral("/disks/") + name;
}
QString partitioned(const char* name) {
  return kFixtures + QStringLiteral("/partitioned/") + name;
}

// One running wizard with its scripted prompts, choosers and help opener.
struct Wizard {
  QTemporaryDir lockDir;
  ScriptedPrompter prompter;
  ScriptedDialogs dialogs;
  int helpOpened = 0;
  std::unique_ptr<CTalvixApp> app;

  Wizard() {
    app = std::make_unique<CTalvixApp>(
        CTalvixApp::Options{&prompter, &dialogs, [this] { ++helpOpened; },
                            (lockDir.path() + QStringLiteral("/instance.lock")).toStdString()});
    app->start();
  }
  template <typename P>
  P* page() const {
    return qobject_cast<P*>(app->window()->currentPage());
  }
  VhdInputDialog* choose(const QString& path) {
    auto* first = page<VhdInputDialog>();
    dialogs.files.push_back(path);
    first->browse->click();
    return first;
  }
  DriveParsingModes* toScanModes(const QString& path) {
    choose(path)->nextButton()->click();
    return page<DriveParsingModes>();
  }
  PopulateDriveDlg* toVolumes(const QString& path, bool advanced, bool doNotSkip = false) {
    auto* modes = toScanModes(path);
    if (advanced) {
      modes->advanceScan->click();
      if (doNotSkip) modes->doNotSkipVolumeSize->click();
    }
    modes->nextButton()->click();
    return page<PopulateDriveDlg>();
  }
};

void screenshot(QWidget* page, const QString& name) {
  QDir().mkpath(QStringLiteral(TALVIX_SCREENSHOT_DIR));
  QVERIFY(page->window()->grab().save(QStringLiteral(TALVIX_SCREENSHOT_DIR "/") + name));
}

QStringList rowTexts(QTableWidget* list, int row, int firstColumn = 0) {
  QStringList texts;
  for (int c = firstColumn; c < 4; ++c) texts << list->item(row, c)->text();
  return texts;
}

// A listing of tests/fixtures/volumes, one row per line, tab-separated.
std::vector<QStringList> expectedRows(const std::string& name) {
  std::ifstream in(std::string(TALVIX_SOURCE_ROOT "/tests/fixtures/volumes/") + name);
  std::vector<QStringList> rows;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) rows.push_back(QString::fromStdString(line).split(QLatin1Char('\t')));
  return rows;
}

std::string fileBytes(const QString& path, std::size_t limit = std::string::npos) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return limit == std::string::npos ? bytes : bytes.substr(0, limit);
}

void selectRow(QTableWidget* list, int row) {
  list->selectRow(row);
  emit list->cellClicked(row, 0);
}

}  // namespace

class WizardTest : public QObject {
  Q_OBJECT
 private slots:
  void firstPageShowsTheFileInformation_data();
  void firstPageShowsTheFileInformation();
  void firstPageRulesAndNextMessages();
  void pageFrameConventions();
  void secondInstanceIsRefused();
  void exportWritesTheGuestDisk();
  void exportStopKeepsTheFirstChunk();
  void standardScanListsTheTableAndCustomSettings();
  void nextMessagesOfTheVolumePage();
  void advancedScanFilterAndCustomVolume();
  void advancedScanStops();
  void recoveryModesPerFileSystem_data();
  void recoveryModesPerFileSystem();
};

void WizardTest::firstPageShowsTheFileInformation_data() {
  QTest::addColumn<QString>("file");
  QTest::addColumn<int>("kind");
  QTest::addColumn<QStringList>("info");
  QTest::newRow("sparse vmdk") << disk("monolithicSparse.vmdk") << 3
                               << QStringList{"1", "48 MB", "63", "16", "97"};
  QTest::newRow("vhd") << disk("dynamic.vhd") << 1 << QStringList{"1.0", "48 MB", "17", "6", "964"};
  QTest::newRow("vdi") << disk("disk.vdi") << 2 << QStringList{"1.1", "48 MB", "0", "0", "0"};
  QTest::newRow("flat extent") << disk("monolithicFlat-flat.vmdk") << 3 << QStringList{};
}

void WizardTest::firstPageShowsTheFileInformation() {
  QFETCH(QString, file);
  QFETCH(int, kind);
  QFETCH(QStringList, info);
  Wizard w;
  auto* page = w.page<VhdInputDialog>();
  // An earlier file's information must not stay beside a file without any.
  w.choose(disk("monolithicSparse.vmdk"));
  w.choose(file);
  QCOMPARE(page->path->text(), file);
  QCOMPARE(static_cast<int>(page->diskKind), kind);
  QVERIFY(page->nextButton()->isEnabled());
  QVERIFY(!w.app->state.diskReader);
  QCOMPARE(w.app->state.diskSourcePage, 142);
  for (int i = 0; i < 5; ++i) {
    QCOMPARE(page->infoValues[i]->isVisible(), !info.isEmpty());
    QCOMPARE(page->infoCaptions[i]->isVisible(), !info.isEmpty());
    if (!info.isEmpty()) QCOMPARE(page->infoValues[i]->text(), info[i]);
  }
  if (QByteArray(QTest::currentDataTag()) == "sparse vmdk")
    screenshot(page, QStringLiteral("1-VhdInputDialog.png"));
  // Every kind goes on to a volume list read through its own reader.
  page->nextButton()->click();
  w.page<DriveParsingModes>()->nextButton()->click();
  QVERIFY(w.page<PopulateDriveDlg>());
  QVERIFY(w.prompter.prompts.empty());
}

void WizardTest::firstPageRulesAndNextMessages() {
  Wizard w;
  auto* page = w.page<VhdInputDialog>();
  QVERIFY(page->dynamicDisk->isChecked());
  QVERIFY(!page->nextButton()->isEnabled());
  QCOMPARE(page->extentType->currentText(), QStringLiteral("SPARSE"));
  QVERIFY(page->backButton()->isHidden());

  page->extentType->setCurrentIndex(1);
  page->vmdkSplit->click();
  page->isDescripter->click();
  QVERIFY(!page->vmdkSplit->isChecked());
  QVERIFY(!page->vmdkSplit->isEnabled());
  QVERIFY(!page->extentType->isEnabled());
  page->isDescripter->click();
  QCOMPARE(page->extentType->currentText(), QStringLiteral("SPARSE"));
  QVERIFY(page->vmdkSplit->isEnabled());
  QVERIFY(page->extentType->isEnabled());

  page->fixedDisk->click();
  QVERIFY(!page->vmdkSplit->isEnabled() && !page->isDescripter->isEnabled() &&
          !page->extentType->isEnabled());
  QVERIFY(page->browse->isEnabled() && page->path->isEnabled());

  // Cancelling the chooser changes nothing.
  page->browse->click();
  QVERIFY(!page->nextButton()->isEnabled());

  // A path typed without choosing a file.
  page->nextButton()->setEnabled(true);
  page->path->setText(disk("monolithicSparse.vmdk"));
  page->nextButton()->click();
  QCOMPARE(w.prompter.last(), QStringLiteral("nothing selected..."));
  QCOMPARE(w.prompter.prompts.back().caption, Caption::programName);
  QCOMPARE(w.prompter.prompts.back().icon, MessageIcon::none);

  // A fixed-disk choice stores the path but records no disk kind.
  w.choose(disk("monolithicSparse.vmdk"));
  QCOMPARE(static_cast<int>(page->diskKind), 0);
  QCOMPARE(w.app->state.diskSourcePage, 0);

  page->dynamicDisk->click();
  QVERIFY(page->path->text().isEmpty());
  page->nextButton()->click();
  QCOMPARE(w.prompter.last(), QStringLiteral("Please browse vmdk File "));
  QCOMPARE(w.prompter.prompts.back().caption, Caption::applicationTitle);
  QCOMPARE(w.prompter.prompts.back().icon, MessageIcon::information);
  QVERIFY(w.page<VhdInputDialog>());

  // The path box's text is what later pages open.
  w.choose(disk("monolithicSparse.vmdk"));
  page->path->setText(partitioned("mbr.vmdk"));
  page->nextButton()->click();
  auto* modes = w.page<DriveParsingModes>();
  QCOMPARE(modes->selectedDrive->text(), partitioned("mbr.vmdk"));
  modes->nextButton()->click();
  QCOMPARE(w.page<PopulateDriveDlg>()->list->rowCount(), 6);
}

void WizardTest::pageFrameConventions() {
  Wizard w;
  auto* first = w.page<VhdInputDialog>();
  QCOMPARE(w.app->window()->windowTitle(), QStringLiteral("Talvix VMDK Recovery"));

  // The Help menu.
  QStringList items;
  for (QAction* a : first->helpButton()->menu()->actions()) items << a->text();
  QCOMPARE(items, (QStringList{"Help", "Software Homepage", "About"}));
  first->helpButton()->menu()->actions()[0]->trigger();
  first->helpButton()->menu()->actions()[1]->trigger();
  QCOMPARE(w.helpOpened, 2);
  bool aboutShown = false;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
    aboutShown = about != nullptr;
    if (!about) return;
    // Dragged by its body.
    const QPoint before = about->pos();
    QTest::mousePress(about, Qt::LeftButton, {}, QPoint(20, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 50), about->mapToGlobal(QPointF(60, 50)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(about, &move);
    QTest::mouseRelease(about, Qt::LeftButton, {}, QPoint(60, 50));
    aboutShown = about->pos() == before + QPoint(40, 30);
    screenshot(about, QStringLiteral("0-AboutBox.png"));
    about->accept();
  });
  first->helpButton()->menu()->actions()[2]->trigger();
  QVERIFY(aboutShown);

  // Next creates a fresh page, Back destroys it and shows the first page as it was left.
  w.choose(disk("monolithicSparse.vmdk"));
  first->vmdkSplit->setChecked(false);
  first->nextButton()->click();
  auto* modes = w.page<DriveParsingModes>();
  QVERIFY(modes && modes->isVisible() && !first->isVisible());
  modes->advanceScan->click();
  QPointer<DriveParsingModes> gone = modes;
  modes->backButton()->click();
  QCOMPARE(w.page<VhdInputDialog>(), first);
  QCOMPARE(first->path->text(), disk("monolithicSparse.vmdk"));
  QTRY_VERIFY(gone.isNull());
  first->nextButton()->click();
  QVERIFY(w.page<DriveParsingModes>()->standardScan->isChecked());

  // Enter and Esc do nothing.
  auto* again = w.page<DriveParsingModes>();
  again->backButton()->setFocus();
  for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(again->backButton(), static_cast<Qt::Key>(key));
    QTest::keyClick(again, static_cast<Qt::Key>(key));
  }
  QCOMPARE(w.page<DriveParsingModes>(), again);
  QVERIFY(w.app->window()->isVisible());

  // Closing asks; No leaves everything as it was, Yes opens the help page and ends.
  w.prompter.answers = {false};
  w.app->window()->close();
  QCOMPARE(w.prompter.last(), QStringLiteral("Do you want to Close Application ?"));
  QCOMPARE(w.prompter.prompts.back().icon, MessageIcon::question);
  QVERIFY(w.app->window()->isVisible());
  QCOMPARE(w.page<DriveParsingModes>(), again);
  QCOMPARE(w.helpOpened, 2);
  w.prompter.answers = {true};
  w.app->window()->close();
  QVERIFY(!w.app->window()->isVisible());
  QCOMPARE(w.helpOpened, 3);
}

void WizardTest::secondInstanceIsRefused() {
  Wizard first;
  ScriptedPrompter prompter;
  ScriptedDialogs dialogs;
  CTalvixApp second(
      CTalvixApp::Options{&prompter, &dialogs, [] {},
                          (first.lockDir.path() + QStringLiteral("/instance.lock")).toStdString()});
  QVERIFY(!second.start());
  QVERIFY(!second.window());
  QCOMPARE(prompter.last(), QStringLiteral("Another instance of application is already running"));
  QCOMPARE(prompter.prompts.back().caption, Caption::applicationTitle);
  QCOMPARE(prompter.prompts.back().icon, MessageIcon::information);
  QVERIFY(first.app->window()->isVisible());
}

void WizardTest::exportWritesTheGuestDisk() {
  Wizard w;
  QTemporaryDir target;
  auto* page = w.toScanModes(disk("monolithicSparse.vmdk"));
  QVERIFY(page->progressBar()->isHidden() && page->stopButton()->isHidden());
  QVERIFY(!page->saveImage->isEnabled());
  QCOMPARE(page->statusText(), QStringLiteral("Choose any one of the mode and click next...."));
  page->saveDiskImage->click();
  QVERIFY(page->saveImage->isEnabled());
  page->saveDiskImage->click();
  QVERIFY(!page->saveImage->isEnabled());
  QCOMPARE(w.prompter.prompts.size(), 2u);
  QCOMPARE(w.prompter.last(),
           QStringLiteral("Make sure you have sufficient disk space at saving location of Image "
                          "File"));
  page->saveDiskImage->click();

  // The name is taken, so the image gets a number in front.
  std::ofstream(target.filePath("monolithicSparse.vmdk.img").toStdString()) << "taken";
  w.dialogs.folders.push_back(target.path());
  page->saveImage->click();
  QCOMPARE(w.dialogs.folderTitles, QStringList{"Please select the folder."});
  const QString image = target.filePath("1monolithicSparse.vmdk.img");
  QCOMPARE(page->imagePathEdit->text(), image);
  QVERIFY(!page->backButton()->isEnabled() && !page->nextButton()->isEnabled());

  // A paused export waits, however long; Resume lets it finish.
  page->pauseButton()->click();
  QCOMPARE(page->statusText(), QStringLiteral("Pause button pressed"));
  QTest::qWait(200);
  QVERIFY(page->workRunning());
  QVERIFY(!page->pauseButton()->isHidden() && !page->pauseButton()->isEnabled());
  QVERIFY(page->resumeButton()->isEnabled());
  QCOMPARE(page->statusText(), QStringLiteral("Pause button pressed"));
  page->resumeButton()->click();
  QCOMPARE(page->statusText(), QStringLiteral("Resume button pressed"));
  QTRY_VERIFY_WITH_TIMEOUT(!page->workRunning(), 120000);
  QCOMPARE(page->lastExport().outcome, ExportResult::Outcome::completed);
  QVERIFY(fileBytes(image) == fileBytes(disk("guest.raw")));
  QCOMPARE(page->statusText(),
           QStringLiteral("Image Saved,Choose any one of the mode and click next."));
  for (QWidget* b : std::initializer_list<QWidget*>{page->nextButton(), page->backButton(),
                                                    page->saveImage, page->saveDiskImage})
    QVERIFY(b->isEnabled());
  QVERIFY(page->progressBar()->isHidden() && page->stopButton()->isHidden());
  QVERIFY(!w.app->state.diskReader);
  QVERIFY(!w.app->state.imageExportRunning);
  screenshot(page, QStringLiteral("2-DriveParsingModes.png"));

  // The volume page rebuilds the reader that the export dropped.
  page->nextButton()->click();
  QVERIFY(w.page<PopulateDriveDlg>());
}

void WizardTest::exportStopKeepsTheFirstChunk() {
  Wizard w;
  QTemporaryDir target;
  auto* page = w.toScanModes(disk("monolithicSparse.vmdk"));
  page->saveDiskImage->click();
  w.dialogs.folders.push_back(target.path());
  // The worker waits at its first call into the page until this thread serves it, so the
  // stop lands within the first chunk.
  page->saveImage->click();
  w.prompter.answers = {false, true};
  page->stopButton()->click();
  QCOMPARE(w.prompter.last(), QStringLiteral("Are you sure to stop the running process?"));
  QCOMPARE(w.prompter.prompts.back().icon, MessageIcon::question);
  page->stopButton()->click();
  QTRY_VERIFY_WITH_TIMEOUT(!page->workRunning(), 120000);
  QCOMPARE(page->lastExport().outcome, ExportResult::Outcome::stopped);
  const QString image = target.filePath("monolithicSparse.vmdk.img");
  constexpr std::size_t kChunk = 5 * 1024 * 1024;
  QCOMPARE(QFileInfo(image).size(), qint64{kChunk});
  QVERIFY(fileBytes(image) == fileBytes(disk("guest.raw"), kChunk));
  QCOMPARE(page->statusText(),
           QStringLiteral("Image Saved,Choose any one of the mode and click next."));
  QVERIFY(page->backButton()->isEnabled() && page->nextButton()->isEnabled());
}

void WizardTest::standardScanListsTheTableAndCustomSettings() {
  Wizard w;
  auto* page = w.toVolumes(partitioned("mbr.vmdk"), false);
  QVERIFY(w.prompter.prompts.empty());
  const auto expected = expectedRows("mbr.standard.tsv");
  QCOMPARE(page->list->rowCount(), static_cast<int>(expected.size()));
  for (int r = 0; r < page->list->rowCount(); ++r)
    QCOMPARE(rowTexts(page->list, r), expected[static_cast<std::size_t>(r)]);
  QCOMPARE(page->statusText(), QStringLiteral("Select volume and click next button..."));
  QVERIFY(page->addCustomVolume->isHidden());
  QVERIFY(page->filterEntries->isEnabled());
  QVERIFY(page->customSettings->isEnabled());
  QVERIFY(!page->startEdit->isEnabled() && !page->fileSystemList->isEnabled());
  QVERIFY(page->progressBar()->isHidden() && page->stopButton()->isHidden());

  // Selecting a row fills the edits; clicking it picks its file system in the list.
  selectRow(page->list, 3);
  QCOMPARE(page->selectedVolumeValue->text(), QStringLiteral("3"));
  QCOMPARE(page->startEdit->text(), QStringLiteral("135168"));
  QCOMPARE(page->endEdit->text(), QString::number(135168 + 8 * 2048 - 1));
  QCOMPARE(page->fileSystemList->currentText(), QStringLiteral("EXTX"));
  selectRow(page->list, 0);
  QCOMPARE(page->endEdit->text(), QString::number(2048 + 16 * 2048 - 1));
  QCOMPARE(page->fileSystemList->currentText(), QStringLiteral("NTFS"));

  page->customSettings->click();
  QVERIFY(page->startEdit->isEnabled() && page->fileSystemList->isEnabled() &&
          page->endUp->isEnabled());
  page->startEdit->setText(QStringLiteral("2047"));
  page->startUp->click();
  page->endEdit->setText(QStringLiteral("206848"));
  page->endDown->click();
  page->endEdit->setText(QStringLiteral("0"));
  page->endDown->click();
  QCOMPARE(page->endEdit->text(), QStringLiteral("0"));
  page->endEdit->setText(QStringLiteral("206847"));
  QCOMPARE(page->startEdit->text(), QStringLiteral("2048"));
  page->fileSystemList->setCurrentText(QStringLiteral("FAT32"));
  screenshot(page, QStringLiteral("3-PopulateDriveDlg-standard.png"));
  page->nextButton()->click();
  auto* modes = w.page<ParceModeNtfsDlg>();
  QVERIFY(modes);
  QCOMPARE(modes->openedFrom, 134);
  QCOMPARE(modes->volume, (Volume{"fat32", "", "0", "100", 2048}));
  QVERIFY(page->customApplied);

  // Back, then a plain Next restores the listed values.
  modes->backButton()->click();
  page->customSettings->click();
  page->nextButton()->click();
  QCOMPARE(w.page<ParceModeNtfsDlg>()->volume, (Volume{"NTFS", "", "0", "16", 2048}));
}

void WizardTest::nextMessagesOfTheVolumePage() {
  Wizard w;
  auto* page = w.toVolumes(partitioned("gpt.vmdk"), false);
  QCOMPARE(rowTexts(page->list, 0), expectedRows("gpt.standard.tsv")[0]);
  page->nextButton()->click();
  QCOMPARE(w.prompter.last(), QStringLiteral("please select a valid volume."));
  QCOMPARE(w.prompter.prompts.back().caption, Caption::applicationTitle);

  selectRow(page->list, 0);
  page->nextButton()->click();
  QCOMPARE(w.prompter.last(), QStringLiteral("can not parse unknown volume"));
  QCOMPARE(w.prompter.prompts.back().caption, Caption::programName);
  QCOMPARE(w.page<PopulateDriveDlg>(), page);

  // RAW leads to the raw recovery page, which this version does not have yet.
  page->customSettings->click();
  page->fileSystemList->setCurrentText(QStringLiteral("RAW"));
  page->nextButton()->click();
  QVERIFY(w.prompter.last().contains(QStringLiteral("not available yet")));
  QCOMPARE(w.page<PopulateDriveDlg>(), page);
  QCOMPARE(page->volumes[0].fileSystem, std::string("RAW"));

  // Naming a file system lets the unknown volume go on.
  page->fileSystemList->setCurrentText(QStringLiteral("NTFS"));
  page->nextButton()->click();
  QCOMPARE(w.page<ParceModeNtfsDlg>()->volume.fileSystem, std::string("ntfs"));

  // The close question of the volume page carries the information icon.
  w.page<ParceModeNtfsDlg>()->backButton()->click();
  w.app->window()->close();
  QCOMPARE(w.prompter.prompts.back().icon, MessageIcon::information);

  // No file for the page to open.
  Wizard lost;
  auto* first = lost.choose(partitioned("mbr.vmdk"));
  first->path->setText(partitioned("no-such.vmdk"));
  first->nextButton()->click();
  lost.page<DriveParsingModes>()->nextButton()->click();
  QCOMPARE(lost.prompter.last(), QStringLiteral("file not opened.."));
  QCOMPARE(lost.page<PopulateDriveDlg>()->list->rowCount(), 0);
  QVERIFY(!lost.page<PopulateDriveDlg>()->customSettings->isEnabled());

  // A fixed-disk choice with no disk kind recorded in this run leaves no reader to build.
  Wizard fixed;
  auto* fixedPage = fixed.page<VhdInputDialog>();
  fixedPage->fixedDisk->click();
  fixed.choose(partitioned("mbr.vmdk"))->nextButton()->click();
  fixed.page<DriveParsingModes>()->nextButton()->click();
  QCOMPARE(fixed.prompter.last(), QStringLiteral("Information lost ..go back and parse again"));
  QCOMPARE(fixed.prompter.prompts.back().caption, Caption::programName);
  QCOMPARE(fixed.page<PopulateDriveDlg>()->list->rowCount(), 0);
}

void WizardTest::advancedScanFilterAndCustomVolume() {
  Wizard w;
  auto* page = w.toVolumes(partitioned("mbr.vmdk"), true, true);
  QTRY_VERIFY_WITH_TIMEOUT(!page->workRunning(), 120000);
  QCOMPARE(w.prompter.last(), QStringLiteral("populated partitions...."));
  QCOMPARE(w.prompter.prompts.back().caption, Caption::programName);
  const auto all = expectedRows("mbr.advanced-no-skip.tsv");
  QCOMPARE(page->list->rowCount(), static_cast<int>(all.size()));
  for (int r = 0; r < page->list->rowCount(); ++r)
    QCOMPARE(rowTexts(page->list, r), all[static_cast<std::size_t>(r)]);
  QCOMPARE(page->statusText(), QStringLiteral("Select volume and click next button..."));
  QVERIFY(page->backButton()->isEnabled() && page->nextButton()->isEnabled());
  QVERIFY(page->addCustomVolume->isEnabled() && !page->addCustomVolume->isHidden());
  QVERIFY(page->customSettings->isEnabled());
  screenshot(page, QStringLiteral("4-PopulateDriveDlg-advanced.png"));

  // The filter leaves one row per volume: what the scan lists when it skips over volumes.
  page->filterEntries->click();
  const auto distinct = expectedRows("mbr.advanced.tsv");
  QCOMPARE(page->list->rowCount(), static_cast<int>(distinct.size()));
  for (int r = 0; r < page->list->rowCount(); ++r)
    QCOMPARE(rowTexts(page->list, r, 1), distinct[static_cast<std::size_t>(r)].mid(1));
  screenshot(page, QStringLiteral("5-PopulateDriveDlg-filtered.png"));

  page->addCustomVolume->click();
  const int last = page->list->rowCount() - 1;
  QCOMPARE(rowTexts(page->list, last),
           (QStringList{QString::number(all.size()), "CUSTOM ", "0", "0"}));
  QVERIFY(page->list->item(last, 0)->isSelected());
  QVERIFY(page->customSettings->isChecked() && page->startEdit->isEnabled());
  QCOMPARE(page->startEdit->text(), QStringLiteral("0"));
  QCOMPARE(page->endEdit->text(), QStringLiteral("0"));
  page->startEdit->setText(QStringLiteral("4096"));
  page->endEdit->setText(QStringLiteral("8191"));
  page->fileSystemList->setCurrentText(QStringLiteral("HFS+"));
  page->nextButton()->click();
  QCOMPARE(w.page<ParceModeNtfsDlg>()->volume, (Volume{"HFS+", "", "8", "2", 4096}));
}

void WizardTest::advancedScanStops() {
  Wizard w;
  auto* modes = w.toScanModes(partitioned("mbr.vmdk"));
  modes->advanceScan->click();
  modes->customSetting->click();
  modes->endSector->setText(QStringLiteral("-1"));
  modes->nextButton()->click();
  auto* page = w.page<PopulateDriveDlg>();
  QVERIFY(page->workRunning());
  QVERIFY(!page->backButton()->isEnabled() && !page->nextButton()->isEnabled());
  // The worker waits at its first call into the page; the stop is seen after the first
  // 1 MiB, before the first volume (sector 2048).
  page->stopButton()->click();
  QVERIFY(page->backButton()->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(!page->workRunning(), 120000);
  QCOMPARE(page->list->rowCount(), 0);
  QCOMPARE(w.prompter.last(), QStringLiteral("populated partitions...."));
  QVERIFY(page->nextButton()->isEnabled() && page->addCustomVolume->isEnabled());
  QVERIFY(!page->customSettings->isEnabled());
  page->backButton()->click();
  QVERIFY(w.page<DriveParsingModes>());
}

void WizardTest::recoveryModesPerFileSystem_data() {
  QTest::addColumn<int>("row");
  QTest::addColumn<QString>("custom");
  QTest::addColumn<QString>("offered");
  QTest::addColumn<bool>("formattedHint");
  QTest::newRow("NTFS") << 0 << QString() << "SAD" << false;
  QTest::newRow("FAT32") << 1 << QString() << "SA" << true;
  QTest::newRow("FAT16") << 2 << QString() << "SA" << true;
  QTest::newRow("extX") << 3 << QString() << "S" << false;
  QTest::newRow("FAT64") << 4 << QString() << "SA" << true;
  QTest::newRow("HFS+") << 0 << "HFS+"
                        << "SD" << false;
  QTest::newRow("custom ntfs") << 3 << "NTFS"
                               << "SAD" << false;
}

void WizardTest::recoveryModesPerFileSystem() {
  QFETCH(int, row);
  QFETCH(QString, custom);
  QFETCH(QString, offered);
  QFETCH(bool, formattedHint);
  Wizard w;
  auto* volumes = w.toVolumes(partitioned("mbr.vmdk"), false);
  selectRow(volumes->list, row);
  if (!custom.isEmpty()) {
    volumes->customSettings->click();
    volumes->fileSystemList->setCurrentText(custom);
  }
  volumes->nextButton()->click();
  auto* page = w.page<ParceModeNtfsDlg>();
  QVERIFY(page);
  QCOMPARE(!page->standard->isHidden(), offered.contains('S'));
  QCOMPARE(!page->advanced->isHidden(), offered.contains('A'));
  QCOMPARE(!page->deep->isHidden(), offered.contains('D'));
  QVERIFY(page->standard->isChecked());
  QCOMPARE(page->recoveryMode, 1);
  QVERIFY(page->maxFileSystems->isHidden() && page->driveFormated->isHidden());
  QCOMPARE(page->maxFileSystems->text(), QStringLiteral("3"));

  if (offered.contains('A')) {
    page->advanced->click();
    QCOMPARE(page->recoveryMode, 2);
    QVERIFY(!page->standard->isChecked() && !page->deep->isChecked());
    QVERIFY(!page->maxFileSystems->isHidden() && !page->maxLabel->isHidden());
    QCOMPARE(!page->driveFormated->isHidden(), formattedHint);
    if (formattedHint) {
      page->driveFormated->click();
      QVERIFY(w.app->state.driveFormatted);
      if (QByteArray(QTest::currentDataTag()) == "FAT32")
        screenshot(page, QStringLiteral("6-ParceModeNtfsDlg-advanced.png"));
      page->standard->click();
      QVERIFY(!w.app->state.driveFormatted);
      QVERIFY(!page->driveFormated->isChecked());
    }
  }
  if (offered.contains('D')) {
    page->deep->click();
    QCOMPARE(page->recoveryMode, 3);
    QVERIFY(!page->standard->isChecked() && !page->advanced->isChecked());
  }
  if (QByteArray(QTest::currentDataTag()) == "NTFS")
    screenshot(page, QStringLiteral("6-ParceModeNtfsDlg.png"));
  page->nextButton()->click();
  if (offered == "SAD") {
    // NTFS goes on to the file browser.
    QVERIFY(w.page<VolumeScanDlg>());
    QTRY_VERIFY_WITH_TIMEOUT(!w.page<VolumeScanDlg>()->workRunning(), 120000);
    return;
  }
  QVERIFY(w.prompter.last().contains(QStringLiteral("not available yet")));
  QCOMPARE(w.page<ParceModeNtfsDlg>(), page);
}

QTEST_MAIN(WizardTest)
#include "WizardTest.moc"
