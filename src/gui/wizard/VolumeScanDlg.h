#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "Page.h"
#include "UiThreadTree.h"
#include "app/WorkerControl.h"
#include "browser/BrowserTree.h"
#include "browser/CheckList.h"
#include "browser/CheckTree.h"
#include "browser/FileIcons.h"
#include "browser/VolumeScan.h"
#include "volumes/Volume.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace talvix::gui {

class CheckListView;
class CheckTreeModel;
class CheckTreeView;
class FileListModel;
class ItemIcons;
class ParceModeNtfsDlg;

// The file browser: scans the chosen volume on a worker, shows its folders as a tree with
// check boxes and the files of the clicked folder as a list, saves a folder (or, by a double
// click, one file) into an output folder, and searches the volume's file names on a worker.
// Every call a worker makes into the page comes to the page object itself.
class VolumeScanDlg : public Page {
  Q_OBJECT
 public:
  static constexpr int kPageId = 139;

  VolumeScanDlg(CTalvixApp& app, ParceModeNtfsDlg& modePage);
  ~VolumeScanDlg() override;

  void pageStarted() override;
  bool workRunning() const override { return worker_.running(); }
  void finishWork() override;

  int recoveryMode = -1;
  // From the start of the scan until its closing steps: Save refuses to run.
  bool pageBusy = false;
  // Stop was pressed; a Save clears it before it writes.
  std::atomic<bool> stopPressed{false};
  const int folderIcon = FileIconIndex::kFolder;

  QLineEdit* volumeData;
  CheckTreeView* treeView;
  CheckListView* listView;
  QLineEdit* outputFolder;
  QPushButton* chooseOutputFolder;
  QPushButton* save;
  QLineEdit* searchText;
  QPushButton* search;
  QLabel* fileSizeLine;

  CXHtmlTree& tree() { return tree_; }
  CCheckListCtrl& fileList() { return fileList_; }
  // The volume after its scan; null before the scan ends (or when it could not run).
  ScannedVolume* scannedVolume() const { return scanned_.get(); }

 protected:
  void stopClicked() override;

 private:
  class FileSizeLine;
  class SearchRows;
  class WorkerPrompter;

  void startScan();
  void scanFinished(std::unique_ptr<ScannedVolume> scanned, const std::string& error);
  void labelClicked(TreeItem item);
  void itemExpanded(TreeItem item);
  void itemDoubleClicked(TreeItem item);
  void quickSave(TreeItem item);
  void saveClicked();
  void chooseFolderClicked();
  void searchClicked();
  // A Stop pressed during the scan must not keep later saves from writing.
  void clearStops();

  ParceModeNtfsDlg& modePage_;
  Volume volume_;
  BrowsedFileSystem fileSystem_ = BrowsedFileSystem::none;
  bool scanStarted_ = false;
  bool closing_ = false;

  CXHtmlTree tree_;
  CCheckListCtrl fileList_;
  FileIconIndex icons_;
  std::unique_ptr<ItemIcons> itemIcons_;
  std::unique_ptr<CheckTreeModel> treeModel_;
  std::unique_ptr<FileListModel> listModel_;
  std::unique_ptr<FileSizeLine> fileSizeTarget_;
  std::unique_ptr<SearchRows> searchRows_;
  std::unique_ptr<WorkerPrompter> workerPrompter_;
  UiThreadTree uiTree_;
  std::unique_ptr<ScannedVolume> scanned_;
  std::unique_ptr<BrowserTree> browser_;
  WorkerControl control_;
  Worker worker_;
};

}  // namespace talvix::gui
