// What both front ends share for a run: the main window, the parts and the interpreter.
#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

namespace morivel::engine {
class Host;
class Interpreter;
}  // namespace morivel::engine

namespace morivel::gui {

class MainWindow;
class PartRegistry;

class FrontEnd {
 public:
  FrontEnd(MainWindow& window, engine::Host& host, bool console);
  ~FrontEnd();
  FrontEnd(const FrontEnd&) = delete;
  FrontEnd& operator=(const FrontEnd&) = delete;

  MainWindow& Window() { return window_; }
  engine::Host& Host() { return host_; }
  PartRegistry& Parts() { return *parts_; }
  // True in the console front end: the window stays offscreen and 表示 also prints.
  bool Console() const { return console_; }
  // The interpreter events re-enter; set once the run's interpreter exists.
  void Attach(engine::Interpreter& in) { in_ = &in; }
  engine::Interpreter* Interpreter() { return in_; }

  // ダイアログ表示: the forms shown as dialogs, innermost last, and the closed ones whose script
  // has not gone on yet.
  void DialogOpened(QWidget& form) { dialogs_.emplace_back(&form); }
  void DialogClosed(QWidget& form);
  void ResumeStarted() { --resumes_pending_; }
  bool ResumePending() const { return resumes_pending_ > 0; }
  // Closes the innermost dialog form still open, as its user would; false when none is.
  bool CloseInnermostDialog();

 private:
  MainWindow& window_;
  engine::Host& host_;
  std::unique_ptr<PartRegistry> parts_;
  bool console_;
  engine::Interpreter* in_ = nullptr;
  std::vector<QPointer<QWidget>> dialogs_;
  int resumes_pending_ = 0;
};

// The front end of the run `in` belongs to; throws the language's error when the run has no
// window system (a host that is not one of the Qt front ends).
FrontEnd& front_end(engine::Interpreter& in);

}  // namespace morivel::gui
