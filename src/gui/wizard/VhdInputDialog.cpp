#include "VhdInputDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "CTalvixApp.h"
#include "DriveParsingModes.h"
#include "wizard/DiskFileInfo.h"

namespace talvix::gui {

VhdInputDialog::VhdInputDialog(CTalvixApp& app) : Page(app, kPageId, false) {
  setObjectName(QStringLiteral("VhdInputDialog"));

  auto* options = new QGroupBox(QStringLiteral("Select Option:"), this);
  auto* optionsLayout = new QGridLayout(options);
  fixedDisk = new QRadioButton(QStringLiteral("Fixed Disk"), options);
  dynamicDisk = new QRadioButton(QStringLiteral("Dynamic Disk"), options);
  vmdkSplit = new QCheckBox(QStringLiteral("VmdkSplit"), options);
  extentType = new QComboBox(options);
  isDescripter = new QCheckBox(QStringLiteral("isDescripter"), options);
  optionsLayout->addWidget(fixedDisk, 0, 0);
  optionsLayout->addWidget(dynamicDisk, 0, 1);
  optionsLayout->addWidget(vmdkSplit, 1, 0);
  optionsLayout->addWidget(extentType, 1, 1);
  optionsLayout->addWidget(isDescripter, 1, 2);
  content()->addWidget(options);

  auto* file = new QGroupBox(QStringLiteral("File Path:"), this);
  auto* fileLayout = new QHBoxLayout(file);
  path = new QLineEdit(file);
  path->setObjectName(QStringLiteral("path"));
  browse = new QPushButton(QStringLiteral("..."), file);
  browse->setObjectName(QStringLiteral("browse"));
  browse->setAutoDefault(false);
  fileLayout->addWidget(path, 1);
  fileLayout->addWidget(browse);
  content()->addWidget(file);

  auto* info = new QGroupBox(QStringLiteral("File Information"), this);
  auto* infoLayout = new QGridLayout(info);
  const char* captions[] = {
      "File Format Version:", "Size of HDD:", "Sector Per Track:", "Head:", "Cylindar:"};
  for (int i = 0; i < 5; ++i) {
    infoCaptions[i] = new QLabel(QString::fromLatin1(captions[i]), info);
    infoValues[i] = new QLabel(info);
    infoValues[i]->setObjectName(QStringLiteral("info%1").arg(i));
    infoLayout->addWidget(infoCaptions[i], i, 0);
    infoLayout->addWidget(infoValues[i], i, 1);
  }
  infoLayout->setColumnStretch(1, 1);
  info->setMinimumHeight(170);
  content()->addWidget(info);
  content()->addStretch(1);

  connect(dynamicDisk, &QRadioButton::clicked, this, [this] { dynamicClicked(); });
  connect(fixedDisk, &QRadioButton::clicked, this, [this] { fixedClicked(); });
  connect(isDescripter, &QCheckBox::clicked, this, [this] { descriptorClicked(); });
  connect(browse, &QPushButton::clicked, this, [this] { browseClicked(); });

  setInfoVisible(false);
  nextButton()->setEnabled(false);
  extentType->addItems({QStringLiteral("SPARSE"), QStringLiteral("FLAT")});
  extentType->setCurrentIndex(0);
  dynamicClicked();
}

DiskChoice VhdInputDialog::diskChoice() const {
  DiskChoice choice;
  choice.diskKind = diskKind;
  choice.path = pathText().toStdString();
  choice.vmdkSplit = vmdkSplit->isChecked();
  choice.isDescripter = isDescripter->isChecked();
  choice.extentType = extentType->currentText().toStdString();
  // Files are taken by their content, whatever their name.
  choice.checkName = false;
  return choice;
}

QString VhdInputDialog::pathText() const {
  return path->text();
}

void VhdInputDialog::setInfoVisible(bool visible) {
  for (int i = 0; i < 5; ++i) {
    infoCaptions[i]->setVisible(visible);
    infoValues[i]->setVisible(visible);
  }
}

void VhdInputDialog::dynamicClicked() {
  dynamicDisk->setChecked(true);
  fixedDisk->setChecked(false);
  path->clear();
  for (QWidget* w :
       std::initializer_list<QWidget*>{vmdkSplit, isDescripter, extentType, browse, path})
    w->setEnabled(true);
}

void VhdInputDialog::fixedClicked() {
  fixedDisk->setChecked(true);
  dynamicDisk->setChecked(false);
  path->clear();
  vmdkSplit->setChecked(false);
  isDescripter->setChecked(false);
  for (QWidget* w : std::initializer_list<QWidget*>{vmdkSplit, isDescripter, extentType})
    w->setEnabled(false);
  browse->setEnabled(true);
  path->setEnabled(true);
  setInfoVisible(false);
}

void VhdInputDialog::descriptorClicked() {
  if (isDescripter->isChecked()) {
    vmdkSplit->setChecked(false);
    vmdkSplit->setEnabled(false);
    extentType->setEnabled(false);
  } else {
    extentType->setCurrentIndex(0);
    vmdkSplit->setEnabled(true);
    extentType->setEnabled(true);
  }
}

void VhdInputDialog::browseClicked() {
  const auto picked = app_.dialogs().openDiskFile(this);
  if (!picked) return;
  nextButton()->setEnabled(true);
  if (fixedDisk->isChecked()) {
    if (!picked->isEmpty()) {
      chosenPath = *picked;
      path->setText(*picked);
    }
    return;
  }
  const ChosenDiskFile chosen = examineDiskFile(picked->toStdString());
  diskKind = chosen.kind;
  if (picked->isEmpty()) return;
  chosenPath = *picked;
  path->setText(*picked);
  app_.state.dropDiskReader();
  app_.state.diskSourcePage = kPageId;
  // The information of an earlier file must not stay beside this one.
  setInfoVisible(chosen.info.has_value());
  if (!chosen.info) return;
  const DiskFileInfo& info = *chosen.info;
  const std::string* texts[] = {&info.formatVersion, &info.sizeText, &info.sectorsPerTrack,
                                &info.heads, &info.cylinders};
  for (int i = 0; i < 5; ++i) infoValues[i]->setText(QString::fromStdString(*texts[i]));
}

void VhdInputDialog::nextClicked() {
  if (path->text().isEmpty()) {
    app_.prompter().inform("Please browse vmdk File ", Caption::applicationTitle,
                           MessageIcon::information);
    return;
  }
  if (chosenPath.isEmpty()) {
    app_.prompter().inform("nothing selected...", Caption::programName, MessageIcon::none);
    return;
  }
  showNext(new DriveParsingModes(app_, *this));
}

}  // namespace talvix::gui
