// The progress dialog (window front end) and the progress line (console).
#include "net/progress.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <unistd.h>

#include <cstdio>

#include "engine/interpreter.h"
#include "gui/front_end.h"
#include "gui/main_window.h"
#include "gui/qt_text.h"
#include "net/net_run.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::net {

namespace {

class DialogProgress : public Progress {
 public:
  explicit DialogProgress(QWidget* owner) : dialog_(owner) {
    dialog_.setObjectName(kProgressDialogName);
    dialog_.setWindowTitle(gui::to_qstring(text::sjis("進行状況")));
    auto* layout = new QVBoxLayout(&dialog_);
    label_ = new QLabel(&dialog_);
    label_->setMinimumWidth(320);
    bar_ = new QProgressBar(&dialog_);
    bar_->setRange(0, 100);
    auto* stop = new QPushButton(gui::to_qstring(text::sjis("中止")), &dialog_);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addWidget(stop);
    QObject::connect(stop, &QPushButton::clicked, [this] { stopped_ = true; });
    dialog_.setModal(false);
    dialog_.show();
    QCoreApplication::processEvents();
  }
  void SetText(const std::string& sjis) override {
    label_->setText(gui::to_qstring(sjis));
    QCoreApplication::processEvents();
  }
  void SetPercent(int percent) override { bar_->setValue(percent); }
  bool StopRequested() const override { return stopped_ || !dialog_.isVisible(); }

 private:
  QDialog dialog_;
  QLabel* label_ = nullptr;
  QProgressBar* bar_ = nullptr;
  bool stopped_ = false;
};

class LineProgress : public Progress {
 public:
  ~LineProgress() override {
    if (shown_) std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
  }
  void SetText(const std::string& sjis) override {
    text_ = text::to_utf8(sjis);
    percent_ = -1;
    Draw();
  }
  void SetPercent(int percent) override {
    if (percent == percent_) return;
    percent_ = percent;
    Draw();
  }

 private:
  void Draw() {
    shown_ = true;
    if (percent_ >= 0)
      std::fprintf(stderr, "\r\033[K%s %3d%%", text_.c_str(), percent_);
    else
      std::fprintf(stderr, "\r\033[K%s", text_.c_str());
    std::fflush(stderr);
  }
  std::string text_;
  int percent_ = -1;
  bool shown_ = false;
};

}  // namespace

std::unique_ptr<Progress> open_progress(engine::Interpreter& in) {
  if (text::trim(system_value(in, "進行度表示ダイアログ")) != "1")
    return std::make_unique<Progress>();
  gui::FrontEnd* front = nullptr;
  try {
    front = &gui::front_end(in);
  } catch (const std::exception&) {
  }
  if (front && !front->Console()) return std::make_unique<DialogProgress>(&front->Window());
  if (isatty(STDERR_FILENO)) return std::make_unique<LineProgress>();
  return std::make_unique<Progress>();
}

}  // namespace morivel::net
