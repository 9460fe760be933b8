// A drawing picture ("img"): the main window's and each form's surface for text and shapes.
#pragma once

#include <QImage>
#include <QWidget>

namespace morivel::gui {

// The largest side of a picture, and of a window or part a script sizes: a script can ask for any
// size, but each window's pixels are memory (8192 x 8192 at 32 bits is 256 MB).
inline constexpr int kLargestSide = 8192;

class Canvas : public QWidget {
  Q_OBJECT
 public:
  explicit Canvas(QWidget* parent);
  // The picture itself; call Changed() after painting on it.
  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }
  void Changed() { update(); }
  // A new picture size; the old picture is kept at the top left, the rest filled with `fill`.
  void ResizeImage(QSize size, QColor fill);
  // Replaces the picture (and the widget's size follows it).
  void SetImage(const QImage& image);
  void Clear(QColor colour);
  // The colour the window was last cleared with (画面クリア without an argument).
  QColor Background() const { return background_; }
  void SetBackground(QColor colour) { background_ = colour; }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool on);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
  QColor background_ = Qt::white;
  bool stretch_ = false;
};

}  // namespace morivel::gui
