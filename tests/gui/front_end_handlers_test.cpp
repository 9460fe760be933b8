// The front end's own handlers against the terminal host's choice: a command the front end
// serves differently from the plain handlers must send its scripts to the window side.
#include <QtTest>

#include "commands/registry.h"
#include "gui/session.h"
#include "startup/window_side.h"

using namespace morivel;

class FrontEndHandlersTest : public QObject {
  Q_OBJECT

 private slots:
  void everyCommandTheFrontEndChangesIsWindowSide() {
    const commands::HandlerTable& plain = commands::handler_table();
    commands::HandlerTable full = plain;
    gui::register_gui_handlers(full);
    int changed = 0;
    for (int id = 0; id < commands::kHandlerSlots; ++id) {
      if (full.Get(id) == plain.Get(id)) continue;
      ++changed;
      // 表示 also draws on the window side, where only window-side commands can look at it; its
      // output file and printing are the plain handler's own.
      if (id == 0) continue;
      QVERIFY2(startup::IsWindowSideCommand(id, plain), qPrintable(QString::number(id)));
    }
    QVERIFY(changed > 200);
  }
};

QTEST_MAIN(FrontEndHandlersTest)
#include "front_end_handlers_test.moc"
