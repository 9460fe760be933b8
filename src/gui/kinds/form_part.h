// Forms (the main window among them), menu items and popup menus as parts.
#pragma once

#include <QAction>
#include <QMenu>
#include <QPointer>

#include <functional>

#include "gui/canvas.h"
#include "gui/part.h"

namespace morivel::gui {

// A form's window: its client area is the window itself, with the picture "img" at the back.
class FormWindow : public QWidget {
  Q_OBJECT
 public:
  explicit FormWindow(QWidget* owner);
  Canvas& Img() { return *img_; }
  // Called when the form is closed (by the user or a command), after it hid.
  std::function<void()> OnClose;
  std::function<void()> OnResize;
  // The size the script gave the form. A hidden form keeps it against late reports of the
  // window system (the size the window had when it was last shown).
  void KeepSize(QSize size) { kept_size_ = size; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  Canvas* img_;
  QSize kept_size_;
};

class FormPart : public Part {
 public:
  // The main window: `window` is the frame, `client` its client area, `img` its picture.
  FormPart(QWidget& window, QWidget& client, Canvas& img, bool main);
  // A new form of a script.
  explicit FormPart(const PartSetup& setup);

  Canvas& Img() { return *img_; }
  QWidget* Container() const override { return client_; }
  std::vector<QWidget*> EventWidgets() const override;
  std::optional<expr::Value> Read(PropertyCall& call) override;
  bool Write(PropertyCall& call, const std::string& value) override;
  void Deactivate() override;
  // The client size, and setting it through the frame.
  QSize ClientSize() const;
  void SetClientSize(QSize size);
  bool IsMain() const { return main_; }
  // ダイアログ表示: runs `on_close` once when the form closes next (instead of its close event).
  void SetDialogClose(std::function<void()> on_close) { dialog_close_ = std::move(on_close); }
  std::function<void()> TakeDialogClose() { return std::exchange(dialog_close_, nullptr); }

 private:
  QPointer<QWidget> client_;
  QPointer<Canvas> img_;
  bool main_;
  int border_style_ = 2;  // sizeable
  std::function<void()> dialog_close_;
};

// A menu item (of the menu bar, of another item or of a popup menu).
class MenuPart : public Part {
 public:
  explicit MenuPart(QAction* action);
  ~MenuPart() override;
  QAction* Action() const { return action_; }
  // The submenu that items added under this one go into, made on first use.
  QMenu* Submenu();
  bool ClicksFromMouse() const override { return false; }
  std::optional<expr::Value> Read(PropertyCall& call) override;
  bool Write(PropertyCall& call, const std::string& value) override;
  void Deactivate() override;

 private:
  QPointer<QAction> action_;
};

class PopupPart : public Part {
 public:
  explicit PopupPart(QMenu* menu);
  QMenu* Menu() const { return qobject_cast<QMenu*>(Widget()); }
  bool ClicksFromMouse() const override { return false; }
};

}  // namespace morivel::gui
