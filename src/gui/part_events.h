// Mouse, key and drop events of part controls turned into event slot firings.
#pragma once

#include <QObject>
#include <QPointF>

class QMouseEvent;

namespace morivel::gui {

class PartRegistry;

// Installed on every event widget of every part; the widget's "morivelNumber" property names
// the part.
class PartEventFilter : public QObject {
 public:
  explicit PartEventFilter(PartRegistry& parts) : parts_(parts) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool HandleMouse(int number, QObject* watched, QMouseEvent& mouse);
  bool HandleDrop(int number, QEvent* event);
  // Whether this mouse event already fired for the part: an event that a part's inner widget
  // (a list's viewport) leaves unaccepted reaches the part's outer widget as well.
  bool AlreadyFired(int number, const QMouseEvent& mouse);
  PartRegistry& parts_;
  struct Fired {
    int number = -1;
    int type = 0;
    quint64 timestamp = 0;
    QPointF global;
  } last_fired_;
};

// Key preview: a form (the main window included) hears every key pressed or released in it
// before the part that has the focus, also keys that part uses itself (Space on a button).
// Installed on the application, so it sees a key before any widget does.
class KeyPreview : public QObject {
 public:
  explicit KeyPreview(PartRegistry& parts);
  ~KeyPreview() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  PartRegistry& parts_;
};

// The platform's virtual key code of a Qt key (letters and digits as their upper-case ASCII
// codes, F1 = 112, arrows 37..40 ...); 0 for keys without one.
int virtual_key_of(int qt_key);

}  // namespace morivel::gui
