// GUI tests of the dialog commands: each form driven as a user would, and what それ becomes.
#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <string>
#include <vector>

#include "engine/interpreter.h"
#include "gui/dialogs.h"
#include "support/gui_run.h"
#include "text/encoding.h"

using namespace morivel;
using morivel::testing::GuiRun;
using morivel::testing::kDeadlineMs;
using morivel::testing::u;

namespace {

// What a test does with one modal dialog; it runs from the event loop, never inside the poll,
// so that an action may itself open a modal dialog.
using Action = std::function<void(QWidget&)>;

// Hands each modal dialog the run opens to the next action; a dialog with no action left, or
// still open past the deadline, is rejected so that no test can hang.
class FormDriver : public QObject {
 public:
  explicit FormDriver(std::vector<Action> actions) : actions_(std::move(actions)) {
    clock_.start();
    poll_.setInterval(10);
    connect(&poll_, &QTimer::timeout, this, &FormDriver::Poll);
    poll_.start();
  }
  std::size_t Handled() const { return handled_.size(); }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (clock_.elapsed() > kDeadlineMs) {
      Dismiss(modal);
      return;
    }
    for (const QPointer<QWidget>& seen : handled_)
      if (seen && seen == modal) return;
    handled_.emplace_back(modal);
    QPointer<QWidget> target(modal);
    if (handled_.size() > actions_.size()) {
      Dismiss(modal);
      return;
    }
    Action action = actions_[handled_.size() - 1];
    QTimer::singleShot(0, this, [target, action] {
      if (target) action(*target);
    });
  }

  static void Dismiss(QWidget* modal) {
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
  }

  std::vector<Action> actions_;
  std::vector<QPointer<QWidget>> handled_;
  QElapsedTimer clock_;
  QTimer poll_;
};

template <typename T>
T& child(QWidget& form, const char* name) {
  T* found = form.findChild<T*>(QString::fromLatin1(name));
  if (!found) qFatal("no child %s", name);
  return *found;
}

QPushButton* button(QWidget& form, const QString& caption) {
  for (QPushButton* b : form.findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}

void click(QWidget& form, const char* utf8_caption) {
  QPushButton* b = button(form, u(utf8_caption));
  if (!b) qFatal("no button %s", utf8_caption);
  b->click();
}

// Types `name` into a file dialog showing `folder` and accepts it, as a user would.
void choose(QFileDialog& files, const QString& folder, const QString& name) {
  files.setDirectory(folder);
  files.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
  static_cast<QDialog&>(files).accept();
}

std::string sore_type(GuiRun& run) {
  return run.interpreter().FindWord(text::sjis("それ"))->TypeMark;
}

int screen_height() {
  return QGuiApplication::primaryScreen()->geometry().height();
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void messageFitsScreenHeight();
  void sayShowsPreparedTextInMessageForm();
  void sayCutsTallTextToWholeLines();
  void askTypesAnswerAndCopiesCancelValue();
  void yesNoQuestionsGiveTheirNumbers();
  void selectDialogKeysAndEditField();
  void listSelectionIsReadOnlyAndDoubleClickAccepts();
  void buttonSelectionCapsAtFiftyAndLaysOut();
  void memoKeepsTextOnFrameCloseAndCancels();
  void inputListEditorsFollowMarkers();
  void colourAndFontDialogs();
  void fileDialogsOfferFiltersAndReturnPaths();
  void dialogSizePlacesAndResizesForms();
};

// The cut keeps whole lines and marks the cut; a text that fits stays as it is.
void DialogsTest::messageFitsScreenHeight() {
  QCOMPARE(gui::message_max_height(768), 538);
  QCOMPARE(gui::message_max_height(600), 420);
  const std::string three = "a\r\nb\r\nc";
  QCOMPARE(gui::fit_message_lines(three, 60, 20), three);
  QCOMPARE(gui::fit_message_lines(three, 59, 20), std::string("a\r\nb\r\n..."));
  QCOMPARE(gui::fit_message_lines(three + "\r\n", 60, 20), three + "\r\n");
  QCOMPARE(gui::fit_message_lines(three, 10, 20), std::string("..."));
  QCOMPARE(gui::name_filters(text::sjis("txt 形式(*.txt)|*.txt|全て(*.*)|*.*")),
           QStringList({u("txt 形式(*.txt)"), u("全て(*.*)")}));
  QCOMPARE(gui::name_filters(text::sjis("画像|*.png;*.bmp")),
           QStringList({u("画像 (*.png *.bmp)")}));
}

void DialogsTest::sayShowsPreparedTextInMessageForm() {
  GuiRun run;
  QString label, caption, second_caption;
  QStringList buttons;
  int width = 0;
  FormDriver driver({[&](QWidget& form) {
                       label = child<QLabel>(form, "lblMsg").text();
                       caption = form.windowTitle();
                       for (QPushButton* b : form.findChildren<QPushButton*>())
                         buttons << b->text();
                       width = form.width();
                       QTest::keyClick(&form, Qt::Key_Return);
                     },
                     [&](QWidget& form) {
                       second_caption = form.windowTitle();
                       click(form, "&OK");
                     }});
  run.Run(
      "「元」を大文字変換\n"
      "「a\\tb」と言う\n"
      "ダイアログタイトル=「お知らせ」\n"
      "「x」と言う\n");
  QCOMPARE(driver.Handled(), std::size_t{2});
  QCOMPARE(label, u("a       b"));
  QCOMPARE(caption, run.window().windowTitle());
  QCOMPARE(second_caption, u("お知らせ"));
  QCOMPARE(buttons, QStringList({u("&OK")}));
  QVERIFY(width >= 100);
  QCOMPARE(run.Value("それ"), u("元"));
}

void DialogsTest::sayCutsTallTextToWholeLines() {
  GuiRun run;
  QString label;
  int label_height = 0;
  QString long_label;
  FormDriver driver({[&](QWidget& form) {
                       label = child<QLabel>(form, "lblMsg").text();
                       label_height = child<QLabel>(form, "lblMsg").height();
                       click(form, "&OK");
                     },
                     [&](QWidget& form) {
                       long_label = child<QLabel>(form, "lblMsg").text();
                       click(form, "&OK");
                     }});
  run.Run(
      "L=「」\n"
      "Iを1から300まで繰り返す(L=L&I&改行)\n"
      "Lと言う\n"
      "T=「」\n"
      "5000回(T=T&「x」)\n"
      "Tと言う\n");
  QCOMPARE(driver.Handled(), std::size_t{2});
  QStringList lines = label.split(QLatin1Char('\n'));
  QVERIFY2(lines.size() > 2 && lines.size() < 300, qPrintable(label));
  QCOMPARE(lines.last(), u("..."));
  for (qsizetype i = 0; i + 1 < lines.size(); ++i) QCOMPARE(lines[i], QString::number(i + 1));
  QVERIFY2(label_height <= gui::message_max_height(screen_height()) + 40,
           qPrintable(QString::number(label_height)));
  QCOMPARE(long_label, QString(4095, QLatin1Char('x')) + u("..."));
}

void DialogsTest::askTypesAnswerAndCopiesCancelValue() {
  GuiRun run;
  QString initial, prompt;
  int width = 0;
  bool edit_has_focus = false;
  QStringList answers;
  std::vector<std::string> types;
  FormDriver driver({[&](QWidget& form) {
                       auto& edit = child<QLineEdit>(form, "edtInput");
                       initial = edit.text();
                       prompt = child<QLabel>(form, "lblMsg").text();
                       width = form.width();
                       edit_has_focus = form.focusWidget() == &edit;
                       edit.clear();
                       QTest::keyClicks(&edit, QStringLiteral("12"));
                       QTest::keyClick(&edit, Qt::Key_Return);
                     },
                     [&](QWidget& form) {
                       child<QLineEdit>(form, "edtInput").setText(QStringLiteral("abc"));
                       click(form, "&OK");
                     },
                     [&](QWidget& form) { form.close(); },
                     [&](QWidget& form) { click(form, "キャンセル(&C)"); },
                     [&](QWidget& form) {
                       QTest::keyClick(&child<QLineEdit>(form, "edtInput"), Qt::Key_Escape);
                     }});
  run.Run(
      "ダイアログ初期値=「最初」\n"
      "尋ねる\n"
      "A=それ\n"
      "「名前」と尋ねる\n"
      "B=それ\n"
      "ダイアログキャンセルの値=「やめ」\n"
      "「枠で閉じる」と尋ねる\n"
      "C=それ\n"
      "「取消」と尋ねる\n"
      "D=それ\n"
      "ダイアログキャンセルの値=-1\n"
      "「取消」と尋ねる\n");
  QCOMPARE(driver.Handled(), std::size_t{5});
  QCOMPARE(initial, u("最初"));
  QCOMPARE(prompt, u("入力してください。"));
  QVERIFY(width >= 300);
  QVERIFY(edit_has_focus);
  QCOMPARE(run.Value("A"), u("12"));
  QCOMPARE(run.interpreter().FindWord("A")->TypeMark, std::string("e"));
  QCOMPARE(run.Value("B"), u("abc"));
  QCOMPARE(run.interpreter().FindWord("B")->TypeMark, std::string("s"));
  QCOMPARE(run.Value("C"), u("やめ"));
  QCOMPARE(run.Value("D"), u("やめ"));
  QCOMPARE(run.Value("それ"), u("-1"));
  QCOMPARE(sore_type(run), std::string("e"));
}

void DialogsTest::yesNoQuestionsGiveTheirNumbers() {
  GuiRun run;
  QStringList captions;
  FormDriver driver({[&](QWidget& form) {
                       captions << form.windowTitle();
                       click(form, "はい(&Y)");
                     },
                     [&](QWidget& form) { QTest::keyClick(&form, Qt::Key_Escape); },
                     [&](QWidget& form) {
                       QVERIFY(button(form, u("キャンセル")) != nullptr);
                       click(form, "いいえ(&N)");
                     },
                     [&](QWidget& form) { QTest::keyClick(&form, Qt::Key_Escape); }});
  run.Run(
      "「続けますか」と二択\n"
      "A=それ\n"
      "「続けますか」と二択\n"
      "B=それ\n"
      "「保存しますか」と三択\n"
      "C=それ\n"
      "「保存しますか」と三択\n");
  QCOMPARE(driver.Handled(), std::size_t{4});
  QCOMPARE(captions.front(), QApplication::applicationName());
  QCOMPARE(run.Value("A"), u("1"));
  QCOMPARE(run.Value("B"), u("0"));
  QCOMPARE(run.Value("C"), u("0"));
  QCOMPARE(run.Value("それ"), u("2"));
  QCOMPARE(sore_type(run), std::string("e"));
}

void DialogsTest::selectDialogKeysAndEditField() {
  GuiRun run;
  QStringList items;
  QString initial, after_m, after_z;
  bool read_only = true;
  FormDriver driver({[&](QWidget& form) {
                       auto& list = child<QListWidget>(form, "ListBox");
                       auto& edit = child<QLineEdit>(form, "EditResult");
                       for (int i = 0; i < list.count(); ++i) items << list.item(i)->text();
                       initial = edit.text();
                       read_only = edit.isReadOnly();
                       QTest::keyClick(&list, 'm');
                       after_m = list.currentItem() ? list.currentItem()->text() : QString();
                       QTest::keyClick(&list, 'z');
                       after_z = list.currentItem() ? list.currentItem()->text() : QString();
                       QTest::keyClick(&list, 'b');
                       QTest::keyClick(&list, Qt::Key_Return);
                     },
                     [&](QWidget& form) {
                       auto& edit = child<QLineEdit>(form, "EditResult");
                       edit.setText(u("自由な答え"));
                       QTest::keyClick(&edit, Qt::Key_Return);
                     },
                     [&](QWidget& form) {
                       QTest::keyClick(&child<QListWidget>(form, "ListBox"), Qt::Key_Escape);
                     }});
  run.Run(
      "ダイアログ初期値=「始め」\n"
      "「果物」が「apple｜melon|banana」のどれか尋ねる\n"
      "A=それ\n"
      "「果物」が「apple|melon」のどれか尋ねる\n"
      "B=それ\n"
      "ダイアログキャンセルの値=「なし」\n"
      "「果物」が「apple|melon」のどれか尋ねる\n");
  QCOMPARE(driver.Handled(), std::size_t{3});
  QCOMPARE(items, QStringList({u("apple"), u("melon"), u("banana")}));
  QCOMPARE(initial, u("始め"));
  QVERIFY(!read_only);
  QCOMPARE(after_m, u("melon"));
  QCOMPARE(after_z, QString());
  QCOMPARE(run.Value("A"), u("banana"));
  QCOMPARE(run.Value("B"), u("自由な答え"));
  QCOMPARE(run.Value("それ"), u("なし"));
}

void DialogsTest::listSelectionIsReadOnlyAndDoubleClickAccepts() {
  GuiRun run;
  bool read_only = false;
  QString after_click;
  FormDriver driver({[&](QWidget& form) {
    auto& list = child<QListWidget>(form, "ListBox");
    read_only = child<QLineEdit>(form, "EditResult").isReadOnly();
    list.setCurrentRow(0);
    after_click = child<QLineEdit>(form, "EditResult").text();
    emit list.itemDoubleClicked(list.item(1));
  }});
  run.Run("「色」を「赤|青|黄」のリストから選択\n");
  QCOMPARE(driver.Handled(), std::size_t{1});
  QVERIFY(read_only);
  QCOMPARE(after_click, u("赤"));
  QCOMPARE(run.Value("それ"), u("青"));
}

void DialogsTest::buttonSelectionCapsAtFiftyAndLaysOut() {
  GuiRun run;
  int sixty_count = 0;
  bool sixty_in_column = false, three_in_row = false;
  QString empty_choice_label;
  FormDriver driver({[&](QWidget& form) {
                       const QList<QPushButton*> all = form.findChildren<QPushButton*>();
                       sixty_count = static_cast<int>(all.size());
                       sixty_in_column = all.size() > 1 && all[0]->x() == all[1]->x() &&
                                         all[0]->y() < all[1]->y();
                       click(form, "案7");
                     },
                     [&](QWidget& form) {
                       const QList<QPushButton*> all = form.findChildren<QPushButton*>();
                       three_in_row = all.size() == 3 && all[0]->y() == all[2]->y() &&
                                      all[0]->x() < all[2]->x() &&
                                      form.width() >= all[2]->x() + all[2]->width();
                       form.close();
                     },
                     [&](QWidget& form) {
                       empty_choice_label = child<QLabel>(form, "lblMsg").text();
                       click(form, "&OK");
                     }});
  run.Run(
      "S=「」\n"
      "Iを1から60まで繰り返す(S=S&「案」&I&改行)\n"
      "「どれ？」をSのボタンで選択\n"
      "A=それ\n"
      "ダイアログキャンセルの値=「閉じた」\n"
      "「どれ？」を「はい\nいいえ\n後で」のボタンで選択\n"
      "B=それ\n"
      "「選択肢なし」を「」のボタンで選択\n");
  QCOMPARE(driver.Handled(), std::size_t{3});
  QCOMPARE(sixty_count, 50);
  QVERIFY(sixty_in_column);
  QCOMPARE(run.Value("A"), u("案7"));
  QCOMPARE(run.interpreter().FindWord("A")->TypeMark, std::string("s"));
  QVERIFY(three_in_row);
  QCOMPARE(run.Value("B"), u("閉じた"));
  QCOMPARE(empty_choice_label, u("選択肢なし"));
  QCOMPARE(run.Value("それ"), QString());
}

void DialogsTest::memoKeepsTextOnFrameCloseAndCancels() {
  GuiRun run;
  QString shown;
  QStringList menu;
  FormDriver driver({[&](QWidget& form) {
                       auto& memo = child<QPlainTextEdit>(form, "Memo");
                       shown = memo.toPlainText();
                       for (QAction* action : form.findChild<QMenu*>()->actions())
                         menu << action->text();
                       memo.appendPlainText(QStringLiteral("3"));
                       click(form, "&OK");
                     },
                     [&](QWidget& form) {
                       child<QPlainTextEdit>(form, "Memo").setPlainText(QStringLiteral("x"));
                       form.close();
                     },
                     [&](QWidget& form) { click(form, "キャンセル(&C)"); }});
  run.Run(
      "「1{改行}2」のメモ記入\n"
      "A=それ\n"
      "「y」のメモ記入\n"
      "B=それ\n"
      "ダイアログキャンセルの値=「取消」\n"
      "「z」のメモ記入\n");
  QCOMPARE(driver.Handled(), std::size_t{3});
  QCOMPARE(shown, QStringLiteral("1\n2"));
  QCOMPARE(menu,
           QStringList({u("元に戻す"), u("コピー"), u("切り取り"), u("貼り付け"), u("全て選択")}));
  QCOMPARE(run.Value("A"), QStringLiteral("1\r\n2\r\n3"));
  QCOMPARE(run.Value("B"), u("x"));
  QCOMPARE(run.Value("それ"), u("取消"));
}

void DialogsTest::inputListEditorsFollowMarkers() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString file = dir.filePath(QStringLiteral("pick.txt"));
  QFile f(file);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.close();

  GuiRun run;
  QStringList headers;
  bool pick_is_combo = false, number_rejects_letters = false;
  int first_column = 0, name_width = 0;
  QStringList filters;
  FormDriver driver(
      {[&](QWidget& form) {
         auto& table = child<QTableWidget>(form, "veList");
         headers << table.horizontalHeaderItem(0)->text() << table.horizontalHeaderItem(1)->text();
         first_column = table.columnWidth(0);
         name_width = QFontMetrics(table.font()).horizontalAdvance(u("とても長い項目名"));
         qobject_cast<QLineEdit*>(table.cellWidget(0, 1))->setText(u("花子"));
         auto* number = qobject_cast<QLineEdit*>(table.cellWidget(1, 1));
         QTest::keyClicks(number, QStringLiteral("4x2"));
         number_rejects_letters = number->text() == QStringLiteral("42");
         auto* combo = qobject_cast<QComboBox*>(table.cellWidget(2, 1));
         pick_is_combo = combo && combo->count() == 2;
         if (combo) combo->setCurrentIndex(1);
         table.cellWidget(3, 1)->findChild<QToolButton*>()->click();  // opens the file dialog
         click(form, "決定(&O)");
       },
       [&](QWidget& dialog) {
         auto& files = dynamic_cast<QFileDialog&>(dialog);
         filters = files.nameFilters();
         choose(files, dir.path(), QStringLiteral("pick.txt"));
       },
       [&](QWidget& form) { click(form, "取消(&C)"); }});
  run.Run(
      "「;名前=内容\n"
      "氏名=太郎\n"
      "とても長い項目名=?e\n"
      "性別=?(男|女)\n"
      "書類=?f(txt)」を項目記入\n"
      "A=それ\n"
      "ダイアログキャンセルの値=「取消」\n"
      "「x=1」を項目記入\n");
  QCOMPARE(driver.Handled(), std::size_t{3});
  QCOMPARE(headers, QStringList({u("名前"), u("内容")}));
  QCOMPARE(first_column, name_width + 8);
  QVERIFY(number_rejects_letters);
  QVERIFY(pick_is_combo);
  QCOMPARE(filters, QStringList({u("txt 形式(*.txt)"), u("全て(*.*)")}));
  QCOMPARE(run.Value("A"), u("氏名=花子\r\nとても長い項目名=42\r\n性別=女\r\n書類=") + file +
                               QStringLiteral("\r\n"));
  QCOMPARE(run.Value("それ"), u("取消"));
}

void DialogsTest::colourAndFontDialogs() {
  GuiRun run;
  FormDriver driver({[&](QWidget& dialog) {
                       auto& colours = dynamic_cast<QColorDialog&>(dialog);
                       colours.setCurrentColor(QColor(255, 0, 0));
                       colours.accept();
                     },
                     [&](QWidget& dialog) {
                       auto& fonts = dynamic_cast<QFontDialog&>(dialog);
                       QFont font(QStringLiteral("DejaVu Sans"), 15);
                       font.setBold(true);
                       font.setUnderline(true);
                       fonts.setCurrentFont(font);
                       fonts.accept();
                     },
                     [&](QWidget& dialog) { dynamic_cast<QDialog&>(dialog).reject(); }});
  run.Run(
      "色選択\n"
      "A=それ\n"
      "フォント選択\n"
      "B=それ\n"
      "ダイアログキャンセルの値=「取消」\n"
      "色選択\n");
  QCOMPARE(driver.Handled(), std::size_t{3});
  QCOMPARE(run.Value("A"), QStringLiteral("255"));
  QCOMPARE(run.interpreter().FindWord("A")->TypeMark, std::string("e"));
  QVERIFY2(run.Value("B").endsWith(u("|太字下線|15")), qPrintable(run.Value("B")));
  QCOMPARE(run.Value("それ"), u("取消"));
}

void DialogsTest::fileDialogsOfferFiltersAndReturnPaths() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  for (const char* name : {"a.txt", "b.txt"}) {
    QFile f(dir.filePath(QString::fromLatin1(name)));
    QVERIFY(f.open(QIODevice::WriteOnly));
  }
  const QString old_current = QDir::currentPath();
  QDir::setCurrent(dir.path());

  GuiRun run;
  QStringList open_filters;
  QString initial_name, save_suffix;
  bool multiple = false;
  FormDriver driver({[&](QWidget& dialog) {
                       auto& files = dynamic_cast<QFileDialog&>(dialog);
                       open_filters = files.nameFilters();
                       multiple = files.fileMode() == QFileDialog::ExistingFiles;
                       choose(files, dir.path(), QStringLiteral("\"a.txt\" \"b.txt\""));
                     },
                     [&](QWidget& dialog) {
                       auto& files = dynamic_cast<QFileDialog&>(dialog);
                       save_suffix = files.defaultSuffix();
                       choose(files, dir.path(), QStringLiteral("new"));
                     },
                     [&](QWidget& dialog) {
                       auto& files = dynamic_cast<QFileDialog&>(dialog);
                       choose(files, dir.path(), QString());
                     },
                     [&](QWidget& dialog) {
                       initial_name =
                           dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
                       dynamic_cast<QDialog&>(dialog).reject();
                     }});
  run.Run(
      "「txt」の読込ファイル選択\n"
      "A=それ\n"
      "「.csv」の書込ファイル選択\n"
      "B=それ\n"
      "フォルダ選択\n"
      "C=それ\n"
      "ダイアログ初期値=「a.txt」\n"
      "ダイアログキャンセルの値=「取消」\n"
      "「txt」の読込ファイル選択\n");
  QDir::setCurrent(old_current);
  QCOMPARE(driver.Handled(), std::size_t{4});
  QCOMPARE(open_filters, QStringList({u("txt 形式(*.txt)"), u("全て(*.*)")}));
  QVERIFY(multiple);
  QCOMPARE(run.Value("A"), dir.filePath(QStringLiteral("a.txt")) + QStringLiteral("\r\n") +
                               dir.filePath(QStringLiteral("b.txt")));
  QCOMPARE(save_suffix, QStringLiteral("csv"));
  QCOMPARE(run.Value("B"), dir.filePath(QStringLiteral("new.csv")));
  QCOMPARE(run.Value("C"), dir.path() + QLatin1Char('/'));
  QCOMPARE(initial_name, u("a.txt"));
  QCOMPARE(run.Value("それ"), u("取消"));
}

void DialogsTest::dialogSizePlacesAndResizesForms() {
  GuiRun run;
  QRect set, centred, moved_only;
  FormDriver driver({[&](QWidget& form) {
                       set = form.frameGeometry();
                       click(form, "&OK");
                     },
                     [&](QWidget& form) {
                       moved_only = form.frameGeometry();
                       click(form, "&OK");
                     },
                     [&](QWidget& form) {
                       centred = form.geometry();
                       click(form, "&OK");
                     }});
  run.Run(
      "枠=「(100,100,399,299)」\n"
      "枠にダイアログサイズ設定\n"
      "「a」と言う\n"
      "(30,40)にダイアログサイズ設定\n"
      "「a」と言う\n"
      "「」にダイアログサイズ設定\n"
      "「a」と言う\n");
  QCOMPARE(driver.Handled(), std::size_t{3});
  QCOMPARE(set, QRect(100, 100, 300, 200));
  QCOMPARE(moved_only.topLeft(), QPoint(30, 40));
  QVERIFY(moved_only.width() < 300);
  const QPoint screen_centre = QGuiApplication::primaryScreen()->geometry().center();
  QVERIFY2((centred.center() - screen_centre).manhattanLength() <= 2,
           qPrintable(QStringLiteral("%1,%2").arg(centred.center().x()).arg(centred.center().y())));
  QCOMPARE(run.interpreter().State().DialogRect, (std::array<int, 4>{}));
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
