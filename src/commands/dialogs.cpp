// The dialog commands: they prepare the texts, ask the host's dialog forms and set それ.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "commands/coordinates.h"
#include "commands/families.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::commands {
namespace {

using engine::Host;
using engine::Interpreter;

constexpr std::size_t kMaxMessageBytes = 4095;
constexpr std::size_t kMaxButtons = 50;
// A tab never widens a message by more than this, whatever タブ文字の個数 says.
constexpr long long kMaxTabWidth = 256;

std::string system_value(Interpreter& in, const char* utf8_name) {
  const words::THashNode* word = in.FindWord(text::sjis(utf8_name));
  return word ? word->GetValue() : std::string();
}

long long system_number(Interpreter& in, const char* utf8_name, long long fallback) {
  const std::string value = system_value(in, utf8_name);
  if (text::trim(value).empty()) return fallback;
  const double d = static_cast<double>(expr::ToNumber(value));
  if (!std::isfinite(d) || std::fabs(d) > 1e9) return fallback;
  return static_cast<long long>(d);
}

Host::DialogStyle dialog_style(Interpreter& in) {
  Host::DialogStyle style;
  style.title = system_value(in, "ダイアログタイトル");
  style.font_face = system_value(in, "文字書体");
  const long long size = system_number(in, "文字サイズ", 12);
  style.font_size = size > 0 && size <= 1000 ? static_cast<int>(size) : 12;
  style.font_colour = system_value(in, "文字色");
  const long long ime = system_number(in, "ダイアログIMEの状態", 0);
  style.ime_mode = ime >= 0 && ime <= 4 ? static_cast<int>(ime) : 0;
  style.initial = system_value(in, "ダイアログ初期値");
  style.rect = in.State().DialogRect;
  return style;
}

// A cancelled dialog leaves in それ a copy of ダイアログキャンセルの値, type marker included.
void set_cancelled(Interpreter& in) {
  const words::THashNode* cancel = in.FindWord(text::sjis("ダイアログキャンセルの値"));
  if (!cancel) {
    in.SetResult("", "s");
    return;
  }
  in.SetResult(cancel->GetValue(), cancel->TypeMark);
}

void set_answer(Interpreter& in, const std::optional<std::string>& answer, const char* type) {
  if (answer)
    in.SetResult(*answer, type);
  else
    set_cancelled(in);
}

bool looks_numeric(const std::string& s) {
  return !s.empty() && (s[0] == '$' || (s[0] >= '0' && s[0] <= '9'));
}

// Keeps whole characters: a double-byte character that would be split goes entirely.
std::string cut_long_message(const std::string& s) {
  if (s.size() <= kMaxMessageBytes) return s;
  std::size_t end = 0;
  while (end < kMaxMessageBytes) {
    const std::size_t n = text::char_len(s, end);
    if (end + n > kMaxMessageBytes) break;
    end += n;
  }
  return s.substr(0, end) + "...";
}

// Tabs reach the next multiple of `width` columns; a double-byte character is two columns wide
// and a line break starts a new line at column 0.
std::string expand_tabs(const std::string& s, long long width) {
  width = std::min(width, kMaxTabWidth);
  std::string out;
  out.reserve(s.size());
  long long column = 0;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = text::char_len(s, i);
    const char c = s[i];
    if (n == 1 && c == '\t') {
      if (width > 0) {
        const long long spaces = width - column % width;
        out.append(static_cast<std::size_t>(spaces), ' ');
        column += spaces;
      }
    } else {
      out.append(s, i, n);
      column = (c == '\r' || c == '\n') ? 0 : column + static_cast<long long>(n);
    }
    i += n;
  }
  return out;
}

std::string prepare_message(Interpreter& in, const std::string& value) {
  return expand_tabs(cut_long_message(value), system_number(in, "タブ文字の個数", 8));
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text::find_at_char_start(s, from, at)) != std::string::npos;
       at += to.size())
    s.replace(at, from.size(), to);
  return s;
}

std::vector<std::string> lines_of(const std::string& s) {
  std::vector<std::string> lines;
  for (std::string_view line : text::split_lines(s)) lines.emplace_back(line);
  return lines;
}

// Choices written on one line: "a｜b|c" is the three items a, b and c.
std::vector<std::string> choice_items(const std::string& choices) {
  static const std::string kWideBar = text::sjis("｜");
  return lines_of(replace_all(replace_all(choices, kWideBar, "|"), "|", "\r\n"));
}

std::string join_lines(const std::vector<std::string>& lines, bool final_break) {
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out += lines[i];
    if (final_break || i + 1 < lines.size()) out += "\r\n";
  }
  return out;
}

// ---- messages and questions ------------------------------------------------------------------

void say(Interpreter& in) {
  const std::string text = prepare_message(in, in.PopArgumentValue());
  in.GetHost().ShowDialogMessage(dialog_style(in), text);
}

void ask(Interpreter& in) {
  std::string message = in.PopArgumentValue();
  if (in.ImplicitSore()) message = text::sjis("入力してください。");
  const std::optional<std::string> answer = in.GetHost().AskText(dialog_style(in), message);
  if (!answer) {
    set_cancelled(in);
  } else if (answer->empty()) {
    // An empty answer keeps the type それ had.
    in.SetResult("", in.State().Sys.Sore ? in.State().Sys.Sore->TypeMark : std::string("s"));
  } else {
    in.SetResult(*answer, looks_numeric(*answer) ? "e" : "s");
  }
}

void yes_no(Interpreter& in) {
  const std::string message = in.PopArgumentValue();
  const Host::YesNo answer = in.GetHost().AskYesNo(dialog_style(in), message, false);
  in.SetResult(answer == Host::YesNo::Yes ? "1" : "0", "e");
}

void yes_no_cancel(Interpreter& in) {
  const std::string message = in.PopArgumentValue();
  const Host::YesNo answer = in.GetHost().AskYesNo(dialog_style(in), message, true);
  const char* value = answer == Host::YesNo::Yes ? "1" : answer == Host::YesNo::No ? "0" : "2";
  in.SetResult(value, "e");
}

void select_from_list(Interpreter& in, bool editable) {
  const std::string choices = in.PopArgumentValue();
  const std::string message = in.PopArgumentValue();
  in.SetResult("", "s");
  set_answer(
      in, in.GetHost().SelectFromList(dialog_style(in), message, choice_items(choices), editable),
      "s");
}

void ask_any(Interpreter& in) {
  select_from_list(in, true);
}

void select_list_item(Interpreter& in) {
  select_from_list(in, false);
}

void select_button(Interpreter& in) {
  const std::string choices = text::trim(in.PopArgumentValue());
  const std::string message = in.PopArgumentValue();
  if (choices.empty()) {
    in.GetHost().ShowDialogMessage(dialog_style(in), prepare_message(in, message));
    in.SetResult("", "s");
    return;
  }
  std::vector<std::string> captions = lines_of(choices);
  if (captions.size() > kMaxButtons) captions.resize(kMaxButtons);
  set_answer(in, in.GetHost().SelectButton(dialog_style(in), message, captions), "s");
}

// ---- editors ---------------------------------------------------------------------------------

void edit_memo(Interpreter& in) {
  const std::string text = in.PopArgumentValue();
  set_answer(in, in.GetHost().EditMemo(dialog_style(in), text), "s");
}

std::string file_filter(const std::string& argument);

// A value's leading marker decides its editor: ?(a|b) a pick list, ?f(filter) a file, ?c a colour,
// ?e a number, ?s plain text; markers start the value empty.
Host::InputItem input_item(const std::string& line) {
  Host::InputItem item;
  const std::size_t eq = line.find('=');
  item.name = line.substr(0, eq);
  item.value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
  const std::string& v = item.value;
  if (v.size() < 2 || v[0] != '?') return item;
  const char marker = v[1];
  if (marker == '(') {
    const std::size_t close = v.rfind(')');
    const std::string inside =
        v.substr(2, close == std::string::npos || close < 2 ? std::string::npos : close - 2);
    item.kind = Host::InputItem::Kind::Pick;
    item.choices = choice_items(inside);
  } else if (marker == 'f' || marker == 'F') {
    item.kind = Host::InputItem::Kind::File;
    std::string filter = text::sjis("全てのファイル(*.*)|*.*");
    if (v.size() > 3 && v[2] == '(' && v.back() == ')')
      filter = file_filter(v.substr(3, v.size() - 4));
    item.filter = filter;
  } else if (marker == 'c' || marker == 'C') {
    item.kind = Host::InputItem::Kind::Colour;
  } else if (marker == 'e' || marker == 'E') {
    item.kind = Host::InputItem::Kind::Number;
  } else if (marker == 's' || marker == 'S') {
    item.kind = Host::InputItem::Kind::Text;
  } else {
    return item;
  }
  item.value.clear();
  return item;
}

void edit_items(Interpreter& in) {
  std::vector<std::string> lines = lines_of(in.PopArgumentValue());
  std::array<std::string, 2> titles = {text::sjis("項目"), text::sjis("値")};
  std::size_t first = 0;
  if (!lines.empty() && !lines[0].empty() && lines[0][0] == ';') {
    const std::string header = lines[0].substr(1);
    const std::size_t eq = header.find('=');
    titles = {header.substr(0, eq),
              eq == std::string::npos ? std::string() : header.substr(eq + 1)};
    first = 1;
  }
  std::vector<Host::InputItem> items;
  for (std::size_t i = first; i < lines.size(); ++i)
    if (!lines[i].empty()) items.push_back(input_item(lines[i]));
  const auto values = in.GetHost().EditItems(dialog_style(in), titles, items);
  if (!values) {
    set_cancelled(in);
    return;
  }
  std::vector<std::string> out;
  for (std::size_t i = 0; i < items.size(); ++i)
    out.push_back(items[i].name + "=" + (i < values->size() ? (*values)[i] : std::string()));
  in.SetResult(join_lines(out, true), "s");
}

void choose_colour(Interpreter& in) {
  set_answer(in, in.GetHost().ChooseColour(dialog_style(in)), "e");
}

void choose_font(Interpreter& in) {
  set_answer(in, in.GetHost().ChooseFont(dialog_style(in)), "s");
}

// ---- files and folders -----------------------------------------------------------------------

// "txt" or ".txt" offers the txt files and all files; a text with "|" is a filter already.
std::string file_filter(const std::string& argument) {
  if (argument.find('|') != std::string::npos) return argument;
  std::string ext = text::trim(argument);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  return ext + text::sjis(" 形式(*.") + ext + ")|*." + ext + text::sjis("|全て(*.*)|*.*");
}

// The second field of the filter ("*.txt") without "*" and "."; of several patterns the first;
// none when it is a wildcard.
std::string default_extension(const std::string& filter) {
  const std::size_t bar = filter.find('|');
  if (bar == std::string::npos) return {};
  const std::size_t end = filter.find_first_of("|;", bar + 1);
  std::string ext = text::trim(
      filter.substr(bar + 1, end == std::string::npos ? std::string::npos : end - bar - 1));
  if (!ext.empty() && ext[0] == '*') ext.erase(0, 1);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  if (ext.find_first_of("*?;") != std::string::npos) return {};
  return ext;
}

void choose_files(Interpreter& in, bool save) {
  Host::FileRequest request;
  request.filter = file_filter(in.PopArgumentValue());
  const Host::DialogStyle style = dialog_style(in);
  request.initial_name = style.initial;
  request.save = save;
  request.multiple = !save;
  if (save) request.default_extension = default_extension(request.filter);
  const auto files = in.GetHost().ChooseFiles(style, request);
  if (!files || files->empty()) {
    set_cancelled(in);
    return;
  }
  in.SetResult(text::trim(join_lines(*files, false)), "s");
}

void open_file(Interpreter& in) {
  choose_files(in, false);
}

void save_file(Interpreter& in) {
  choose_files(in, true);
}

// Folders come back as this system's native paths, ending in "/" like every folder the run-time
// reports.
void choose_folder_with(Interpreter& in, const std::string& prompt) {
  std::optional<std::string> folder = in.GetHost().ChooseFolder(dialog_style(in), prompt);
  if (folder && !folder->empty() && folder->back() != '/' && folder->back() != '\\') *folder += '/';
  set_answer(in, folder, "s");
}

void choose_folder(Interpreter& in) {
  choose_folder_with(in, {});
}

void choose_folder_prompted(Interpreter& in) {
  choose_folder_with(in, in.PopArgumentValue());
}

// ---- geometry --------------------------------------------------------------------------------

void set_dialog_size(Interpreter& in) {
  const std::string raw = in.PopArgumentText();
  std::array<int, 4> rect{};
  if (!in.ImplicitSore()) {
    const std::vector<long long> values = CoordinateValues(in, raw);
    if (values.size() > rect.size()) {
      std::string listed;
      for (long long n : values) listed += std::to_string(n) + "\r\n";
      throw in.Error(text::sjis("座標の指定エラー。引数が多すぎます。\"") + listed + "\"");
    }
    for (std::size_t i = 0; i < values.size(); ++i) rect[i] = static_cast<int>(values[i]);
  }
  in.State().DialogRect = rect;
}

}  // namespace

void register_dialogs(HandlerTable& table) {
  table.Set(12, say);
  table.Set(10, ask);
  table.Set(40, yes_no);
  table.Set(160, yes_no_cancel);
  table.Set(264, ask_any);
  table.Set(301, select_list_item);
  table.Set(309, select_button);
  table.Set(265, edit_memo);
  table.Set(525, edit_items);
  table.Set(103, choose_colour);
  table.Set(312, choose_font);
  table.Set(41, open_file);
  table.Set(42, save_file);
  table.Set(169, choose_folder);
  table.Set(498, choose_folder_prompted);
  table.Set(546, set_dialog_size);
}

}  // namespace morivel::commands
