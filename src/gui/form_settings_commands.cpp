// Commands that keep settings in files: the main window's position in an INI file and the
// settings of the syntax-colouring editor part (with their dialog).
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QPlainTextEdit>
#include <QSpinBox>

#include <cmath>
#include <optional>
#include <string>

#include "commands/file_handles.h"
#include "commands/security.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "formats/ini.h"
#include "gui/families.h"
#include "gui/front_end.h"
#include "gui/images.h"
#include "gui/kind_commands.h"
#include "gui/main_window.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {
namespace {

using engine::Interpreter;

std::string in_quotes(const std::string& s) {
  return "\"" + s + "\"";
}

[[noreturn]] void file_failure(Interpreter& in, const std::string& file) {
  throw in.Error(text::sjis("ファイル") + in_quotes(file) +
                 text::sjis("の、読み込みか書き込みに、失敗しました。"));
}

std::optional<int> ini_integer(const formats::IniDocument& ini, const std::string& section,
                               const char* key) {
  std::optional<std::string> value = ini.Read(section, key);
  std::int64_t n = 0;
  if (!value || !expr::ToInteger(*value, n)) return std::nullopt;
  return static_cast<int>(std::clamp<std::int64_t>(n, -1'000'000, 1'000'000));
}

// ---- the main window's position -----------------------------------------------------------------

const std::string kFormSection = "frmMorv";

int window_state_number(const QWidget& window) {
  if (window.isMinimized()) return 1;
  if (window.isMaximized()) return 2;
  return 0;
}

void apply_window_state(QWidget& window, int state) {
  if (state == 1)
    window.showMinimized();
  else if (state == 2)
    window.showMaximized();
  else if (window.isVisible())
    window.showNormal();
  else
    window.setWindowState(Qt::WindowNoState);
}

void save_form_position(Interpreter& in) {
  std::string file = text::trim(in.PopArgumentValue());
  if (file.empty()) return;
  if (commands::CheckFileOperation(
          in, file,
          text::sjis("INIファイル") + in_quotes(file) + text::sjis("にフォーム情報を保存します。")))
    return;
  QWidget& window = front_end(in).Window();
  int state = window_state_number(window);
  apply_window_state(window, 0);
  QCoreApplication::processEvents();
  // The normal position and size, kept while the window is neither minimised nor maximised.
  const int top = window.y(), left = window.x(), height = window.height(), width = window.width();
  apply_window_state(window, state);
  bool written =
      formats::UpdateIniFile(commands::native_path(file), [&](formats::IniDocument& ini) {
        ini.Write(kFormSection, "state", std::to_string(state));
        ini.Write(kFormSection, "top", std::to_string(top));
        ini.Write(kFormSection, "left", std::to_string(left));
        ini.Write(kFormSection, "height", std::to_string(height));
        ini.Write(kFormSection, "width", std::to_string(width));
      });
  if (!written) file_failure(in, file);
}

void restore_form_position(Interpreter& in) {
  std::string file = text::trim(in.PopArgumentValue());
  if (file.empty()) return;
  std::string bytes;
  if (!read_whole_file(file, bytes)) file_failure(in, file);
  formats::IniDocument ini = formats::IniDocument::Parse(bytes);
  QWidget& window = front_end(in).Window();
  int top = ini_integer(ini, kFormSection, "top").value_or(window.y());
  int left = ini_integer(ini, kFormSection, "left").value_or(window.x());
  int height = ini_integer(ini, kFormSection, "height").value_or(window.height());
  int width = ini_integer(ini, kFormSection, "width").value_or(window.width());
  window.move(left, top);
  window.resize(std::clamp(width, 1, 8192), std::clamp(height, 1, 8192));
  if (std::optional<int> state = ini_integer(ini, kFormSection, "state"))
    apply_window_state(window, *state);
}

// ---- the syntax-colouring editor's settings -----------------------------------------------------

struct EditorSettings {
  QString font_family;
  int font_size = 10;
  int tab_columns = 8;
  bool wrap = false;
};

QPlainTextEdit& text_editor(Interpreter& in, const std::string& name) {
  Part& part = named_part(in, name);
  auto* edit = qobject_cast<QPlainTextEdit*>(part.Widget());
  if (part.Kind() != kTextEditor || !edit) throw in.ArgumentError();
  return *edit;
}

EditorSettings settings_of(const QPlainTextEdit& edit) {
  EditorSettings s;
  s.font_family = edit.font().family();
  s.font_size = std::max(1, edit.font().pointSize());
  double space = QFontMetricsF(edit.font()).horizontalAdvance(QLatin1Char(' '));
  s.tab_columns =
      space > 0 ? std::max(1, static_cast<int>(std::lround(edit.tabStopDistance() / space))) : 8;
  s.wrap = edit.lineWrapMode() != QPlainTextEdit::NoWrap;
  return s;
}

void apply_settings(QPlainTextEdit& edit, const EditorSettings& s) {
  QFont font = edit.font();
  if (!s.font_family.isEmpty()) font.setFamily(s.font_family);
  font.setPointSize(std::clamp(s.font_size, 1, 200));
  edit.setFont(font);
  edit.setTabStopDistance(std::clamp(s.tab_columns, 1, 100) *
                          QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')));
  edit.setLineWrapMode(s.wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

// The dialog works on a copy: Cancel leaves the part as it was.
std::optional<EditorSettings> ask_settings(const EditorSettings& current) {
  QDialog dialog(QApplication::activeWindow());
  dialog.setWindowTitle(to_qstring(text::sjis("エディタの設定")));
  auto* form = new QFormLayout(&dialog);
  auto* family = new QFontComboBox(&dialog);
  family->setCurrentFont(QFont(current.font_family));
  auto* size = new QSpinBox(&dialog);
  size->setRange(1, 200);
  size->setValue(current.font_size);
  auto* tabs = new QSpinBox(&dialog);
  tabs->setRange(1, 100);
  tabs->setValue(current.tab_columns);
  auto* wrap = new QCheckBox(&dialog);
  wrap->setChecked(current.wrap);
  form->addRow(to_qstring(text::sjis("フォント")), family);
  form->addRow(to_qstring(text::sjis("サイズ")), size);
  form->addRow(to_qstring(text::sjis("タブ幅")), tabs);
  form->addRow(to_qstring(text::sjis("折り返し")), wrap);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return EditorSettings{family->currentFont().family(), size->value(), tabs->value(),
                        wrap->isChecked()};
}

void editor_settings_dialog(Interpreter& in) {
  QPlainTextEdit& edit = text_editor(in, pop_part_name(in));
  if (std::optional<EditorSettings> chosen = ask_settings(settings_of(edit)))
    apply_settings(edit, *chosen);
}

void save_editor_settings(Interpreter& in) {
  std::string file = text::trim(in.PopArgumentValue());
  std::string name = text::trim(pop_part_name(in));
  QPlainTextEdit& edit = text_editor(in, name);
  if (commands::CheckFileOperation(
          in, file,
          text::sjis("エディタの設定を、") + in_quotes(file) + text::sjis("に書きこみます。")))
    return;
  EditorSettings s = settings_of(edit);
  bool written =
      formats::UpdateIniFile(commands::native_path(file), [&](formats::IniDocument& ini) {
        ini.Write(name, "FontName", from_qstring(s.font_family));
        ini.Write(name, "FontSize", std::to_string(s.font_size));
        ini.Write(name, "TabColumns", std::to_string(s.tab_columns));
        ini.Write(name, "WordWrap", s.wrap ? "1" : "0");
      });
  if (!written) file_failure(in, file);
}

void load_editor_settings(Interpreter& in) {
  std::string file = find_image_file(in, text::trim(in.PopArgumentValue()));
  std::string name = text::trim(pop_part_name(in));
  QPlainTextEdit& edit = text_editor(in, name);
  std::string bytes;
  if (!read_whole_file(file, bytes)) return;
  formats::IniDocument ini = formats::IniDocument::Parse(bytes);
  EditorSettings s = settings_of(edit);
  if (std::optional<std::string> family = ini.Read(name, "FontName"))
    s.font_family = to_qstring(*family);
  s.font_size = ini_integer(ini, name, "FontSize").value_or(s.font_size);
  s.tab_columns = ini_integer(ini, name, "TabColumns").value_or(s.tab_columns);
  s.wrap = ini_integer(ini, name, "WordWrap").value_or(s.wrap ? 1 : 0) != 0;
  apply_settings(edit, s);
}

}  // namespace

void register_form_settings(commands::HandlerTable& table) {
  table.Set(275, save_form_position);
  table.Set(276, restore_form_position);
  table.Set(402, editor_settings_dialog);
  table.Set(403, save_editor_settings);
  table.Set(404, load_editor_settings);
}

}  // namespace morivel::gui
