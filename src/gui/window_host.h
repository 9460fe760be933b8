// The window front end: the main window and Qt message boxes.
#pragma once

#include <QMainWindow>
#include <QPlainTextEdit>

#include <functional>

#include "gui/event_host.h"

namespace morivel::gui {

// The main window 母艦. For now its client area lists what 表示 wrote.
class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  MainWindow();
  void AppendText(const QString& text);
  // Everything shown so far, one 表示 a line.
  QString Text() const;
  // Asked before the window closes (the script's end handler); false keeps it open.
  void SetCloseQuery(std::function<bool()> query) { close_query_ = std::move(query); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPlainTextEdit* canvas_;
  std::function<bool()> close_query_;
};

class WindowHost : public EventHost {
 public:
  explicit WindowHost(MainWindow& window) : window_(window) {}
  void ShowText(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  engine::ErrorChoice ShowErrorDialog(const std::string& log) override;
  engine::DebugChoice ShowDebugDialog(const std::string& variables, const std::string& stack,
                                      const std::string& search) override;
  void SetDebugMode(bool on) { debug_mode_ = on; }
  std::string ChooseButton(const std::string& message, const std::string& buttons) override;
  void CloseMainWindow() override;

  bool Closed() const { return closed_; }

 private:
  MainWindow& window_;
  bool closed_ = false;
  bool debug_mode_ = false;
};

QString to_qstring(const std::string& sjis);

}  // namespace morivel::gui
