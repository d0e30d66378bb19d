#pragma once

#include <atomic>

#include "Page.h"
#include "app/DiskImageExport.h"
#include "app/WorkerControl.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace talvix::gui {

class VhdInputDialog;

// The scan mode page: exports the whole disk as an image, and chooses how volumes are found.
class DriveParsingModes : public Page, private ExportView {
  Q_OBJECT
 public:
  static constexpr int kPageId = 152;

  DriveParsingModes(CTalvixApp& app, VhdInputDialog& diskPage);
  ~DriveParsingModes() override;

  bool workRunning() const override { return worker_.running(); }
  void finishWork() override;
  // The outcome of the last export, once it has ended.
  ExportResult lastExport() const;

  QString diskPath;
  QString imagePath;

  QCheckBox* saveDiskImage;
  QLineEdit* imagePathEdit;
  QPushButton* saveImage;
  QLabel* selectedDrive;
  QRadioButton* standardScan;
  QCheckBox* gptFormat;
  QRadioButton* advanceScan;
  QCheckBox* doNotSkipVolumeSize;
  QCheckBox* customSetting;
  QLabel* startLabel;
  QLineEdit* startSector;
  QLabel* endLabel;
  QLineEdit* endSector;

 protected:
  void nextClicked() override;
  void stopClicked() override;

 private:
  void setNavigationEnabled(bool enabled) override;
  void setCopyControlsVisible(bool visible) override;
  void standardClicked();
  void advanceClicked();
  void customClicked();
  void saveDiskImageClicked();
  void saveImageClicked();

  VhdInputDialog& diskPage_;
  WorkerControl control_;
  Worker worker_;
  ExportResult result_;
};

}  // namespace talvix::gui
