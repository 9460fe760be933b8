// Error and debug dialogs.
#include "gui/error_dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "gui/window_host.h"
#include "text/encoding.h"

namespace morivel::gui {

namespace {

QString label(const char* utf8) {
  return QString::fromUtf8(utf8);
}

QPlainTextEdit* read_only_text(QWidget* parent, const std::string& sjis) {
  auto* view = new QPlainTextEdit(parent);
  view->setReadOnly(true);
  QString text = to_qstring(sjis);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  view->setPlainText(text);
  return view;
}

}  // namespace

void centre_over(QWidget& dialog, const QWidget& over) {
  QRect area;
  if (over.isVisible())
    area = over.frameGeometry();
  else if (QScreen* screen = over.screen())
    area = screen->availableGeometry();
  else
    return;
  dialog.move(area.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
}

ErrorDialog::ErrorDialog(QWidget* parent, const std::string& log, bool debug_mode)
    : QDialog(parent) {
  setWindowTitle(label("実行中にエラーが発生しました。"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(read_only_text(this, log));
  auto* buttons = new QHBoxLayout;
  auto* go_on = new QPushButton(label("実行を続ける(&O)"), this);
  auto* quit = new QPushButton(label("終了(&C)"), this);
  auto* debug = new QPushButton(label("デバッグする(&D)"), this);
  debug->setVisible(debug_mode);
  buttons->addWidget(go_on);
  buttons->addWidget(quit);
  buttons->addWidget(debug);
  layout->addLayout(buttons);
  connect(go_on, &QPushButton::clicked, this, [this] {
    choice_ = engine::ErrorChoice::Continue;
    accept();
  });
  connect(quit, &QPushButton::clicked, this, [this] {
    choice_ = engine::ErrorChoice::Quit;
    reject();
  });
  connect(debug, &QPushButton::clicked, this, [this] {
    choice_ = engine::ErrorChoice::Debug;
    accept();
  });
  resize(480, 300);
  if (parent) centre_over(*this, *parent->window());
}

DebugDialog::DebugDialog(QWidget* parent, const std::string& variables, const std::string& stack,
                         const std::string& search)
    : QDialog(parent), variables_(read_only_text(this, variables)), search_(new QLineEdit(this)) {
  setWindowTitle(label("デバッグダイアログ"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(search_);
  layout->addWidget(variables_, 3);
  layout->addWidget(new QLabel(label("実行制御スタック"), this));
  layout->addWidget(read_only_text(this, stack), 1);
  auto* buttons = new QHBoxLayout;
  auto* run = new QPushButton(label("連続実行(&O)"), this);
  auto* step = new QPushButton(label("一行毎に実行(&L)"), this);
  auto* stop = new QPushButton(label("実行中断(&C)"), this);
  buttons->addWidget(run);
  buttons->addWidget(step);
  buttons->addWidget(stop);
  layout->addLayout(buttons);
  connect(run, &QPushButton::clicked, this, [this] {
    choice_ = engine::DebugChoice::Continue;
    accept();
  });
  connect(step, &QPushButton::clicked, this, [this] {
    choice_ = engine::DebugChoice::LineStep;
    accept();
  });
  connect(stop, &QPushButton::clicked, this, [this] {
    choice_ = engine::DebugChoice::Stop;
    reject();
  });
  connect(search_, &QLineEdit::textChanged, this, &DebugDialog::Find);
  search_->setText(to_qstring(search));
  resize(480, 400);
  if (parent) centre_over(*this, *parent->window());
}

void DebugDialog::Find(const QString& word) {
  if (word.isEmpty()) return;
  variables_->moveCursor(QTextCursor::Start);
  variables_->find(word + QLatin1Char('='));
}

}  // namespace morivel::gui
