#include "DriveParsingModes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "CTalvixApp.h"
#include "PopulateDriveDlg.h"
#include "UiThread.h"
#include "VhdInputDialog.h"
#include "wizard/VolumeChoice.h"

namespace talvix::gui {

DriveParsingModes::DriveParsingModes(CTalvixApp& app, VhdInputDialog& diskPage)
    : Page(app, kPageId, true), diskPage_(diskPage) {
  setObjectName(QStringLiteral("DriveParsingModes"));

  auto* imageGroup = new QGroupBox(QStringLiteral("Save Disk Image:"), this);
  auto* imageLayout = new QGridLayout(imageGroup);
  saveDiskImage = new QCheckBox(QStringLiteral("Save Disk Image:"), imageGroup);
  imagePathEdit = new QLineEdit(imageGroup);
  imagePathEdit->setObjectName(QStringLiteral("imagePath"));
  imagePathEdit->setReadOnly(true);
  saveImage = new QPushButton(QStringLiteral("Save Image"), imageGroup);
  saveImage->setObjectName(QStringLiteral("saveImage"));
  saveImage->setAutoDefault(false);
  saveImage->setEnabled(false);
  imageLayout->addWidget(saveDiskImage, 0, 0);
  imageLayout->addWidget(imagePathEdit, 0, 1);
  imageLayout->addWidget(saveImage, 0, 2);
  content()->addWidget(imageGroup);

  auto* modeGroup = new QGroupBox(QStringLiteral("Select Mode:"), this);
  auto* mode = new QGridLayout(modeGroup);
  mode->addWidget(new QLabel(QStringLiteral("Currently Selected Drive :"), modeGroup), 0, 0);
  selectedDrive = new QLabel(modeGroup);
  selectedDrive->setObjectName(QStringLiteral("selectedDrive"));
  selectedDrive->setWordWrap(true);
  mode->addWidget(selectedDrive, 0, 1, 1, 3);
  standardScan = new QRadioButton(QStringLiteral("Standard Scan"), modeGroup);
  mode->addWidget(standardScan, 1, 0);
  gptFormat = new QCheckBox(QStringLiteral("GPT format"), modeGroup);
  mode->addWidget(gptFormat, 2, 0);
  mode->addWidget(new QLabel(QStringLiteral("(* Check If Partition type is GPT)"), modeGroup), 2, 1,
                  1, 3);
  advanceScan = new QRadioButton(QStringLiteral("Advance Scan"), modeGroup);
  mode->addWidget(advanceScan, 3, 0);
  doNotSkipVolumeSize = new QCheckBox(
      QStringLiteral("Do not Skip Volume Size While Parsing in Advance  Scan "), modeGroup);
  mode->addWidget(doNotSkipVolumeSize, 4, 0, 1, 4);
  customSetting = new QCheckBox(QStringLiteral("Custom Setting:"), modeGroup);
  mode->addWidget(customSetting, 5, 0);
  startLabel = new QLabel(QStringLiteral("Starting Sector:"), modeGroup);
  startSector = new QLineEdit(modeGroup);
  startSector->setObjectName(QStringLiteral("startSector"));
  endLabel = new QLabel(QStringLiteral("Ending Sector:"), modeGroup);
  endSector = new QLineEdit(modeGroup);
  endSector->setObjectName(QStringLiteral("endSector"));
  mode->addWidget(startLabel, 6, 0);
  mode->addWidget(startSector, 6, 1);
  mode->addWidget(endLabel, 6, 2);
  mode->addWidget(endSector, 6, 3);
  content()->addWidget(modeGroup);
  content()->addStretch(1);
  addStatusLine(QStringLiteral("Choose any one of the mode and click next...."), true);
  setPausable(&control_);

  connect(standardScan, &QRadioButton::clicked, this, [this] { standardClicked(); });
  connect(advanceScan, &QRadioButton::clicked, this, [this] { advanceClicked(); });
  connect(customSetting, &QCheckBox::clicked, this, [this] { customClicked(); });
  connect(saveDiskImage, &QCheckBox::clicked, this, [this] { saveDiskImageClicked(); });
  connect(saveImage, &QPushButton::clicked, this, [this] { saveImageClicked(); });

  setWorkControlsVisible(false);
  for (QWidget* w : std::initializer_list<QWidget*>{startLabel, startSector, endLabel, endSector})
    w->setEnabled(false);
  diskPath = diskPage_.pathText();
  if (app_.state.diskReader) app_.state.openDiskReader(diskPath.toStdString());
  selectedDrive->setText(diskPath);
  startSector->setText(QStringLiteral("0"));
  endSector->setText(QStringLiteral("0"));
  standardClicked();
}

DriveParsingModes::~DriveParsingModes() {
  finishWork();
}

void DriveParsingModes::finishWork() {
  if (!worker_.running()) return;
  control_.requestStop();
  waitFor(worker_);
  worker_.join();
}

ExportResult DriveParsingModes::lastExport() const {
  return result_;
}

void DriveParsingModes::standardClicked() {
  standardScan->setChecked(true);
  advanceScan->setChecked(false);
  doNotSkipVolumeSize->setEnabled(false);
  customSetting->setEnabled(false);
}

void DriveParsingModes::advanceClicked() {
  advanceScan->setChecked(true);
  standardScan->setChecked(false);
  doNotSkipVolumeSize->setEnabled(true);
  customSetting->setEnabled(true);
}

void DriveParsingModes::customClicked() {
  const bool on = customSetting->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{startLabel, startSector, endLabel, endSector})
    w->setEnabled(on);
}

void DriveParsingModes::saveDiskImageClicked() {
  app_.prompter().inform(
      "Make sure you have sufficient disk space at saving location of Image File",
      Caption::applicationTitle, MessageIcon::information);
  saveImage->setEnabled(saveDiskImage->isChecked());
}

void DriveParsingModes::saveImageClicked() {
  if (worker_.running()) return;
  const auto folder =
      app_.dialogs().chooseFolder(this, QStringLiteral("Please select the folder."));
  if (!folder) return;
  const auto image = chooseImagePath(folder->toStdString(), diskPath.toStdString());
  imagePath = QString::fromStdString(image.string());
  imagePathEdit->setText(imagePath);
  buildExportReader(app_.state, diskPage_.diskChoice());
  control_.clearStop();
  // Nothing leaves the page or starts a second export from here on.
  setNavigationEnabled(false);
  const std::filesystem::path disk = diskPath.toStdString();
  worker_.start([this, disk, image] {
    ExportResult result = exportDiskImage(
        app_.state, disk, image, ExportTargets{*this, *this, app_.prompter(), *this, control_});
    onUiThread(this, [&] { result_ = std::move(result); });
  });
}

void DriveParsingModes::stopClicked() {
  if (app_.prompter().askYesNo("Are you sure to stop the running process?",
                               Caption::applicationTitle, MessageIcon::question))
    control_.requestStop();
}

void DriveParsingModes::setNavigationEnabled(bool enabled) {
  onUiThread(this, [&] {
    for (QWidget* w :
         std::initializer_list<QWidget*>{nextButton(), backButton(), saveImage, saveDiskImage})
      w->setEnabled(enabled);
  });
}

void DriveParsingModes::setCopyControlsVisible(bool visible) {
  onUiThread(this, [&] {
    if (!visible) control_.resume();
    setWorkControlsVisible(visible);
  });
}

void DriveParsingModes::nextClicked() {
  auto* volumes = new PopulateDriveDlg(app_, diskPage_);
  volumes->diskPath = diskPath;
  volumes->doNotSkipVolumeSize = doNotSkipVolumeSize->isChecked();
  volumes->gptFormat = gptFormat->isChecked();
  volumes->scanMode = standardScan->isChecked() ? 1 : 2;
  if (customSetting->isChecked()) {
    const std::int64_t start = editNumber(startSector->text().toStdString());
    const std::int64_t end = editNumber(endSector->text().toStdString());
    if (end >= 0) volumes->customRange = {start, end};
  }
  showNext(volumes);
}

}  // namespace talvix::gui
