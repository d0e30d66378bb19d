#pragma once

#include <array>

#include "Page.h"
#include "disk/DiskChoice.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace talvix::gui {

// The first page: the virtual disk file and how it is laid out.
class VhdInputDialog : public Page {
  Q_OBJECT
 public:
  static constexpr int kPageId = 142;

  explicit VhdInputDialog(CTalvixApp& app);

  // The page's choices as later pages build readers from them; the path is the path box's
  // text.
  DiskChoice diskChoice() const;
  QString pathText() const;

  QString chosenPath;
  DiskKind diskKind = DiskKind::none;

  QRadioButton* fixedDisk;
  QRadioButton* dynamicDisk;
  QCheckBox* vmdkSplit;
  QComboBox* extentType;
  QCheckBox* isDescripter;
  QLineEdit* path;
  QPushButton* browse;
  // "File Format Version:", "Size of HDD:", "Sector Per Track:", "Head:", "Cylindar:".
  std::array<QLabel*, 5> infoCaptions{};
  std::array<QLabel*, 5> infoValues{};

 protected:
  void nextClicked() override;

 private:
  void dynamicClicked();
  void fixedClicked();
  void descriptorClicked();
  void browseClicked();
  void setInfoVisible(bool visible);
};

}  // namespace talvix::gui
