// What both front ends share for a run: the main window, the parts and the interpreter.
#pragma once

#include <memory>

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

 private:
  MainWindow& window_;
  engine::Host& host_;
  std::unique_ptr<PartRegistry> parts_;
  bool console_;
  engine::Interpreter* in_ = nullptr;
};

// The front end of the run `in` belongs to; throws the language's error when the run has no
// window system (a host that is not one of the Qt front ends).
FrontEnd& front_end(engine::Interpreter& in);

}  // namespace morivel::gui
