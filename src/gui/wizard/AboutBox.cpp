#include "AboutBox.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "CTalvixApp.h"
#include "Services.h"

namespace talvix::gui {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutBox"));
  setWindowTitle(QStringLiteral("About ") + captionText(Caption::applicationTitle));
  auto* layout = new QVBoxLayout(this);
  auto* banner = new QLabel(this);
  banner->setPixmap(QPixmap(QStringLiteral(":/wizard/banner.png")));
  layout->addWidget(banner);
  auto* text = new QLabel(this);
  text->setObjectName(QStringLiteral("aboutText"));
  text->setTextFormat(Qt::RichText);
  text->setOpenExternalLinks(true);
  text->setText(
      QStringLiteral("<b>%1</b> version %2<br>Recovers volumes and files from VMDK, VHD and "
                     "VDI virtual disks; the disk file is only read.<br><br>"
                     "Help: <a href=\"%3\">the help page shipped with the program</a>")
          .arg(captionText(Caption::applicationTitle), QStringLiteral(TALVIX_VERSION),
               QUrl::fromLocalFile(CTalvixApp::helpPagePath()).toString()));
  layout->addWidget(text);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("aboutOk"));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignRight);
}

void AboutBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QDialog::mousePressEvent(event);
  dragging_ = true;
  grabOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void AboutBox::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return QDialog::mouseMoveEvent(event);
  move(event->globalPosition().toPoint() - grabOffset_);
}

void AboutBox::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  QDialog::mouseReleaseEvent(event);
}

}  // namespace talvix::gui
