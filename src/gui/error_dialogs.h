// The error dialog and the debug dialog of the window front end.
#pragma once

#include <QDialog>

#include <string>

#include "engine/host.h"

class QLineEdit;
class QPlainTextEdit;

namespace morivel::gui {

// Centres a dialog on a window that is shown, or else on that window's screen.
void centre_over(QWidget& dialog, const QWidget& over);

// Shows the error log; the debug button is there only in debug mode.
class ErrorDialog : public QDialog {
  Q_OBJECT
 public:
  ErrorDialog(QWidget* parent, const std::string& log, bool debug_mode);
  engine::ErrorChoice Choice() const { return choice_; }

 private:
  engine::ErrorChoice choice_ = engine::ErrorChoice::Quit;
};

// Shows the variables and the run-control stack, and asks how the run goes on.
class DebugDialog : public QDialog {
  Q_OBJECT
 public:
  DebugDialog(QWidget* parent, const std::string& variables, const std::string& stack,
              const std::string& search);
  engine::DebugChoice Choice() const { return choice_; }

 private:
  void Find(const QString& word);
  QPlainTextEdit* variables_;
  QLineEdit* search_;
  engine::DebugChoice choice_ = engine::DebugChoice::Stop;
};

}  // namespace morivel::gui
