// Draws the wizard's banner and button images; run once, the PNG files are committed.
// Build: g++ -std=c++20 -fPIC make-images.cpp $(pkg-config --cflags --libs Qt6Gui) -o make-images
// Run:   QT_QPA_PLATFORM=offscreen ./make-images <folder>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

void banner(const QString& folder) {
  QImage image(660, 72, QImage::Format_ARGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 660, 72);
  sky.setColorAt(0, QColor(18, 52, 86));
  sky.setColorAt(1, QColor(33, 118, 142));
  p.fillRect(image.rect(), sky);
  // A disk platter with a read head.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(220, 232, 240));
  p.drawEllipse(QPointF(44, 36), 26, 26);
  p.setBrush(QColor(18, 52, 86));
  p.drawEllipse(QPointF(44, 36), 6, 6);
  p.setPen(QPen(QColor(120, 150, 170), 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(44, 36), 17, 17);
  p.drawEllipse(QPointF(44, 36), 12, 12);
  p.setPen(QPen(QColor(250, 190, 60), 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(74, 12), QPointF(52, 30));
  p.setPen(Qt::white);
  QFont title("DejaVu Sans", 20, QFont::Bold);
  p.setFont(title);
  p.drawText(QRectF(88, 8, 540, 34), Qt::AlignLeft | Qt::AlignVCenter, "Talvix VMDK Recovery");
  QFont sub("DejaVu Sans", 10);
  p.setFont(sub);
  p.setPen(QColor(200, 225, 235));
  p.drawText(QRectF(90, 42, 540, 22), Qt::AlignLeft | Qt::AlignVCenter,
             "Recover volumes and files from VMDK, VHD and VDI virtual disks");
  image.save(folder + "/banner.png");
}

void arrow(const QString& folder, const QString& name, bool right) {
  QImage image(20, 20, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath path;
  if (right) {
    path.moveTo(5, 3);
    path.lineTo(16, 10);
    path.lineTo(5, 17);
  } else {
    path.moveTo(15, 3);
    path.lineTo(4, 10);
    path.lineTo(15, 17);
  }
  path.closeSubpath();
  p.fillPath(path, QColor(33, 118, 142));
  image.save(folder + "/" + name);
}

void help(const QString& folder) {
  QImage image(20, 20, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(33, 118, 142));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(1, 1, 18, 18));
  p.setPen(Qt::white);
  p.setFont(QFont("DejaVu Sans", 11, QFont::Bold));
  p.drawText(QRectF(1, 1, 18, 18), Qt::AlignCenter, "?");
  image.save(folder + "/help.png");
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  banner(folder);
  arrow(folder, "next.png", true);
  arrow(folder, "back.png", false);
  help(folder);
  return 0;
}
