#include <QApplication>

#include "CTalvixApp.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("talvix-recovery"));
  QApplication::setOrganizationName(QStringLiteral("Talvix"));
  talvix::gui::CTalvixApp app({});
  if (!app.start()) return 0;
  return QApplication::exec();
}
