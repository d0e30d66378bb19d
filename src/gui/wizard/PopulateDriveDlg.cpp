#include "PopulateDriveDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "CTalvixApp.h"
#include "ParceModeNtfsDlg.h"
#include "UiThread.h"
#include "VhdInputDialog.h"
#include "wizard/VolumeChoice.h"

namespace talvix::gui {

constexpr int kRecordRole = Qt::UserRole + 1;

// Where a scan reports: found volumes become records and rows, the "Filter Entries" button
// follows the sector search, and the progress positions are where a paused worker waits and
// a stop is noticed. Callable from the worker; everything runs on the user-interface thread.
class PopulateDriveDlg::Scan : public VolumeSink, public VolumeScanView, public ProgressTarget {
 public:
  explicit Scan(PopulateDriveDlg& page) : page_(page) {}
  bool advanced = false;

  void volumeFound(const Volume& volume) override {
    onUiThread(&page_, [&] {
      page_.volumes.push_back(volume);
      // The sector search lists its latest find first; the table scan keeps the table's order.
      page_.insertRow(advanced ? 0 : page_.list->rowCount(), page_.volumes.size() - 1);
    });
  }
  void setFilterEntriesEnabled(bool enabled) override {
    onUiThread(&page_, [&] { page_.filterEntries->setEnabled(enabled); });
  }
  void setProgressRange(std::int64_t low, std::int64_t high) override {
    page_.setProgressRange(low, high);
  }
  void setProgressPosition(std::int64_t position) override {
    if (page_.control_.checkpoint() && page_.partition_) page_.partition_->stopRequested = true;
    page_.setProgressPosition(position);
  }

 private:
  PopulateDriveDlg& page_;
};

PopulateDriveDlg::PopulateDriveDlg(CTalvixApp& app, VhdInputDialog& diskPage)
    : Page(app, kPageId, true), diskPage_(diskPage), scan_(std::make_unique<Scan>(*this)) {
  setObjectName(QStringLiteral("PopulateDriveDlg"));

  list = new QTableWidget(0, 4, this);
  list->setObjectName(QStringLiteral("volumeList"));
  list->setHorizontalHeaderLabels({QStringLiteral("Volume"), QStringLiteral("File System"),
                                   QStringLiteral("Volume Size"), QStringLiteral("Start Sector")});
  for (int c = 0; c < 4; ++c) list->setColumnWidth(c, 100);
  list->horizontalHeader()->setStretchLastSection(true);
  list->verticalHeader()->hide();
  list->setShowGrid(true);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  content()->addWidget(list, 1);

  auto* listButtons = new QHBoxLayout;
  filterEntries = new QPushButton(QStringLiteral("Filter Entries"), this);
  filterEntries->setObjectName(QStringLiteral("filterEntries"));
  filterEntries->setToolTip(QStringLiteral("Filter volume entries."));
  addCustomVolume = new QPushButton(QStringLiteral("Add Custom Volume"), this);
  addCustomVolume->setObjectName(QStringLiteral("addCustomVolume"));
  addCustomVolume->setToolTip(QStringLiteral("Add Custom Volume entry."));
  for (QPushButton* b : {filterEntries, addCustomVolume}) b->setAutoDefault(false);
  listButtons->addWidget(filterEntries);
  listButtons->addWidget(addCustomVolume);
  listButtons->addStretch(1);
  content()->addLayout(listButtons);

  auto* custom = new QGridLayout;
  customSettings = new QCheckBox(QStringLiteral("Custom Settings For Selected Volume "), this);
  custom->addWidget(customSettings, 0, 0, 1, 3);
  selectedVolumeLabel = new QLabel(QStringLiteral("Selected Volume :"), this);
  selectedVolumeValue = new QLabel(this);
  selectedVolumeValue->setObjectName(QStringLiteral("selectedVolume"));
  custom->addWidget(selectedVolumeLabel, 1, 0);
  custom->addWidget(selectedVolumeValue, 1, 1);
  const auto spinPair = [this](QLineEdit*& edit, QToolButton*& up, QToolButton*& down,
                               const char* name) {
    edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    up = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    up->setObjectName(QString::fromLatin1(name) + QStringLiteral("Up"));
    down = new QToolButton(this);
    down->setArrowType(Qt::DownArrow);
    down->setObjectName(QString::fromLatin1(name) + QStringLiteral("Down"));
    connect(up, &QToolButton::clicked, this, [edit] { spin(edit, true); });
    connect(down, &QToolButton::clicked, this, [edit] { spin(edit, false); });
    auto* row = new QHBoxLayout;
    row->setSpacing(1);
    row->addWidget(edit, 1);
    row->addWidget(up);
    row->addWidget(down);
    return row;
  };
  startLabel = new QLabel(QStringLiteral("Start Sector:"), this);
  endLabel = new QLabel(QStringLiteral("End Sector :"), this);
  custom->addWidget(startLabel, 2, 0);
  custom->addLayout(spinPair(startEdit, startUp, startDown, "startEdit"), 2, 1);
  custom->addWidget(endLabel, 2, 2);
  custom->addLayout(spinPair(endEdit, endUp, endDown, "endEdit"), 2, 3);
  fileSystemLabel = new QLabel(QStringLiteral("Treat file system as:"), this);
  fileSystemList = new QComboBox(this);
  fileSystemList->setObjectName(QStringLiteral("fileSystemList"));
  custom->addWidget(fileSystemLabel, 3, 0);
  custom->addWidget(fileSystemList, 3, 1);
  content()->addLayout(custom);
  addStatusLine(QString(), true);
  setPausable(&control_);

  connect(list, &QTableWidget::itemSelectionChanged, this, [this] { rowSelected(); });
  connect(list, &QTableWidget::cellClicked, this, [this](int row, int) { rowClicked(row); });
  connect(customSettings, &QCheckBox::clicked, this, [this] { customClicked(); });
  connect(addCustomVolume, &QPushButton::clicked, this, [this] { addCustomClicked(); });
  connect(filterEntries, &QPushButton::clicked, this, [this] { filterClicked(); });

  customSettings->setEnabled(false);
  setCustomControlsEnabled(false);
  for (const std::string_view name : fileSystemChoices())
    fileSystemList->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  fileSystemList->setCurrentIndex(-1);
}

PopulateDriveDlg::~PopulateDriveDlg() {
  finishWork();
}

void PopulateDriveDlg::finishWork() {
  if (!worker_.running()) return;
  if (partition_) partition_->stopRequested = true;
  control_.requestStop();
  waitFor(worker_);
  worker_.join();
}

void PopulateDriveDlg::pageStarted() {
  setWorkControlsVisible(true);
  app_.state.rebuildDiskReader(diskPage_.diskChoice());
  if (scanMode == 1) {
    setProgressRange(0, 1000);
    standardScan();
    setProgressPosition(1000);
  } else {
    advancedScan();
  }
}

void PopulateDriveDlg::setCustomControlsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           selectedVolumeLabel, selectedVolumeValue, startLabel, startEdit, startUp, startDown,
           endLabel, endEdit, endUp, endDown, fileSystemLabel, fileSystemList})
    w->setEnabled(enabled);
}

void PopulateDriveDlg::insertRow(int at, std::size_t record) {
  const VolumeRow row = rowFor(volumes[record]);
  list->insertRow(at);
  const std::string* texts[] = {&row.volume, &row.fileSystem, &row.size, &row.startSector};
  for (int c = 0; c < 4; ++c) {
    auto* item = new QTableWidgetItem(QString::fromStdString(*texts[c]));
    item->setToolTip(item->text());
    if (c == 0) item->setData(kRecordRole, QVariant::fromValue<qulonglong>(record));
    list->setItem(at, c, item);
  }
}

void PopulateDriveDlg::standardScan() {
  addCustomVolume->hide();
  partition_.reset();
  app_.state.rebuildDiskReader(diskPage_.diskChoice());
  if (!app_.state.diskReader) {
    progressBar()->hide();
    app_.prompter().inform("Information lost ..go back and parse again", Caption::programName,
                           MessageIcon::none);
    return;
  }
  if (!app_.state.openDiskReader(diskPath.toStdString(), &app_.prompter())) {
    app_.prompter().inform("file not opened..", Caption::applicationTitle,
                           MessageIcon::information);
  } else {
    scan_->advanced = false;
    partition_ = std::make_unique<Partition>(*app_.state.diskReader, *this, *scan_);
    partition_->gptMode = gptFormat;
    list->setRowCount(0);
    volumes.clear();
    partition_->standardScan();
    // Rows are named after their place in the list.
    for (int r = 0; r < list->rowCount(); ++r) {
      const auto record = list->item(r, 0)->data(kRecordRole).toULongLong();
      volumes[record].volumeName = std::to_string(r);
      list->item(r, 0)->setText(QString::number(r));
    }
    if (!volumes.empty()) customSettings->setEnabled(true);
  }
  filterEntries->setEnabled(true);
  setStatusText("Finished Scanning.");
  setWorkControlsVisible(false);
  setStatusText("Select volume and click next button...");
}

void PopulateDriveDlg::advancedScan() {
  addCustomVolume->setEnabled(false);
  nextButton()->setEnabled(false);
  app_.state.rebuildDiskReader(diskPage_.diskChoice());
  if (!app_.state.diskReader ||
      !app_.state.openDiskReader(diskPath.toStdString(), &app_.prompter())) {
    nextButton()->setEnabled(true);
    setWorkControlsVisible(false);
    app_.prompter().inform("file not opened..", Caption::applicationTitle,
                           MessageIcon::information);
    return;
  }
  scan_->advanced = true;
  partition_ = std::make_unique<Partition>(*app_.state.diskReader, *this, *scan_);
  partition_->skipVolumeSize = !doNotSkipVolumeSize;
  if (customRange.second >= 0) {
    partition_->customStartSector = customRange.first;
    partition_->customEndSector = customRange.second;
  }
  list->setRowCount(0);
  volumes.clear();
  control_.clearStop();
  backButton()->setEnabled(false);
  const std::uint64_t diskSectors = app_.state.diskSectors;
  Partition* partition = partition_.get();
  worker_.start([this, partition, diskSectors] {
    partition->advancedScan(diskSectors, *scan_, *scan_);
    onUiThread(this, [this] { advancedScanFinished(); });
  });
}

void PopulateDriveDlg::advancedScanFinished() {
  backButton()->setEnabled(true);
  setStatusText("Scanned Partitions");
  app_.prompter().inform("populated partitions....", Caption::programName, MessageIcon::none);
  setStatusText("Finished Scanning.");
  partition_.reset();
  if (!volumes.empty()) customSettings->setEnabled(true);
  addCustomVolume->setEnabled(true);
  control_.resume();
  setWorkControlsVisible(false);
  nextButton()->setEnabled(true);
  setStatusText("Select volume and click next button...");
}

void PopulateDriveDlg::stopClicked() {
  if (partition_) partition_->stopRequested = true;
  control_.requestStop();
  backButton()->setEnabled(true);
}

void PopulateDriveDlg::rowSelected() {
  const auto selected = list->selectionModel()->selectedRows();
  if (selected.isEmpty()) return;
  const int row = selected.constFirst().row();
  selectedVolumeValue->setText(list->item(row, 0)->text());
  const std::int64_t start = editNumber(list->item(row, 3)->text().toStdString());
  startEdit->setText(list->item(row, 3)->text());
  endEdit->setText(QString::number(endSectorFor(start, list->item(row, 2)->text().toStdString())));
}

void PopulateDriveDlg::rowClicked(int row) {
  if (row < 0 || row >= list->rowCount()) return;
  if (const auto choice = fileSystemChoiceFor(list->item(row, 1)->text().toStdString()))
    fileSystemList->setCurrentIndex(static_cast<int>(*choice));
}

void PopulateDriveDlg::spin(QLineEdit* edit, bool up) {
  edit->setText(QString::number(spinStep(editNumber(edit->text().toStdString()), up)));
}

void PopulateDriveDlg::customClicked() {
  setCustomControlsEnabled(customSettings->isChecked());
}

void PopulateDriveDlg::addCustomClicked() {
  volumes.push_back(customVolume(volumes.size()));
  customSettings->setEnabled(true);
  customSettings->setChecked(true);
  nextButton()->setEnabled(true);
  setCustomControlsEnabled(true);
  const int row = list->rowCount();
  insertRow(row, volumes.size() - 1);
  list->selectRow(row);
  list->scrollToItem(list->item(row, 0));
  startEdit->setText(QStringLiteral("0"));
  endEdit->setText(QStringLiteral("0"));
}

void PopulateDriveDlg::filterClicked() {
  // The listed records in their listed order, without the copies of boot records.
  std::vector<std::size_t> listed;
  for (int r = 0; r < list->rowCount(); ++r)
    listed.push_back(list->item(r, 0)->data(kRecordRole).toULongLong());
  const auto distinct = distinctVolumes(volumes);
  const std::set<std::size_t> keep(distinct.begin(), distinct.end());
  list->setRowCount(0);
  for (const std::size_t record : listed)
    if (keep.contains(record)) insertRow(list->rowCount(), record);
  customSettings->setEnabled(list->rowCount() > 0 || customSettings->isChecked());
}

void PopulateDriveDlg::nextClicked() {
  const auto selected = list->selectionModel()->selectedRows();
  if (selected.isEmpty()) {
    app_.prompter().inform("please select a valid volume.", Caption::applicationTitle,
                           MessageIcon::information);
    return;
  }
  const int row = selected.constFirst().row();
  Volume& volume = volumes[list->item(row, 0)->data(kRecordRole).toULongLong()];
  selectedVolume = &volume;
  const VolumeRow texts{
      list->item(row, 0)->text().toStdString(), list->item(row, 1)->text().toStdString(),
      list->item(row, 2)->text().toStdString(), list->item(row, 3)->text().toStdString()};
  CustomSettings custom;
  custom.ticked = customSettings->isChecked();
  custom.startText = startEdit->text().toStdString();
  custom.endText = endEdit->text().toStdString();
  if (fileSystemList->currentIndex() >= 0)
    custom.fileSystemChoice = fileSystemList->currentText().toStdString();
  switch (applyVolumeChoice(volume, customApplied, texts, custom)) {
    case VolumeRoute::raw:
      app_.prompter().inform(
          "Raw recovery is not available yet in this version. Choose a file system in "
          "\"Treat file system as:\" to go on.",
          Caption::applicationTitle, MessageIcon::information);
      return;
    case VolumeRoute::unknownVolume:
      app_.prompter().inform("can not parse unknown volume", Caption::programName,
                             MessageIcon::none);
      return;
    case VolumeRoute::recoveryMode:
      break;
  }
  showNext(new ParceModeNtfsDlg(app_, *this, kPageId));
}

void PopulateDriveDlg::backClicked() {
  finishWork();
  goBack();
}

}  // namespace talvix::gui
