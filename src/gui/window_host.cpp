// Window front end.
#include "gui/window_host.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

#include "gui/error_dialogs.h"
#include "text/encoding.h"

namespace morivel::gui {

void WindowHost::ShowText(const std::string& text) {
  shown_.append(lines_to_qstring(text));
}

void WindowHost::ShowMessage(const std::string& text) {
  QMessageBox::information(&window_, QApplication::applicationName(), to_qstring(text));
}

engine::ErrorChoice WindowHost::ShowErrorDialog(const std::string& log) {
  ErrorDialog dialog(&window_, log, debug_mode_);
  dialog.exec();
  return dialog.Choice();
}

engine::DebugChoice WindowHost::ShowDebugDialog(const std::string& variables,
                                                const std::string& stack,
                                                const std::string& search) {
  DebugDialog dialog(&window_, variables, stack, search);
  dialog.exec();
  return dialog.Choice();
}

std::string WindowHost::ChooseButton(const std::string& message, const std::string& buttons) {
  QMessageBox box(&window_);
  box.setWindowTitle(QApplication::applicationName());
  box.setText(to_qstring(message));
  QStringList labels = to_qstring(buttons).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  std::vector<QAbstractButton*> added;
  for (const QString& label : labels)
    added.push_back(box.addButton(label, QMessageBox::ActionRole));
  box.exec();
  for (std::size_t i = 0; i < added.size(); ++i)
    if (box.clickedButton() == added[i])
      return text::from_utf16(labels[static_cast<qsizetype>(i)].toStdU16String());
  return {};
}

void WindowHost::CloseMainWindow() {
  closed_ = true;
  window_.close();
  QApplication::quit();
}

}  // namespace morivel::gui
