#pragma once

#include <QWidget>
#include <cstdint>
#include <string_view>

#include "app/Feedback.h"
#include "app/WorkerControl.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;
class QVBoxLayout;
class QHBoxLayout;

namespace talvix::gui {

class CTalvixApp;

// What every wizard page shares: the banner, the page's own controls, the status line and
// progress bar of pages that work, and the button row (the Help menu, Stop, Pause and
// Resume where a worker runs, Back and Next). The status line and progress bar answer from
// any thread: a worker's call is carried out on the user-interface thread while it waits.
class Page : public QWidget, public ProgressTarget, public StatusLine {
  Q_OBJECT
 public:
  Page(CTalvixApp& app, int pageId, bool hasBack);
  ~Page() override;

  int pageId() const { return pageId_; }

  // Called once when the page is first shown.
  virtual void pageStarted() {}
  // Whether the page's worker runs.
  virtual bool workRunning() const { return false; }
  // Closing the application: stop the worker without asking, and wait for it.
  virtual void finishWork() {}
  virtual MessageIcon closeIcon() const { return MessageIcon::question; }

  void setProgressRange(std::int64_t low, std::int64_t high) override;
  void setProgressPosition(std::int64_t position) override;
  void setStatusText(std::string_view text) override;

  QString statusText() const;
  QProgressBar* progressBar() const { return progress_; }
  QPushButton* nextButton() const { return next_; }
  QPushButton* backButton() const { return back_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* pauseButton() const { return pause_; }
  QPushButton* resumeButton() const { return resume_; }
  QToolButton* helpButton() const { return help_; }

 protected:
  QVBoxLayout* content() const { return content_; }
  // Adds the status line (with `initial` text) and, for pages with a worker, the progress
  // bar and the Stop, Pause and Resume buttons, hidden until the work starts.
  void addStatusLine(const QString& initial, bool withWorker);
  // Shows or hides the progress bar and Stop, Pause, Resume together.
  void setWorkControlsVisible(bool visible);
  // The worker that Pause and Resume act on.
  void setPausable(WorkerControl* control) { pausable_ = control; }
  // Waits for a worker to end while the user-interface thread keeps serving its calls.
  void waitFor(const Worker& worker);

  void showNext(Page* next);
  void goBack();

  virtual void nextClicked() {}
  virtual void backClicked() { goBack(); }
  virtual void stopClicked() {}

  CTalvixApp& app_;

 private:
  void showAbout();

  int pageId_;
  QVBoxLayout* content_ = nullptr;
  QHBoxLayout* buttonRow_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QToolButton* help_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* pause_ = nullptr;
  QPushButton* resume_ = nullptr;
  WorkerControl* pausable_ = nullptr;
  std::int64_t progressLow_ = 0;
  std::int64_t progressScale_ = 1;
};

}  // namespace talvix::gui
