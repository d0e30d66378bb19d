#include "Page.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <string>

#include "AboutBox.h"
#include "CTalvixApp.h"
#include "UiThread.h"

namespace talvix::gui {

Page::Page(CTalvixApp& app, int pageId, bool hasBack) : app_(app), pageId_(pageId) {
  setWindowTitle(captionText(Caption::applicationTitle));
  setFixedSize(WizardWindow::kPageWidth, WizardWindow::kPageHeight);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 8);

  auto* banner = new QLabel(this);
  banner->setObjectName(QStringLiteral("banner"));
  banner->setPixmap(QPixmap(QStringLiteral(":/wizard/banner.png")));
  banner->setFixedHeight(72);
  outer->addWidget(banner);

  content_ = new QVBoxLayout;
  content_->setContentsMargins(14, 6, 14, 0);
  outer->addLayout(content_, 1);

  buttonRow_ = new QHBoxLayout;
  buttonRow_->setContentsMargins(14, 4, 14, 0);
  help_ = new QToolButton(this);
  help_->setObjectName(QStringLiteral("help"));
  help_->setText(QStringLiteral("Help"));
  help_->setIcon(QIcon(QStringLiteral(":/wizard/help.png")));
  help_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  help_->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(help_);
  menu->setObjectName(QStringLiteral("helpMenu"));
  connect(menu->addAction(QStringLiteral("Help")), &QAction::triggered, this,
          [this] { app_.openHelpPage(); });
  connect(menu->addAction(QStringLiteral("Software Homepage")), &QAction::triggered, this,
          [this] { app_.openHelpPage(); });
  connect(menu->addAction(QStringLiteral("About")), &QAction::triggered, this,
          [this] { showAbout(); });
  help_->setMenu(menu);
  buttonRow_->addWidget(help_);
  buttonRow_->addStretch(1);

  const auto button = [this](const char* name, const QString& text) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
  };
  stop_ = button("stop", QStringLiteral("Stop"));
  pause_ = button("pause", QStringLiteral("Pause"));
  resume_ = button("resume", QStringLiteral("Resume"));
  for (QPushButton* b : {stop_, pause_, resume_}) b->hide();
  back_ = button("back", QStringLiteral("Back"));
  back_->setIcon(QIcon(QStringLiteral(":/wizard/back.png")));
  next_ = button("next", QStringLiteral("Next"));
  next_->setIcon(QIcon(QStringLiteral(":/wizard/next.png")));
  next_->setLayoutDirection(Qt::RightToLeft);
  if (hasBack)
    buttonRow_->addWidget(back_);
  else
    back_->hide();
  buttonRow_->addWidget(next_);
  outer->addLayout(buttonRow_);

  connect(next_, &QPushButton::clicked, this, [this] { nextClicked(); });
  connect(back_, &QPushButton::clicked, this, [this] { backClicked(); });
  connect(stop_, &QPushButton::clicked, this, [this] { stopClicked(); });
  connect(pause_, &QPushButton::clicked, this, [this] {
    if (!pausable_) return;
    pausable_->pause();
    pause_->setEnabled(false);
    resume_->setEnabled(true);
    setStatusText("Pause button pressed");
  });
  connect(resume_, &QPushButton::clicked, this, [this] {
    if (!pausable_) return;
    pausable_->resume();
    pause_->setEnabled(true);
    resume_->setEnabled(false);
    setStatusText("Resume button pressed");
  });
}

Page::~Page() = default;

void Page::addStatusLine(const QString& initial, bool withWorker) {
  status_ = new QLabel(initial, this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setWordWrap(true);
  content_->addWidget(status_);
  if (!withWorker) return;
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setTextVisible(true);
  content_->addWidget(progress_);
  // Stop, Pause and Resume sit before Back and Next.
  const int at = buttonRow_->indexOf(back_->isHidden() ? next_ : back_);
  buttonRow_->insertWidget(at, resume_);
  buttonRow_->insertWidget(at, pause_);
  buttonRow_->insertWidget(at, stop_);
}

void Page::setWorkControlsVisible(bool visible) {
  if (progress_) progress_->setVisible(visible);
  stop_->setVisible(visible);
  pause_->setVisible(visible && pausable_);
  resume_->setVisible(visible && pausable_);
  const bool paused = pausable_ && pausable_->paused();
  pause_->setEnabled(!paused);
  resume_->setEnabled(paused);
}

void Page::setProgressRange(std::int64_t low, std::int64_t high) {
  onUiThread(this, [&] {
    if (!progress_) return;
    // The bar counts in int; a larger range is shown in coarser steps.
    constexpr std::int64_t kMax = std::numeric_limits<int>::max();
    const std::int64_t span = high > low ? high - low : 0;
    progressLow_ = low;
    progressScale_ = span / kMax + 1;
    progress_->setRange(0, static_cast<int>(span / progressScale_));
  });
}

void Page::setProgressPosition(std::int64_t position) {
  onUiThread(this, [&] {
    if (!progress_) return;
    const std::int64_t value = (position - progressLow_) / progressScale_;
    progress_->setValue(static_cast<int>(
        std::clamp<std::int64_t>(value, progress_->minimum(), progress_->maximum())));
  });
}

void Page::setStatusText(std::string_view text) {
  const std::string copy(text);
  onUiThread(this, [&] {
    if (status_) status_->setText(QString::fromStdString(copy));
  });
}

QString Page::statusText() const {
  return status_ ? status_->text() : QString();
}

void Page::waitFor(const Worker& worker) {
  while (worker.running()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QThread::msleep(2);
  }
}

void Page::showNext(Page* next) {
  app_.window()->push(next);
}

void Page::goBack() {
  app_.window()->back();
}

void Page::showAbout() {
  AboutBox about(this);
  about.exec();
}

}  // namespace talvix::gui
