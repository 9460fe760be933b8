// Mouse, key and drop events of part controls turned into event slot firings.
#pragma once

#include <QObject>

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
  bool HandleDrop(int number, QEvent* event);
  PartRegistry& parts_;
};

// The platform's virtual key code of a Qt key (letters and digits as their upper-case ASCII
// codes, F1 = 112, arrows 37..40 ...); 0 for keys without one.
int virtual_key_of(int qt_key);

}  // namespace morivel::gui
