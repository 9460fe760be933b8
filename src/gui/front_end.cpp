// What both front ends share for a run: the main window, the parts and the interpreter.
#include "gui/front_end.h"

#include "engine/interpreter.h"
#include "gui/event_host.h"
#include "gui/part_registry.h"
#include "text/encoding.h"

namespace morivel::gui {

FrontEnd::FrontEnd(MainWindow& window, engine::Host& host, bool console)
    : window_(window), host_(host), console_(console) {
  parts_ = std::make_unique<PartRegistry>(*this);
}

FrontEnd::~FrontEnd() = default;

void FrontEnd::DialogClosed(QWidget& form) {
  std::erase_if(dialogs_, [&form](const QPointer<QWidget>& open) { return open == &form; });
  ++resumes_pending_;
}

bool FrontEnd::CloseInnermostDialog() {
  while (!dialogs_.empty()) {
    QPointer<QWidget> form = dialogs_.back();
    if (form && form->isVisible()) {
      form->close();
      return true;
    }
    dialogs_.pop_back();
  }
  return false;
}

FrontEnd& front_end(engine::Interpreter& in) {
  auto* host = dynamic_cast<EventHost*>(&in.GetHost());
  if (!host || !host->Front())
    throw in.Error("\"" + in.CurrentCommandName() +
                   text::sjis("\"命令は、このランタイムではまだ実行できません。"));
  return *host->Front();
}

}  // namespace morivel::gui
