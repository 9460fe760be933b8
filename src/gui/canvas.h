// A drawing picture ("img"): the main window's and each form's surface for text and shapes.
#pragma once

#include <QImage>
#include <QWidget>

#include "gui/drawing_deferred.h"

namespace morivel::gui {

// The largest side of a picture, and of a window or part a script sizes: a script can ask for any
// size, but each window's pixels are memory (8192 x 8192 at 32 bits is 256 MB).
inline constexpr int kLargestSide = 8192;

class Canvas : public QWidget {
  Q_OBJECT
 public:
  explicit Canvas(QWidget* parent);
  // The picture itself, with any text put off painted first; call Changed() after painting on it.
  QImage& Image() {
    if (deferred_.Pending()) Settle();
    return image_;
  }
  const QImage& Image() const {
    // Canvases are widgets and never const objects: only the view of them is.
    if (deferred_.Pending()) const_cast<Canvas*>(this)->Settle();
    return image_;
  }
  // Text put off until the picture is looked at (the console front end's 表示).
  DeferredText& Deferred() { return deferred_; }
  // Paints the text put off.
  void Settle();
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
  DeferredText deferred_;
  QColor background_ = Qt::white;
  bool stretch_ = false;
};

}  // namespace morivel::gui
