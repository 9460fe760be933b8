// Shared pieces of the GUI tests: a run wired as the program wires it.
#include "support/gui_run.h"

#include <stdexcept>

#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"

namespace morivel::testing {

GuiRun::GuiRun(bool console, bool debug_mode) : session_(std::make_unique<gui::Session>(console)) {
  session_->Interpreter().DebugMode = debug_mode;
  if (gui::WindowHost* host = session_->Windowed()) host->SetDebugMode(debug_mode);
  session_->Window().show();
}

GuiRun::~GuiRun() = default;

void GuiRun::Run(const char* utf8_source) {
  session_->Run(text::sjis(utf8_source), text::sjis("gui_test.mrv"));
}

QStringList GuiRun::ShownLines() const {
  QStringList lines;
  if (const gui::WindowHost* host = session_->Windowed())
    for (const QString& shown : host->ShownText()) lines += shown.split(u'\n', Qt::SkipEmptyParts);
  return lines;
}

QString GuiRun::Value(const char* utf8_name) {
  words::THashNode* word = session_->Interpreter().FindWord(text::sjis(utf8_name));
  return word ? gui::to_qstring(word->GetValue()) : QString();
}

QWidget* GuiRun::Widget(const char* utf8_name) {
  gui::PartRegistry& parts = session_->Front().Parts();
  words::THashNode* word = parts.FindWord(session_->Interpreter(), text::sjis(utf8_name));
  if (!word) return nullptr;
  words::TObjNode* node = parts.NodeOfWord(*word);
  gui::Part* part = node ? parts.PartOf(*node) : nullptr;
  return part ? part->Widget() : nullptr;
}

namespace {

words::THashNode& part_word(gui::Session& session, const char* utf8_part) {
  gui::PartRegistry& parts = session.Front().Parts();
  words::THashNode* word = parts.FindWord(session.Interpreter(), text::sjis(utf8_part));
  if (!word) throw std::runtime_error(std::string("no part ") + utf8_part);
  return *word;
}

}  // namespace

std::string GuiRun::ReadProperty(const char* utf8_part, const char* utf8_property) {
  return session_->Front()
      .Parts()
      .ReadProperty(session_->Interpreter(), part_word(*session_, utf8_part),
                    text::sjis(utf8_property))
      .text;
}

void GuiRun::WriteProperty(const char* utf8_part, const char* utf8_property,
                           const std::string& sjis) {
  session_->Front().Parts().WriteEvaluated(session_->Interpreter(), part_word(*session_, utf8_part),
                                           text::sjis(utf8_property), sjis);
}

}  // namespace morivel::testing
