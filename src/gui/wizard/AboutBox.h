#pragma once

#include <QDialog>
#include <QPoint>

namespace talvix::gui {

// The About box: product, version and where help is found. It can be dragged by any point of
// its body, not only by its title bar.
class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool dragging_ = false;
  QPoint grabOffset_;
};

}  // namespace talvix::gui
