// The dialog forms of the dialog commands, and the layout rules both front ends share.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "engine/host.h"

namespace morivel::gui {

using DialogStyle = engine::Host::DialogStyle;

// ---- layout rules without widgets ------------------------------------------------------------

// The tallest message a message form shows: 70 % of the screen's height.
int message_max_height(int screen_height);
// A message cut to `max_height` pixels of lines `line_height` high: the whole text when it fits,
// else as many whole lines as fit, each followed by CR LF, and then "...".
std::string fit_message_lines(const std::string& sjis, int max_height, int line_height);
// A script filter "description|pattern|..." as Qt's name filters ("description (patterns)").
QStringList name_filters(const std::string& sjis_filter);

// ---- the forms -------------------------------------------------------------------------------

// What every form takes from the run's text settings.
struct FormLook {
  QFont font;
  QColor colour;
  Qt::InputMethodHints ime_hints;
};
FormLook form_look(const DialogStyle& style);

// After the form has laid itself out: centred on the screen, the caption, then the rectangle of
// ダイアログサイズ設定 when one is set.
void place_dialog(QDialog& form, const DialogStyle& style, const QString& main_caption);

// 言う.
class MessageForm : public QDialog {
 public:
  MessageForm(QWidget* parent, const FormLook& look, const std::string& sjis_text,
              int screen_height);
  QLabel& Label() { return *label_; }

 private:
  QLabel* label_;
};

// 尋ねる: a line of text.
class InputForm : public QDialog {
 public:
  InputForm(QWidget* parent, const FormLook& look, const std::string& sjis_message,
            const std::string& sjis_initial);
  QString Text() const { return edit_->text(); }

 private:
  QLineEdit* edit_;
};

// どれか尋ねる and リストから選択: a list of items and an edit field that takes the chosen one.
class SelectForm : public QDialog {
 public:
  SelectForm(QWidget* parent, const FormLook& look, const std::string& sjis_message,
             const std::vector<std::string>& items, const std::string& sjis_initial, bool editable);
  QString Text() const { return edit_->text(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SelectByFirstByte(const QString& typed);
  QListWidget* list_;
  QLineEdit* edit_;
};

// ボタンで選択: one button per choice, in a row when they fit, else in a column.
class ButtonForm : public QDialog {
 public:
  ButtonForm(QWidget* parent, const FormLook& look, const std::string& sjis_message,
             const std::vector<std::string>& choices, int main_width);
  // The index of the button pressed; none when the form was closed otherwise.
  std::optional<std::size_t> Chosen() const { return chosen_; }

 private:
  std::optional<std::size_t> chosen_;
};

// メモ記入: a memo that can be loaded from and saved to a file. Closing it by its frame keeps
// what was written.
class MemoForm : public QDialog {
 public:
  MemoForm(QWidget* parent, const FormLook& look, const std::string& sjis_text);
  QString Text() const { return memo_->toPlainText(); }
  QMenu& ContextMenu() { return *menu_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Load();
  void Save();
  QPlainTextEdit* memo_;
  QMenu* menu_;
};

// 項目記入: names and values in two columns, each value with the editor its marker asks for.
class InputListForm : public QDialog {
 public:
  InputListForm(QWidget* parent, const FormLook& look, const std::array<std::string, 2>& titles,
                const std::vector<engine::Host::InputItem>& items);
  // The values in the order of the items, as Shift-JIS.
  std::vector<std::string> Values() const;

 private:
  QWidget* ValueEditor(const engine::Host::InputItem& item);
  QTableWidget* table_;
  std::vector<engine::Host::InputItem::Kind> kinds_;
};

}  // namespace morivel::gui
