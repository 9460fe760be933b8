// The dialogs of the console front end: questions on standard output, answers on standard input.
#include <QFont>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "commands/file_handles.h"
#include "gui/console_host.h"
#include "gui/dialogs.h"
#include "gui/front_end.h"
#include "gui/part_registry.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::gui {

namespace {

// One line of standard input as Shift-JIS, without its line break; nullopt at the end of input.
std::optional<std::string> read_answer() {
  std::fflush(stdout);
  std::string line;
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') line += static_cast<char>(c);
  if (c == EOF && line.empty()) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return text::from_utf8(line);
}

std::string s(const char* utf8) {
  return text::sjis(utf8);
}

bool is_one_of(const std::string& answer, std::initializer_list<const char*> utf8_words) {
  for (const char* word : utf8_words)
    if (answer == s(word)) return true;
  return false;
}

// "3" for the third of `count` items; nullopt for anything else.
std::optional<std::size_t> item_number(const std::string& answer, std::size_t count) {
  if (answer.empty() || answer.size() > 9) return std::nullopt;
  std::size_t n = 0;
  for (char c : answer) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::size_t>(c - '0');
  }
  if (n < 1 || n > count) return std::nullopt;
  return n - 1;
}

// A numbered item by its number or its text.
std::optional<std::string> pick(const std::string& answer, const std::vector<std::string>& items) {
  if (auto n = item_number(answer, items.size())) return items[*n];
  for (const std::string& item : items)
    if (answer == item) return item;
  return std::nullopt;
}

// A colour typed as "#RRGGBB" or as the decimal colour number, as the decimal number.
std::optional<std::string> colour_answer(const std::string& answer) {
  const std::string t = text::trim(answer);
  if (t.size() == 7 && t[0] == '#' &&
      t.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos)
    return colour_to_text(colour_from_text(t));
  if (!t.empty() && t.find_first_not_of("0123456789") == std::string::npos && t.size() <= 8)
    return std::to_string(std::stol(t) & 0xFFFFFF);
  return std::nullopt;
}

// A plain decimal number: sign, digits, and a fraction after a point.
bool is_number(const std::string& answer) {
  const std::string t = text::trim(answer);
  std::size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
  const std::size_t digits_from = i;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
  bool digits = i > digits_from;
  if (i < t.size() && t[i] == '.') {
    const std::size_t fraction_from = ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    digits = digits || i > fraction_from;
  }
  return digits && i == t.size();
}

// A typed path made absolute against the current folder, as a script path.
std::string typed_path(const std::string& answer) {
  std::error_code ec;
  std::filesystem::path path = commands::native_path(text::trim(answer));
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return commands::script_path_of(ec ? path : absolute.lexically_normal());
}

std::string filter_descriptions(const std::string& filter) {
  std::string out;
  std::size_t from = 0;
  for (int field = 0; from <= filter.size(); ++field) {
    std::size_t bar = filter.find('|', from);
    if (bar == std::string::npos) bar = filter.size();
    if (field % 2 == 0) out += (out.empty() ? "" : " / ") + filter.substr(from, bar - from);
    from = bar + 1;
  }
  return out;
}

bool contains_any(const std::string& text, std::initializer_list<const char*> utf8_words) {
  for (const char* word : utf8_words)
    if (text.find(s(word)) != std::string::npos) return true;
  return false;
}

// A font typed as "face｜style｜size" (either bar) in the form the font dialog reports: the face
// as typed, the style words in their fixed order, the size (the current one when none is typed).
std::string typed_font(const std::string& answer, int current_size) {
  std::string chosen = answer;
  static const std::string kWideBar = s("｜");
  for (std::size_t at; (at = text::find_at_char_start(chosen, kWideBar)) != std::string::npos;)
    chosen.replace(at, kWideBar.size(), "|");
  std::vector<std::string> fields;
  for (std::size_t from = 0;;) {
    const std::size_t bar = chosen.find('|', from);
    fields.push_back(text::trim(chosen.substr(from, bar == std::string::npos ? bar : bar - from)));
    if (bar == std::string::npos) break;
    from = bar + 1;
  }
  std::string style;
  if (fields.size() > 1) {
    if (contains_any(fields[1], {"太字", "ボールド"})) style += s("太字");
    if (contains_any(fields[1], {"傾斜", "イタリック", "斜体"})) style += s("傾斜");
    if (contains_any(fields[1], {"下線", "罫線", "アンダーライン"})) style += s("下線");
  }
  long long size = fields.size() > 2 ? number_of(fields[2], 0) : 0;
  if (size <= 0) size = current_size;
  std::string out = fields[0];
  if (!style.empty()) out += "|" + style;
  if (size > 0) out += (style.empty() ? "||" : "|") + std::to_string(size);
  return out;
}

// A line counts as 文字サイズ points at 96 dots per inch, with the forms' 1.2 line spacing.
int notional_line_height(int font_size) {
  return static_cast<int>(std::lround(font_size * 96.0 / 72.0 * 1.2));
}

}  // namespace

void ConsoleHost::ShowDialogMessage(const DialogStyle& style, const std::string& text) {
  // The console has no screen: デスクトップの高さ (768 under -console) stands in for it.
  long long height = 768;
  if (Front() && Front()->Interpreter())
    height = number_of(system_text(*Front()->Interpreter(), "デスクトップの高さ"), 768);
  if (height <= 0 || height > 100000) height = 768;
  ShowText(fit_message_lines(text, message_max_height(static_cast<int>(height)),
                             notional_line_height(style.font_size)));
}

std::optional<std::string> ConsoleHost::AskText(const DialogStyle& style,
                                                const std::string& message) {
  ShowText(message);
  if (!style.initial.empty()) ShowText("[" + style.initial + "]");
  std::optional<std::string> answer = read_answer();
  if (answer && answer->empty()) return style.initial;
  return answer;
}

engine::Host::YesNo ConsoleHost::AskYesNo(const DialogStyle& style, const std::string& message,
                                          bool with_cancel) {
  (void)style;
  ShowText(message);
  const std::string choices = with_cancel ? s("(はい/いいえ/キャンセル)") : s("(はい/いいえ)");
  for (;;) {
    ShowText(choices);
    std::optional<std::string> answer = read_answer();
    if (!answer) return with_cancel ? YesNo::Cancel : YesNo::No;
    const std::string a = text::trim(*answer);
    if (is_one_of(a, {"はい", "y", "Y", "yes", "Yes", "YES"})) return YesNo::Yes;
    if (is_one_of(a, {"いいえ", "n", "N", "no", "No", "NO"})) return YesNo::No;
    if (with_cancel && is_one_of(a, {"キャンセル", "c", "C", "cancel", "Cancel", "CANCEL"}))
      return YesNo::Cancel;
  }
}

std::optional<std::string> ConsoleHost::SelectFromList(const DialogStyle& style,
                                                       const std::string& message,
                                                       const std::vector<std::string>& items,
                                                       bool editable) {
  ShowText(message);
  for (std::size_t i = 0; i < items.size(); ++i) ShowText(std::to_string(i + 1) + ": " + items[i]);
  if (!style.initial.empty()) ShowText("[" + style.initial + "]");
  for (;;) {
    std::optional<std::string> answer = read_answer();
    if (!answer) return std::nullopt;
    if (answer->empty()) return style.initial;
    if (std::optional<std::string> item = pick(*answer, items)) return item;
    if (editable) return answer;
  }
}

// The memo is printed; the lines typed up to a line "." alone replace it. The end of input
// before any line cancels, after some lines it ends the memo like ".".
std::optional<std::string> ConsoleHost::EditMemo(const DialogStyle& style,
                                                 const std::string& text) {
  (void)style;
  if (!text.empty()) ShowText(text);
  std::vector<std::string> lines;
  bool any = false;
  for (;;) {
    std::optional<std::string> line = read_answer();
    if (!line) break;
    any = true;
    if (*line == ".") break;
    lines.push_back(*line);
  }
  if (!any) return std::nullopt;
  std::string memo;
  for (std::size_t i = 0; i < lines.size(); ++i) memo += (i ? "\r\n" : "") + lines[i];
  return memo;
}

// Each item is printed as "name=value" (with its choices or its kind) and answered by a line:
// an empty line keeps the value.
std::optional<std::vector<std::string>> ConsoleHost::EditItems(
    const DialogStyle& style, const std::array<std::string, 2>& titles,
    const std::vector<InputItem>& items) {
  (void)style;
  using Kind = InputItem::Kind;
  ShowText(titles[0] + "=" + titles[1]);
  std::vector<std::string> values;
  for (const InputItem& item : items) {
    std::string hint;
    if (item.kind == Kind::Pick) {
      for (std::size_t i = 0; i < item.choices.size(); ++i)
        hint += (i ? "|" : "") + item.choices[i];
      hint = " (" + hint + ")";
    } else if (item.kind == Kind::Number) {
      hint = s(" (数値)");
    } else if (item.kind == Kind::Colour) {
      hint = s(" (色)");
    } else if (item.kind == Kind::File) {
      hint = " (" + filter_descriptions(item.filter) + ")";
    }
    std::optional<std::string> value;
    while (!value) {
      ShowText(item.name + "=" + item.value + hint);
      std::optional<std::string> answer = read_answer();
      if (!answer) return std::nullopt;
      if (answer->empty()) {
        value = item.value;
      } else if (item.kind == Kind::Pick) {
        value = pick(*answer, item.choices);
      } else if (item.kind == Kind::Number) {
        if (is_number(*answer)) value = text::trim(*answer);
      } else if (item.kind == Kind::Colour) {
        value = colour_answer(*answer);
      } else if (item.kind == Kind::File) {
        value = typed_path(*answer);
      } else {
        value = answer;
      }
    }
    values.push_back(*value);
  }
  return values;
}

std::optional<std::string> ConsoleHost::ChooseColour(const DialogStyle& style) {
  (void)style;
  for (;;) {
    ShowText(s("色を入力してください。(#RRGGBB か数値)"));
    std::optional<std::string> answer = read_answer();
    if (!answer || text::trim(*answer).empty()) return std::nullopt;
    if (std::optional<std::string> colour = colour_answer(*answer)) return colour;
  }
}

std::optional<std::string> ConsoleHost::ChooseFont(const DialogStyle& style) {
  ShowText(s("フォントを入力してください。(書体|スタイル|サイズ)"));
  std::optional<std::string> answer = read_answer();
  if (!answer || text::trim(*answer).empty()) return std::nullopt;
  return typed_font(*answer, style.font_size);
}

std::optional<std::vector<std::string>> ConsoleHost::ChooseFiles(const DialogStyle& style,
                                                                 const FileRequest& request) {
  const std::string prompt = request.save ? s("保存するファイル名を入力してください。")
                                          : s("開くファイル名を入力してください。");
  ShowText(prompt + "(" + filter_descriptions(request.filter) + ")");
  if (!style.initial.empty()) ShowText("[" + style.initial + "]");
  std::optional<std::string> answer = read_answer();
  if (!answer) return std::nullopt;
  std::string name = text::trim(*answer);
  if (name.empty()) name = style.initial;
  if (name.empty()) return std::nullopt;
  std::string path = typed_path(name);
  if (request.save && !request.default_extension.empty() &&
      std::filesystem::path(commands::native_path(path)).extension().empty())
    path += "." + request.default_extension;
  return std::vector<std::string>{path};
}

std::optional<std::string> ConsoleHost::ChooseFolder(const DialogStyle& style,
                                                     const std::string& prompt) {
  (void)style;
  ShowText(prompt.empty() ? s("フォルダを入力してください。") : prompt);
  std::optional<std::string> answer = read_answer();
  if (!answer || text::trim(*answer).empty()) return std::nullopt;
  return typed_path(*answer);
}

}  // namespace morivel::gui
