#pragma once

#include "Page.h"
#include "volumes/Volume.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace talvix::gui {

class PopulateDriveDlg;

// The recovery mode page: the modes that the chosen volume's file system supports.
class ParceModeNtfsDlg : public Page {
  Q_OBJECT
 public:
  static constexpr int kPageId = 136;

  ParceModeNtfsDlg(CTalvixApp& app, PopulateDriveDlg& volumePage, int openedFrom);

  std::string fsPrefix;
  int openedFrom = -1;
  Volume volume;
  int recoveryMode = -1;

  QRadioButton* standard;
  QRadioButton* advanced;
  QRadioButton* deep;
  QLabel* maxLabel;
  QLineEdit* maxFileSystems;
  QLabel* maxNote;
  QCheckBox* driveFormated;

 protected:
  void nextClicked() override;

 private:
  void standardClicked();
  void advancedClicked();
  void deepClicked();
  void setAdvancedControlsVisible(bool visible);

  bool formattedHint_ = false;
};

}  // namespace talvix::gui
