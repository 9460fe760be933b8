// The main window 母艦: a client area whose back is the drawing picture "img", parts above it.
#include "gui/main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>

#include "gui/canvas.h"

namespace morivel::gui {

namespace {
constexpr int kClientWidth = 640;
constexpr int kClientHeight = 400;
}  // namespace

MainWindow::MainWindow() : client_(new QWidget(this)), img_(new Canvas(client_)) {
  client_->setObjectName(QStringLiteral("client"));
  setCentralWidget(client_);
  client_->installEventFilter(this);
  img_->setGeometry(0, 0, kClientWidth, kClientHeight);
  img_->ResizeImage(QSize(kClientWidth, kClientHeight), Qt::white);
  client_->resize(kClientWidth, kClientHeight);
  resize(kClientWidth, kClientHeight);
  CentreOnScreen();
}

void MainWindow::CentreOnScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect area = screen->availableGeometry();
  move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (close_query_ && !close_query_()) {
    event->ignore();
    return;
  }
  event->accept();
}

QMenuBar* MainWindow::Menus() {
  if (!menu_bar_) {
    menu_bar_ = menuBar();
    menu_bar_->installEventFilter(this);
  }
  return menu_bar_;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == menu_bar_ && event->type() == QEvent::Resize) {
    auto* resize_event = static_cast<QResizeEvent*>(event);
    int before = std::max(0, resize_event->oldSize().height());
    int grown = resize_event->size().height() - before;
    if (grown != 0) resize(width(), height() + grown);
  }
  if (watched == client_ && event->type() == QEvent::Resize) {
    QSize size = static_cast<QResizeEvent*>(event)->size();
    // The picture grows with the window and keeps what was drawn; it never shrinks, so that
    // drawing made while the window was small is not lost.
    img_->ResizeImage(img_->Image().size().expandedTo(size), img_->Background());
    img_->resize(size);
    img_->lower();
    if (resize_handler_) resize_handler_();
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace morivel::gui
