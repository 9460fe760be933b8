// Shared pieces of the GUI tests: a run wired as the program wires it, and a driver that answers
// modal dialogs.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

#include "gui/session.h"

namespace morivel::testing {

inline QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// How long any one wait in these tests may take before it counts as a failure.
constexpr int kDeadlineMs = 5000;

// A modal dialog as the driver found it.
struct SeenDialog {
  QString title;
  QString text;  // the contents of its text views, one after the other
  QStringList visible_buttons;
  QStringList hidden_buttons;
  bool answered = false;  // closed on the driver's answer (not dismissed at the deadline)
};

// What the driver does with a dialog: click the button with this text, or press Escape when
// the text is empty.
using Answer = QString;

// Answers the modal dialogs a run opens, one answer per dialog in order, and records each.
// A dialog without the wanted (visible) button, or any modal dialog still open past the deadline,
// is rejected so that no test can hang on it.
class ModalDriver : public QObject {
 public:
  explicit ModalDriver(QList<Answer> answers) : answers_(std::move(answers)) {
    clock_.start();
    poll_.setInterval(10);
    connect(&poll_, &QTimer::timeout, this, &ModalDriver::Poll);
    poll_.start();
  }
  const std::vector<SeenDialog>& Seen() const { return seen_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (clock_.elapsed() > kDeadlineMs) {
      if (!modal) {
        poll_.stop();
        return;
      }
      // A dialog still open after its answer did not take the answer.
      if (modal == answered_) seen_.back().answered = false;
      Dismiss(modal);
      return;
    }
    if (!modal || modal == answered_) return;
    seen_.push_back(Describe(*modal));
    answered_ = modal;
    if (seen_.size() > static_cast<std::size_t>(answers_.size())) {
      Dismiss(modal);
      return;
    }
    seen_.back().answered = Respond(*modal, answers_[static_cast<qsizetype>(seen_.size() - 1)]);
    if (!seen_.back().answered) Dismiss(modal);
  }

  static SeenDialog Describe(QWidget& dialog) {
    SeenDialog seen;
    seen.title = dialog.windowTitle();
    for (const QPlainTextEdit* view : dialog.findChildren<QPlainTextEdit*>())
      seen.text += view->toPlainText() + QLatin1Char('\n');
    for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
      (button->isVisibleTo(&dialog) ? seen.visible_buttons : seen.hidden_buttons) << button->text();
    return seen;
  }

  static bool Respond(QWidget& dialog, const QString& answer) {
    if (answer.isEmpty()) {
      QTest::keyClick(&dialog, Qt::Key_Escape);
      return true;
    }
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
      if (button->text() != answer || !button->isVisible()) continue;
      button->click();
      return true;
    }
    return false;
  }

  static void Dismiss(QWidget* modal) {
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
  }

  QList<Answer> answers_;
  std::vector<SeenDialog> seen_;
  QPointer<QWidget> answered_;
  QTimer poll_;
  QElapsedTimer clock_;
};

// One run of a script on a front end, wired as the program wires it.
class GuiRun {
 public:
  explicit GuiRun(bool console = false, bool debug_mode = false);
  ~GuiRun();

  // Runs a script written in UTF-8 up to its end or its first wait.
  void Run(const char* utf8_source);
  // The texts 表示 showed (window front end), one per line of each.
  QStringList ShownLines() const;
  // A word's value as UTF-8 ("" when there is no such word).
  QString Value(const char* utf8_name);
  // The control of the part named so, or nullptr.
  QWidget* Widget(const char* utf8_name);
  template <class W>
  W* Control(const char* utf8_name) {
    return qobject_cast<W*>(Widget(utf8_name));
  }
  // A part property read or written as a script does (Shift-JIS values); throws when there is no
  // such part, which fails the test.
  std::string ReadProperty(const char* utf8_part, const char* utf8_property);
  void WriteProperty(const char* utf8_part, const char* utf8_property, const std::string& sjis);

  gui::Session& session() { return *session_; }
  gui::MainWindow& window() { return session_->Window(); }
  engine::Interpreter& interpreter() { return session_->Interpreter(); }
  gui::EventHost& host() { return session_->Host(); }

 private:
  std::unique_ptr<gui::Session> session_;
};

}  // namespace morivel::testing
