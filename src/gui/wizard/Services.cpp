#include "Services.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <string>

#include "UiThread.h"

namespace talvix::gui {

std::optional<QString> QtFileDialogs::openDiskFile(QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("vmdk"));
  dialog.setNameFilters({QStringLiteral("Virtual disks (*.vmdk *.vhd *.vdi)"),
                         QStringLiteral("VMDK files (*.vmdk)"), QStringLiteral("All files (*)")});
  dialog.setOption(QFileDialog::ReadOnly, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtFileDialogs::chooseFolder(QWidget* parent, const QString& title) {
  const QString folder =
      QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

QString captionText(Caption caption) {
  switch (caption) {
    case Caption::applicationTitle:
      return QString::fromUtf8(kApplicationTitle.data(),
                               static_cast<qsizetype>(kApplicationTitle.size()));
    case Caption::programName:
      return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    case Caption::none:
      break;
  }
  return {};
}

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::information:
      return QMessageBox::Information;
    case MessageIcon::question:
      return QMessageBox::Question;
    case MessageIcon::none:
      break;
  }
  return QMessageBox::NoIcon;
}

QString qText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void QtPrompter::inform(std::string_view text, Caption caption, MessageIcon icon) {
  QMessageBox box(boxIcon(icon), captionText(caption), qText(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

bool QtPrompter::askYesNo(std::string_view text, Caption caption, MessageIcon icon) {
  QMessageBox box(boxIcon(icon), captionText(caption), qText(text),
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  return box.exec() == QMessageBox::Yes;
}

void UiThreadPrompter::inform(std::string_view text, Caption caption, MessageIcon icon) {
  const std::string copy(text);
  onUiThread(ui_, [&] { inner_.inform(copy, caption, icon); });
}

bool UiThreadPrompter::askYesNo(std::string_view text, Caption caption, MessageIcon icon) {
  const std::string copy(text);
  return onUiThread(ui_, [&] { return inner_.askYesNo(copy, caption, icon); });
}

}  // namespace talvix::gui
