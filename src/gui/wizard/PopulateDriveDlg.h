#pragma once

#include <memory>
#include <utility>

#include "Page.h"
#include "app/WorkerControl.h"
#include "volumes/Partition.h"
#include "volumes/Volume.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace talvix::gui {

class VhdInputDialog;

// The volume page: finds the volumes of the disk as it opens, lists them, and lets the user
// pick one, override its start, end and file system, or add a volume of their own.
class PopulateDriveDlg : public Page {
  Q_OBJECT
 public:
  static constexpr int kPageId = 134;

  PopulateDriveDlg(CTalvixApp& app, VhdInputDialog& diskPage);
  ~PopulateDriveDlg() override;

  void pageStarted() override;
  bool workRunning() const override { return worker_.running(); }
  void finishWork() override;
  MessageIcon closeIcon() const override { return MessageIcon::information; }

  // Set by the scan mode page before the page starts.
  QString diskPath;
  std::pair<std::int64_t, std::int64_t> customRange{0, 0};
  bool doNotSkipVolumeSize = false;
  int scanMode = 1;
  bool gptFormat = false;

  VolumeList volumes;
  Volume* selectedVolume = nullptr;
  bool customApplied = false;

  QTableWidget* list;
  QPushButton* filterEntries;
  QPushButton* addCustomVolume;
  QCheckBox* customSettings;
  QLabel* selectedVolumeLabel;
  QLabel* selectedVolumeValue;
  QLabel* startLabel;
  QLineEdit* startEdit;
  QToolButton* startUp;
  QToolButton* startDown;
  QLabel* endLabel;
  QLineEdit* endEdit;
  QToolButton* endUp;
  QToolButton* endDown;
  QLabel* fileSystemLabel;
  QComboBox* fileSystemList;

 protected:
  void nextClicked() override;
  void backClicked() override;
  void stopClicked() override;

 private:
  class Scan;

  void standardScan();
  void advancedScan();
  void advancedScanFinished();
  void insertRow(int at, std::size_t record);
  void rowSelected();
  void rowClicked(int row);
  void customClicked();
  void addCustomClicked();
  void filterClicked();
  void setCustomControlsEnabled(bool enabled);
  static void spin(QLineEdit* edit, bool up);

  VhdInputDialog& diskPage_;
  std::unique_ptr<Scan> scan_;
  std::unique_ptr<Partition> partition_;
  WorkerControl control_;
  Worker worker_;
};

}  // namespace talvix::gui
