// One run's front end wired together: main window, host, parts, vocabulary and interpreter.
#include "gui/session.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

#include "archive/commands.h"
#include "automation/external_control.h"
#include "automation/register.h"
#include "bridges/families.h"
#include "gui/canvas.h"
#include "gui/families.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "media/commands.h"
#include "net/register.h"
#include "text/encoding.h"

namespace morivel::gui {

Session::Session(bool console, commands::PlatformInfo platform) {
  // Each run starts with the program's own title; 母艦のタイトル changes it for the run.
  QApplication::setApplicationName(to_qstring(text::sjis("もりべる")));
  window_.setWindowTitle(QApplication::applicationName());
  if (console) {
    auto host = std::make_unique<ConsoleHost>();
    console_ = host.get();
    host_ = std::move(host);
  } else {
    auto host = std::make_unique<WindowHost>(window_);
    windowed_ = host.get();
    host_ = std::move(host);
  }
  front_ = std::make_unique<FrontEnd>(window_, *host_, console);
  host_->SetFrontEnd(front_.get());
  vocabulary_ = std::make_unique<commands::BuiltinVocabulary>(std::move(platform));
  register_gui_handlers(vocabulary_->Handlers());
  interpreter_ = std::make_unique<engine::Interpreter>(*host_, *vocabulary_);
  front_->Attach(*interpreter_);
  auto close_query = [this] { return interpreter_->QueryClose(); };
  window_.SetCloseQuery(close_query);
  if (console_) console_->SetCloseQuery(close_query);
}

Session::~Session() {
  // The run's parts go first (their controls sit on the window), then the registry that their
  // signals report to, then the window.
  external_control_.reset();
  interpreter_.reset();
  // The released parts' controls go now, while the registry their signals report to still
  // exists; a control destroyed later with the window could still emit on its way out.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  host_->SetFrontEnd(nullptr);
  front_.reset();
}

void Session::Run(const std::string& source, const std::string& file_name) {
  // A new run starts at its own drawing position: text an earlier run put off owes it nothing.
  window_.Img().Deferred().ForgetPosition();
  interpreter_->PrepareRun(source, file_name);
  interpreter_->StartAtBeginning();
  interpreter_->RunMainLoop();
}

void Session::ServeExternalControl(const std::string& file_name) {
  if (!external_control_)
    external_control_ = automation::StartExternalControl(*interpreter_, file_name);
}

void Session::RunConsoleEvents() {
  if (!console_) return;
  while (!console_->Closed() && !interpreter_->State().StopFlag) {
    if (!console_->EventsPending() && !front_->ResumePending()) {
      if (!front_->CloseInnermostDialog()) return;
      continue;
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

bool install_qt_translations() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  auto japanese = std::make_unique<QTranslator>();
  if (!japanese->load(QStringLiteral("qtbase_ja"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return false;
  if (!QCoreApplication::installTranslator(japanese.get())) return false;
  japanese.release()->setParent(app);  // the application owns it from here
  return true;
}

void register_gui_handlers(commands::HandlerTable& table) {
  register_part_commands(table);
  register_drawing(table);
  register_images(table);
  register_image_effects(table);
  register_image_part_drawing(table);
  register_kind_commands(table);
  register_form_settings(table);
  register_printing(table);
  bridges::register_bridge_handlers(table);
  net::register_net_handlers(table);
  archive::register_archive_commands(table);
  archive::register_peripheral_commands(table);
  media::register_media_commands(table);
  automation::register_automation_handlers(table);
}

}  // namespace morivel::gui
