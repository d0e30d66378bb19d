#include "ParceModeNtfsDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "CTalvixApp.h"
#include "PopulateDriveDlg.h"
#include "VolumeScanDlg.h"
#include "browser/VolumeScan.h"
#include "wizard/RecoveryModes.h"

namespace talvix::gui {

ParceModeNtfsDlg::ParceModeNtfsDlg(CTalvixApp& app, PopulateDriveDlg& volumePage, int from)
    : Page(app, kPageId, true), openedFrom(from) {
  setObjectName(QStringLiteral("ParceModeNtfsDlg"));
  auto* group = new QGroupBox(QStringLiteral("Select Recovery Mode"), this);
  auto* layout = new QGridLayout(group);
  standard = new QRadioButton(QStringLiteral("Standard"), group);
  advanced = new QRadioButton(QStringLiteral("Advanced"), group);
  deep = new QRadioButton(QStringLiteral("Deep"), group);
  // Each click sets the radios itself.
  for (QRadioButton* r : {standard, advanced, deep}) r->setAutoExclusive(false);
  maxLabel = new QLabel(QStringLiteral("Please Enter Max File Systems to Find :"), group);
  maxFileSystems = new QLineEdit(group);
  maxFileSystems->setObjectName(QStringLiteral("maxFileSystems"));
  maxFileSystems->setFixedWidth(80);
  maxNote = new QLabel(QStringLiteral("( By  Default  it's  = 3 )"), group);
  driveFormated = new QCheckBox(QStringLiteral("Is Drive Formated..?"), group);
  layout->addWidget(standard, 0, 0, 1, 3);
  layout->addWidget(advanced, 1, 0, 1, 3);
  layout->addWidget(maxLabel, 2, 1);
  layout->addWidget(maxFileSystems, 2, 2);
  layout->addWidget(maxNote, 3, 2);
  layout->addWidget(driveFormated, 4, 1, 1, 2);
  layout->addWidget(deep, 5, 0, 1, 3);
  layout->setColumnMinimumWidth(0, 24);
  content()->addWidget(group);
  auto* hint = new QLabel(QStringLiteral("Chose Any Recovery Mode And Click Next....."), this);
  content()->addWidget(hint);
  content()->addStretch(1);

  connect(standard, &QRadioButton::clicked, this, [this] { standardClicked(); });
  connect(advanced, &QRadioButton::clicked, this, [this] { advancedClicked(); });
  connect(deep, &QRadioButton::clicked, this, [this] { deepClicked(); });
  connect(driveFormated, &QCheckBox::clicked, this,
          [this] { app_.state.driveFormatted = driveFormated->isChecked(); });

  maxFileSystems->setText(QStringLiteral("3"));
  setAdvancedControlsVisible(false);
  driveFormated->hide();
  if (openedFrom == PopulateDriveDlg::kPageId && volumePage.selectedVolume)
    volume = *volumePage.selectedVolume;
  const RecoveryModes modes = recoveryModesFor(volume.fileSystem);
  fsPrefix = modes.fsPrefix;
  formattedHint_ = modes.formattedHint;
  standard->setVisible(modes.standard);
  advanced->setVisible(modes.advanced);
  deep->setVisible(modes.deep);
  standardClicked();
}

void ParceModeNtfsDlg::setAdvancedControlsVisible(bool visible) {
  maxLabel->setVisible(visible);
  maxFileSystems->setVisible(visible);
  maxNote->setVisible(visible);
}

void ParceModeNtfsDlg::standardClicked() {
  app_.state.driveFormatted = false;
  driveFormated->setChecked(false);
  setAdvancedControlsVisible(false);
  driveFormated->hide();
  standard->setChecked(true);
  advanced->setChecked(false);
  deep->setChecked(false);
  recoveryMode = 1;
}

void ParceModeNtfsDlg::advancedClicked() {
  app_.state.driveFormatted = false;
  driveFormated->setChecked(false);
  setAdvancedControlsVisible(true);
  advanced->setChecked(true);
  standard->setChecked(false);
  deep->setChecked(false);
  driveFormated->setVisible(formattedHint_);
  recoveryMode = 2;
}

void ParceModeNtfsDlg::deepClicked() {
  app_.state.driveFormatted = false;
  driveFormated->setChecked(false);
  setAdvancedControlsVisible(false);
  driveFormated->hide();
  deep->setChecked(true);
  standard->setChecked(false);
  advanced->setChecked(false);
  recoveryMode = 3;
}

void ParceModeNtfsDlg::nextClicked() {
  // The browser tells a volume it cannot read ("not a valid drive.") itself.
  const BrowsedFileSystem fs = browsedFileSystem(volume.fileSystem);
  if (recoveryMode != 2 && (fs == BrowsedFileSystem::ntfs || fs == BrowsedFileSystem::none)) {
    showNext(new VolumeScanDlg(app_, *this));
    return;
  }
  const std::string page = recoveryMode == 2
                               ? "The damaged-volume search (Advanced mode)"
                               : "The file browser for " + volume.fileSystem + " volumes";
  app_.prompter().inform(page + " is not available yet in this version.", Caption::applicationTitle,
                         MessageIcon::information);
}

}  // namespace talvix::gui
