#include "CTalvixApp.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "Page.h"
#include "VhdInputDialog.h"

// The banner and button images live in the wizard library; a static library's resources are
// registered by hand.
static void initWizardResources() {
  Q_INIT_RESOURCE(wizard);
}

namespace talvix::gui {

WizardWindow::WizardWindow(CTalvixApp& app) : app_(app), stack_(new QStackedWidget(this)) {
  setObjectName(QStringLiteral("wizardWindow"));
  setWindowTitle(captionText(Caption::applicationTitle));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(stack_);
  setFixedSize(kPageWidth, kPageHeight);
  qApp->installEventFilter(this);
}

WizardWindow::~WizardWindow() {
  qApp->removeEventFilter(this);
}

void WizardWindow::push(Page* next) {
  pages_.push_back(next);
  stack_->addWidget(next);
  stack_->setCurrentWidget(next);
  next->pageStarted();
}

void WizardWindow::back() {
  if (pages_.size() < 2) return;
  Page* current = pages_.back();
  pages_.pop_back();
  stack_->setCurrentWidget(pages_.back());
  stack_->removeWidget(current);
  current->hide();
  current->deleteLater();
}

Page* WizardWindow::currentPage() const {
  return pages_.empty() ? nullptr : pages_.back();
}

void WizardWindow::closeEvent(QCloseEvent* event) {
  Page* page = currentPage();
  const MessageIcon icon = page ? page->closeIcon() : MessageIcon::question;
  if (!app_.prompter().askYesNo("Do you want to Close Application ?", Caption::applicationTitle,
                                icon)) {
    event->ignore();
    return;
  }
  // Workers end before their pages go; they still reach the window while they finish.
  for (auto it = pages_.rbegin(); it != pages_.rend(); ++it) (*it)->finishWork();
  app_.openHelpPage();
  event->accept();
  QCoreApplication::quit();
}

bool WizardWindow::eventFilter(QObject* watched, QEvent* event) {
  // Enter and Esc do nothing on a page: no page has a default or a cancel button.
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
    auto* widget = qobject_cast<QWidget*>(watched);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (widget && widget->window() == this &&
        (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape))
      return true;
  }
  return QWidget::eventFilter(watched, event);
}

CTalvixApp::CTalvixApp(Options options)
    : options_(std::move(options)), uiAnchor_(std::make_unique<QObject>()) {
  initWizardResources();
  Prompter& inner = options_.prompter ? *options_.prompter : qtPrompter_;
  uiPrompter_ = std::make_unique<UiThreadPrompter>(inner, uiAnchor_.get());
  dialogs_ = options_.dialogs ? options_.dialogs : &qtDialogs_;
}

CTalvixApp::~CTalvixApp() {
  window_.reset();
}

bool CTalvixApp::start() {
  state.rootName = "ROOT";
  state.diskSectors = 0;
  lock_ = std::make_unique<SingleInstanceLock>(options_.lockPath);
  if (!lock_->acquired()) {
    lock_.reset();
    prompter().inform("Another instance of application is already running",
                      Caption::applicationTitle, MessageIcon::information);
    return false;
  }
  window_ = std::make_unique<WizardWindow>(*this);
  state.driveFormatted = false;
  state.searchText.clear();
  window_->push(new VhdInputDialog(*this));
  window_->show();
  return true;
}

void CTalvixApp::openHelpPage() {
  if (options_.openHelp) {
    options_.openHelp();
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(helpPagePath()));
}

QString CTalvixApp::helpPagePath() {
  // Installed beside the program; in the build tree the copy the build put there.
  const QDir programDir(QCoreApplication::applicationDirPath());
  for (const QString& candidate : {programDir.filePath(QStringLiteral("help.html")),
                                   programDir.filePath(QStringLiteral("../share/talvix/help.html")),
                                   QStringLiteral(TALVIX_HELP_PAGE)}) {
    if (QFileInfo::exists(candidate)) return QFileInfo(candidate).absoluteFilePath();
  }
  return QStringLiteral(TALVIX_HELP_PAGE);
}

}  // namespace talvix::gui
