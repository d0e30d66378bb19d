#pragma once

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "Services.h"
#include "app/ApplicationState.h"
#include "wizard/SingleInstance.h"

class QStackedWidget;

namespace talvix::gui {

class Page;
class CTalvixApp;

// The one window of the wizard: the pages of equal size stacked in it, the current one shown.
class WizardWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kPageWidth = 660;
  static constexpr int kPageHeight = 600;

  explicit WizardWindow(CTalvixApp& app);
  ~WizardWindow() override;

  // Next: shows `next` (which the window takes) and hides the current page.
  void push(Page* next);
  // Back: shows the previous page again and destroys the current one.
  void back();
  Page* currentPage() const;
  const std::vector<Page*>& pages() const { return pages_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CTalvixApp& app_;
  QStackedWidget* stack_;
  std::vector<Page*> pages_;
};

// The application: the single-instance rule, the state that all pages share, and the window.
class CTalvixApp {
 public:
  struct Options {
    Prompter* prompter = nullptr;    // message boxes when null
    FileDialogs* dialogs = nullptr;  // the system's choosers when null
    std::function<void()> openHelp;  // opens the help page in the browser when empty
    std::filesystem::path lockPath = SingleInstanceLock::defaultPath();
  };

  explicit CTalvixApp(Options options);
  ~CTalvixApp();

  // Start-up: false (after telling the user) when another copy runs; otherwise shows the
  // first page.
  bool start();

  ApplicationState state;

  // Prompts from any thread.
  Prompter& prompter() { return *uiPrompter_; }
  FileDialogs& dialogs() { return *dialogs_; }
  WizardWindow* window() const { return window_.get(); }
  void openHelpPage();

  // The offline help page shipped with the program.
  static QString helpPagePath();

 private:
  Options options_;
  QtPrompter qtPrompter_;
  QtFileDialogs qtDialogs_;
  std::unique_ptr<QObject> uiAnchor_;
  std::unique_ptr<UiThreadPrompter> uiPrompter_;
  FileDialogs* dialogs_;
  std::unique_ptr<SingleInstanceLock> lock_;
  std::unique_ptr<WizardWindow> window_;
};

}  // namespace talvix::gui
