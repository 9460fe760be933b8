// A drawing picture ("img"): the main window's and each form's surface for text and shapes.
#include "gui/canvas.h"

#include <QPainter>

namespace morivel::gui {

Canvas::Canvas(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("img"));
  image_ = QImage(QSize(1, 1), QImage::Format_RGB32);
  image_.fill(Qt::white);
}

void Canvas::Settle() {
  if (deferred_.Pending()) deferred_.PaintOn(*this);
}

void Canvas::ResizeImage(QSize size, QColor fill) {
  Settle();
  size = size.expandedTo(QSize(1, 1)).boundedTo(QSize(kLargestSide, kLargestSide));
  if (size == image_.size()) return;
  QImage bigger(size, QImage::Format_RGB32);
  bigger.fill(fill);
  QPainter painter(&bigger);
  painter.drawImage(0, 0, image_);
  painter.end();
  image_ = std::move(bigger);
  update();
}

void Canvas::SetImage(const QImage& image) {
  Settle();
  image_ = image.convertToFormat(QImage::Format_RGB32);
  if (!stretch_) resize(image_.size());
  update();
}

void Canvas::Clear(QColor colour) {
  Settle();
  background_ = colour;
  image_.fill(colour);
  update();
}

void Canvas::SetStretch(bool on) {
  stretch_ = on;
  update();
}

void Canvas::paintEvent(QPaintEvent*) {
  Settle();
  QPainter painter(this);
  if (stretch_)
    painter.drawImage(rect(), image_);
  else
    painter.drawImage(0, 0, image_);
}

}  // namespace morivel::gui
