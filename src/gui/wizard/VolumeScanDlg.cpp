#include "VolumeScanDlg.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QThread>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "CTalvixApp.h"
#include "CheckListView.h"
#include "CheckTreeModel.h"
#include "CheckTreeView.h"
#include "FileListModel.h"
#include "ItemIcons.h"
#include "ParceModeNtfsDlg.h"
#include "UiThread.h"
#include "browser/FileSearch.h"
#include "browser/SaveWalk.h"

namespace talvix::gui {

namespace {

constexpr std::string_view kFolderPickerTitle = "Please choose a folder.";
constexpr std::string_view kQuickSaveFailed =
    "The file could not be written into the output folder.";

std::filesystem::path pathOf(const QString& text) {
  return std::filesystem::path(text.toStdString());
}

}  // namespace

// The second status text: the size of the file being saved.
class VolumeScanDlg::FileSizeLine : public StatusLine {
 public:
  explicit FileSizeLine(QLabel* label) : label_(label) {}
  void setStatusText(std::string_view text) override {
    const std::string copy(text);
    onUiThread(label_, [&] { label_->setText(QString::fromStdString(copy)); });
  }

 private:
  QLabel* label_;
};

// The search's results and its hold on the page: the list holds results (whose boxes leave
// the tree alone), Search, Save and Back wait, and the tree takes no clicks while the worker
// reads the volume, so that nothing reads the disk beside it.
class VolumeScanDlg::SearchRows : public SearchView {
 public:
  explicit SearchRows(VolumeScanDlg& page) : page_(page) {}
  void searchStarted() override {
    onUiThread(&page_, [&] {
      page_.fileList_.DeleteAllItems();
      page_.fileList_.setShowsSearch(true);
      for (QWidget* w : std::initializer_list<QWidget*>{page_.search, page_.save,
                                                        page_.backButton(), page_.treeView})
        w->setEnabled(false);
      page_.setWorkControlsVisible(true);
    });
  }
  void addResult(const SearchHit& hit) override {
    onUiThread(&page_, [&] {
      page_.fileList_.appendRow(
          CCheckListCtrl::Texts{hit.path, hit.texts.creationTime, hit.texts.accessTime,
                                hit.texts.modificationTime, hit.texts.size, hit.texts.attribute},
          hit.id);
    });
  }
  void setTreeSearching(bool searching) override {
    onUiThread(&page_, [&] { page_.treeView->setSearchLook(searching); });
  }
  void searchEnded() override {
    onUiThread(&page_, [&] {
      page_.treeView->setSearchLook(false);
      for (QWidget* w : std::initializer_list<QWidget*>{page_.search, page_.save,
                                                        page_.backButton(), page_.treeView})
        w->setEnabled(true);
      page_.control_.resume();
      page_.setWorkControlsVisible(false);
    });
  }

 private:
  VolumeScanDlg& page_;
};

// Message boxes asked for by a worker; none once the page is going away.
class VolumeScanDlg::WorkerPrompter : public Prompter {
 public:
  explicit WorkerPrompter(VolumeScanDlg& page) : page_(page) {}
  void inform(std::string_view text, Caption caption, MessageIcon icon) override {
    const std::string copy(text);
    onUiThread(&page_, [&] {
      if (!page_.closing_) page_.app_.prompter().inform(copy, caption, icon);
    });
  }
  bool askYesNo(std::string_view text, Caption caption, MessageIcon icon) override {
    const std::string copy(text);
    return onUiThread(&page_, [&] {
      return !page_.closing_ && page_.app_.prompter().askYesNo(copy, caption, icon);
    });
  }

 private:
  VolumeScanDlg& page_;
};

VolumeScanDlg::VolumeScanDlg(CTalvixApp& app, ParceModeNtfsDlg& modePage)
    : Page(app, kPageId, true), modePage_(modePage), uiTree_(tree_, this) {
  setObjectName(QStringLiteral("VolumeScanDlg"));
  itemIcons_ = std::make_unique<ItemIcons>(icons_);
  treeModel_ = std::make_unique<CheckTreeModel>(tree_, itemIcons_.get());
  listModel_ = std::make_unique<FileListModel>(fileList_);
  fileList_.setTree(&tree_);

  auto* dataRow = new QHBoxLayout;
  dataRow->addWidget(new QLabel(QStringLiteral("Volume Data:"), this));
  volumeData = new QLineEdit(this);
  volumeData->setObjectName(QStringLiteral("volumeData"));
  volumeData->setReadOnly(true);
  dataRow->addWidget(volumeData, 1);
  content()->addLayout(dataRow);

  auto* views = new QSplitter(Qt::Horizontal, this);
  treeView = new CheckTreeView(views);
  treeView->setObjectName(QStringLiteral("tree"));
  treeView->setTreeModel(treeModel_.get());
  listView = new CheckListView(views);
  listView->setObjectName(QStringLiteral("fileList"));
  listView->setListModel(listModel_.get());
  views->addWidget(treeView);
  views->addWidget(listView);
  views->setStretchFactor(0, 2);
  views->setStretchFactor(1, 3);
  content()->addWidget(views, 1);

  auto* searchRow = new QHBoxLayout;
  searchText = new QLineEdit(this);
  searchText->setObjectName(QStringLiteral("searchText"));
  search = new QPushButton(QStringLiteral("Search"), this);
  search->setObjectName(QStringLiteral("search"));
  search->setIcon(QIcon(QStringLiteral(":/wizard/next.png")));
  searchRow->addWidget(searchText, 1);
  searchRow->addWidget(search);
  searchRow->addWidget(new QLabel(QStringLiteral("* Use \"|\" to find multiple file type "), this));
  content()->addLayout(searchRow);

  auto* outputRow = new QHBoxLayout;
  outputRow->addWidget(new QLabel(QStringLiteral("Output Folder :"), this));
  outputFolder = new QLineEdit(this);
  outputFolder->setObjectName(QStringLiteral("outputFolder"));
  chooseOutputFolder = new QPushButton(QStringLiteral("..."), this);
  chooseOutputFolder->setObjectName(QStringLiteral("chooseOutputFolder"));
  chooseOutputFolder->setFixedWidth(32);
  save = new QPushButton(QStringLiteral("Save"), this);
  save->setObjectName(QStringLiteral("save"));
  save->setIcon(QIcon(QStringLiteral(":/wizard/next.png")));
  outputRow->addWidget(outputFolder, 1);
  outputRow->addWidget(chooseOutputFolder);
  outputRow->addWidget(save);
  content()->addLayout(outputRow);
  for (QPushButton* b : {search, chooseOutputFolder, save}) b->setAutoDefault(false);

  addStatusLine(QString(), true);
  fileSizeLine = new QLabel(this);
  fileSizeLine->setObjectName(QStringLiteral("fileSizeLine"));
  content()->addWidget(fileSizeLine);
  fileSizeTarget_ = std::make_unique<FileSizeLine>(fileSizeLine);
  searchRows_ = std::make_unique<SearchRows>(*this);
  workerPrompter_ = std::make_unique<WorkerPrompter>(*this);
  setPausable(&control_);
  setWorkControlsVisible(false);
  // The last page: nothing comes after it.
  nextButton()->hide();

  connect(treeView, &CheckTreeView::labelClicked, this,
          [this](int, quint64 item) { labelClicked(item); });
  connect(treeView, &CheckTreeView::itemExpanded, this, [this](quint64 item, bool expanded) {
    if (expanded) itemExpanded(item);
  });
  connect(treeView, &CheckTreeView::itemDoubleClicked, this,
          [this](quint64 item) { itemDoubleClicked(item); });
  connect(save, &QPushButton::clicked, this, [this] { saveClicked(); });
  connect(chooseOutputFolder, &QPushButton::clicked, this, [this] { chooseFolderClicked(); });
  connect(search, &QPushButton::clicked, this, [this] { searchClicked(); });
}

VolumeScanDlg::~VolumeScanDlg() {
  finishWork();
  // The views go before the models and the models before the tree and list they observe.
  delete treeView;
  delete listView;
}

void VolumeScanDlg::finishWork() {
  closing_ = true;
  if (!worker_.running()) return;
  control_.requestStop();
  // The worker's calls all come to this page; only they are served, since the window around
  // the page may already be coming apart.
  while (worker_.running()) {
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    QThread::msleep(2);
  }
  worker_.join();
}

void VolumeScanDlg::pageStarted() {
  startScan();
}

void VolumeScanDlg::startScan() {
  pageBusy = true;
  tree_.InitCheckTree();
  tree_.SetSmartCheckBox(true);
  tree_.SetReadOnly(false);
  backButton()->setEnabled(false);

  volume_ = modePage_.volume;
  volumeData->setText(
      QString::fromStdString(volume_.spareText.empty() ? volume_.volumeName : volume_.spareText));
  recoveryMode = modePage_.recoveryMode;
  fileSystem_ = browsedFileSystem(volume_.fileSystem);
  if (fileSystem_ == BrowsedFileSystem::none) {
    app_.prompter().inform("not a valid drive.", Caption::programName, MessageIcon::none);
    backButton()->setEnabled(true);
    setStatusText("Not a valid Drive .Go back");
    return;
  }
  if (!app_.state.diskReader) {
    app_.prompter().inform("Please Restart the program to rebegin necessary initialisation...",
                           Caption::programName, MessageIcon::none);
    // No scan will end this page's work: the way back stays open.
    backButton()->setEnabled(true);
    return;
  }
  if (fileSystem_ == BrowsedFileSystem::ntfs) setStatusText("ntfs partition selected....");

  scanStarted_ = true;
  control_.clearStop();
  setWorkControlsVisible(true);
  readWriteInterface& reader = *app_.state.diskReader;
  const Volume volume = volume_;
  const ScanMode mode = recoveryMode == 2   ? ScanMode::advanced
                        : recoveryMode == 3 ? ScanMode::deep
                                            : ScanMode::standard;
  worker_.start([this, &reader, volume, mode] {
    const ScanTargets targets{&uiTree_, this, this, &control_, &icons_};
    std::string error;
    std::unique_ptr<ScannedVolume> scanned = scanVolume(reader, volume, mode, targets, error);
    onUiThread(this, [&] { scanFinished(std::move(scanned), error); });
  });
}

void VolumeScanDlg::scanFinished(std::unique_ptr<ScannedVolume> scanned, const std::string& error) {
  scanned_ = std::move(scanned);
  if (scanned_) {
    browser_ =
        std::make_unique<BrowserTree>(tree_, scanned_->entries(), icons_, browseRules(fileSystem_));
    browser_->addExpandPlaceholders();
    std::error_code noTemp;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(noTemp);
    if (!noTemp) browser_->restoreRecycleBinNames(temp);
  } else if (!error.empty() && !closing_) {
    app_.prompter().inform(error, Caption::applicationTitle, MessageIcon::information);
  }
  backButton()->setEnabled(true);
  if (!closing_) {
    app_.prompter().inform("Scanning process completed...", Caption::applicationTitle,
                           MessageIcon::information);
  }
  setStatusText("Processing done...");
  control_.resume();
  setWorkControlsVisible(false);
  pageBusy = false;
}

void VolumeScanDlg::stopClicked() {
  if (!scanStarted_) return;
  control_.requestStop();
  if (scanned_) scanned_->requestStop();
  stopPressed = true;
  setStatusText("stop button pressed.Please wait for the process to be stopped.");
}

void VolumeScanDlg::clearStops() {
  control_.clearStop();
  if (scanned_) scanned_->clearStop();
}

void VolumeScanDlg::labelClicked(TreeItem item) {
  if (browser_ && item != kNoItem) browser_->showItemInList(item, fileList_);
}

void VolumeScanDlg::itemExpanded(TreeItem item) {
  if (!browser_) return;
  browser_->expandItemChildren(item, fileList_);
}

void VolumeScanDlg::itemDoubleClicked(TreeItem item) {
  if (!browser_) return;
  if (!browser_->doubleClickFolder(item, fileList_)) quickSave(item);
}

void VolumeScanDlg::quickSave(TreeItem item) {
  const auto entry = browser_->entryOf(item);
  EntrySource& source = browser_->source();
  if (!entry || source.isFolder(*entry)) return;
  // Without an output folder the user is asked for one; nothing is written elsewhere.
  if (outputFolder->text().isEmpty()) chooseFolderClicked();
  if (outputFolder->text().isEmpty()) return;
  clearStops();
  if (!saveOneFile(source, *entry, pathOf(outputFolder->text()))) {
    app_.prompter().inform(kQuickSaveFailed, Caption::applicationTitle, MessageIcon::information);
  }
}

void VolumeScanDlg::saveClicked() {
  if (pageBusy) {
    app_.prompter().inform("Please wait for other process to complete", Caption::applicationTitle,
                           MessageIcon::information);
    return;
  }
  if (!browser_) return;
  const TreeItem selected = treeModel_->itemOf(treeView->currentIndex());
  clearStops();
  runSave(browser_->source(), browser_->saveTarget(selected), pathOf(outputFolder->text()),
          app_.prompter(), SaveTargets{this, this, fileSizeTarget_.get()}, &stopPressed);
}

void VolumeScanDlg::chooseFolderClicked() {
  const auto folder = app_.dialogs().chooseFolder(
      this, QString::fromUtf8(kFolderPickerTitle.data(),
                              static_cast<qsizetype>(kFolderPickerTitle.size())));
  outputFolder->setText(folder ? *folder : QString());
}

void VolumeScanDlg::searchClicked() {
  if (pageBusy) {
    app_.prompter().inform("Please wait for other process to complete", Caption::applicationTitle,
                           MessageIcon::information);
    return;
  }
  if (!browser_ || worker_.running()) return;
  app_.state.searchText = searchText->text().toStdString();
  const std::string pattern = app_.state.searchText;
  const std::string top = tree_.GetItemText(tree_.GetRootItem());
  EntrySource& source = browser_->source();
  worker_.start([this, &source, pattern, top] {
    runSearch(source, kNoEntry, top, pattern,
              SearchTargets{searchRows_.get(), this, this, workerPrompter_.get(), &control_});
  });
}

}  // namespace talvix::gui
