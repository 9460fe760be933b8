// One run's front end wired together: main window, host, parts, vocabulary and interpreter.
#pragma once

#include <memory>
#include <string>

#include "commands/registry.h"
#include "engine/interpreter.h"
#include "gui/console_host.h"
#include "gui/front_end.h"
#include "gui/main_window.h"
#include "gui/window_host.h"

namespace morivel::gui {

class Session {
 public:
  Session(bool console, commands::PlatformInfo platform = commands::PlatformInfo());
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  MainWindow& Window() { return window_; }
  EventHost& Host() { return *host_; }
  // The host as the front end it is; nullptr for the other one.
  ConsoleHost* Console() { return console_; }
  WindowHost* Windowed() { return windowed_; }
  FrontEnd& Front() { return *front_; }
  engine::Interpreter& Interpreter() { return *interpreter_; }
  commands::BuiltinVocabulary& Vocabulary() { return *vocabulary_; }

  // Prepares `source` (Shift-JIS) and runs it up to its end or its first wait. Errors go to
  // the host's error dialog as in any run; throws only when the text cannot be prepared.
  void Run(const std::string& source, const std::string& file_name);
  // The console front end after the first run: events are handled while something can still
  // raise one (the script timer, a script going on after its dialog). Nobody can close a form
  // shown by ダイアログ表示 on the console, so once nothing else is left it is closed as its
  // user would, and the script goes on after the dialog.
  void RunConsoleEvents();
  // Lets other programs send the run "line", "pause" and "break" under the script's name.
  void ServeExternalControl(const std::string& file_name);

 private:
  MainWindow window_;
  std::unique_ptr<EventHost> host_;
  ConsoleHost* console_ = nullptr;
  WindowHost* windowed_ = nullptr;
  std::unique_ptr<FrontEnd> front_;
  std::unique_ptr<commands::BuiltinVocabulary> vocabulary_;
  std::unique_ptr<engine::Interpreter> interpreter_;
  // The external-control server of the run (line, pause, break); goes before the interpreter.
  std::unique_ptr<QObject> external_control_;
};

// Adds the handlers of the command families that need the window system.
void register_gui_handlers(commands::HandlerTable& table);

// Loads Qt's Japanese texts, so that Qt's own dialogs and buttons (files, colours, fonts,
// message boxes) speak the scripts' language. False when the translation files are missing.
bool install_qt_translations();

}  // namespace morivel::gui
