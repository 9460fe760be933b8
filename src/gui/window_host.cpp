// Window front end.
#include "gui/window_host.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "text/encoding.h"

namespace morivel::gui {

QString to_qstring(const std::string& sjis) {
  std::u16string utf16 = text::to_utf16(sjis);
  return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
}

MainWindow::MainWindow() : canvas_(new QPlainTextEdit(this)) {
  canvas_->setReadOnly(true);
  canvas_->setFrameStyle(0);
  setCentralWidget(canvas_);
  resize(640, 400);
}

void MainWindow::AppendText(const QString& text) { canvas_->appendPlainText(text); }

void WindowHost::ShowText(const std::string& text) {
  QString s = to_qstring(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  window_.AppendText(s);
}

void WindowHost::ShowMessage(const std::string& text) {
  QMessageBox::information(&window_, QApplication::applicationName(), to_qstring(text));
}

engine::ErrorChoice WindowHost::ShowErrorDialog(const std::string& log) {
  QMessageBox box(&window_);
  box.setWindowTitle(to_qstring(text::sjis("実行中にエラーが発生しました。")));
  box.setText(to_qstring(log));
  QPushButton* go_on = box.addButton(to_qstring(text::sjis("実行を続ける(&O)")), QMessageBox::AcceptRole);
  box.addButton(to_qstring(text::sjis("終了(&C)")), QMessageBox::RejectRole);
  box.exec();
  return box.clickedButton() == go_on ? engine::ErrorChoice::Continue : engine::ErrorChoice::Quit;
}

void WindowHost::CloseMainWindow() {
  closed_ = true;
  window_.close();
  QApplication::quit();
}

}  // namespace morivel::gui
