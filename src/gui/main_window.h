// The main window 母艦: a client area whose back is the drawing picture "img", parts above it.
#pragma once

#include <QMainWindow>

#include <functional>

class QMenuBar;

namespace morivel::gui {

class Canvas;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  MainWindow();
  // The client area: parts are placed on it; its size is the window's client size.
  QWidget& Client() { return *client_; }
  Canvas& Img() { return *img_; }
  // Places the window at the centre of the screen's work area.
  void CentreOnScreen();
  // The menu bar, made on first use. The window grows by the bar's height, so the client area
  // keeps its size below it.
  QMenuBar* Menus();
  // Asked before the window closes (the script's end handler); false keeps it open.
  void SetCloseQuery(std::function<bool()> query) { close_query_ = std::move(query); }
  // Called whenever the client area changes size.
  void SetResizeHandler(std::function<void()> handler) { resize_handler_ = std::move(handler); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* client_;
  Canvas* img_;
  QMenuBar* menu_bar_ = nullptr;
  std::function<bool()> close_query_;
  std::function<void()> resize_handler_;
};

}  // namespace morivel::gui
