// The window application of examples/ works as its comment says: typed items go to the list, a
// chosen item shows in the label, and the clear button empties the list.
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::u;

class ExampleAppTest : public QObject {
  Q_OBJECT

 private slots:
  void shoppingListReactsToClicks();
};

void ExampleAppTest::shoppingListReactsToClicks() {
  QFile file(QStringLiteral(MORIVEL_SOURCE_DIR "/examples/window_app.mrv"));
  QVERIFY(file.open(QIODevice::ReadOnly));
  QByteArray sjis = file.readAll();
  GuiRun run(/*console=*/true);
  run.session().Run(sjis.toStdString(), "window_app.mrv");
  QCOMPARE(gui::to_qstring(run.interpreter().ErrorLog()), QString());

  auto* edit = qobject_cast<QLineEdit*>(run.Widget("品物エディタ"));
  auto* add = qobject_cast<QPushButton*>(run.Widget("追加ボタン"));
  auto* clear = qobject_cast<QPushButton*>(run.Widget("全部消すボタン"));
  auto* list = qobject_cast<QListWidget*>(run.Widget("品物リスト"));
  QWidget* label = run.Widget("案内ラベル");
  QVERIFY(edit && add && clear && list && label);
  QCOMPARE(add->text(), u("追加"));  // captioned by the caption rule

  for (const char* item : {"りんご", "牛乳"}) {
    edit->setText(u(item));
    QTest::mouseClick(add, Qt::LeftButton);
  }
  QCOMPARE(run.Value("品"), u("牛乳"));
  QCOMPARE(list->count(), 2);
  QCOMPARE(list->item(0)->text(), u("りんご"));
  QCOMPARE(list->item(1)->text(), u("牛乳"));
  QCOMPARE(edit->text(), QString());

  QRect second = list->visualItemRect(list->item(1));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
  QTRY_VERIFY_WITH_TIMEOUT(run.Value("品").size() > 0, 2000);
  QVERIFY(label->property("text").toString().contains(u("『牛乳』を選びました。")));

  QTest::mouseClick(clear, Qt::LeftButton);
  QCOMPARE(list->count(), 0);
  QCOMPARE(gui::to_qstring(run.interpreter().ErrorLog()), QString());
}

QTEST_MAIN(ExampleAppTest)
#include "example_app_test.moc"
