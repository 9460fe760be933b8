// Commands: ログる, メニューパス作成 and 名義変更.
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "archive/commands.h"
#include "archive/network.h"
#include "engine/interpreter.h"
#include "expr/quote.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/sjis.h"
#include "words/state.h"

namespace morivel::archive {
namespace {

using engine::Interpreter;

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t pos = s.find(from); pos != std::string::npos;
       pos = s.find(from, pos + to.size()))
    s.replace(pos, from.size(), to);
  return s;
}

// ---- ログる -------------------------------------------------------------------------------------

// The values logged per key, owned by the run.
class LogTable : public words::OwnedObject {
 public:
  struct Entry {
    std::string key;
    long long count = 0;
    long long limit = 0;
    std::string collected;
  };

  static LogTable& Of(words::TMorvBase& state) {
    for (const auto& owned : state.OwnedObjects)
      if (auto* table = dynamic_cast<LogTable*>(owned.get())) return *table;
    state.OwnedObjects.push_back(std::make_unique<LogTable>());
    return static_cast<LogTable&>(*state.OwnedObjects.back());
  }

  Entry& Find(const std::string& key, long long limit) {
    for (Entry& e : entries_)
      if (e.key == key) return e;
    entries_.push_back({key, 0, limit, {}});
    return entries_.back();
  }

 private:
  std::vector<Entry> entries_;
};

const std::string& log_marker() {
  static const std::string marker = text::sjis("~改行_");
  return marker;
}

std::int32_t to_int32(long double n) {
  if (!(n == n)) return 0;
  if (n >= static_cast<long double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (n <= static_cast<long double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(n);
}

void show_log(Interpreter& in, LogTable::Entry& entry) {
  engine::Host::DialogStyle style;
  style.title = text::sjis("ログ - ") + "\"" + entry.key + "\"";
  std::optional<std::string> memo =
      in.GetHost().EditMemo(style, replace_all(entry.collected, log_marker(), "\r\n"));
  if (memo && memo->empty()) in.ShowDebugDialog();
  entry.collected.clear();
  entry.count = 0;
}

void log_value(Interpreter& in) {
  std::int32_t limit = to_int32(in.PopArgumentNumber());
  std::string key = in.PopArgumentText();
  std::string value = in.EvalArgument(key);
  LogTable::Entry& entry = LogTable::Of(in.State()).Find(key, limit);
  ++entry.count;
  entry.collected += log_marker() + "(" + std::to_string(entry.count) +
                     ")=" + replace_all(value, "\r\n", log_marker());
  if (entry.count == entry.limit) show_log(in, entry);
}

// ---- メニューパス作成
// -------------------------------------------------------------------------------

// A name inside back-quotes, as statements built here pass it on.
std::string as_literal(const std::string& name) {
  return expr::QuoteRaw(name);
}

void make_menu_item(Interpreter& in, const std::string& prefix, const std::string& piece) {
  static const std::string kMenu = text::sjis("メニュー");
  std::string name = prefix + piece + kMenu;
  if (in.FindWord(name)) return;
  std::string statement;
  if (prefix.empty()) {
    statement = as_literal(name) + text::sjis("を,メニュー作成");
  } else {
    std::string parent = prefix.substr(0, prefix.size() - 1) + kMenu;
    statement =
        as_literal(parent) + text::sjis("に,") + as_literal(name) + text::sjis("を,メニュー追加");
  }
  in.RunProgramText(statement);
}

// Pieces of a line between "\" separators; a trail byte 0x5C never separates.
std::vector<std::string> menu_pieces(std::string_view line) {
  std::vector<std::string> pieces(1);
  for (std::size_t i = 0; i < line.size();) {
    std::size_t len = text::char_len(line, i);
    if (len == 1 && line[i] == '\\')
      pieces.emplace_back();
    else
      pieces.back().append(line.substr(i, len));
    i += len;
  }
  return pieces;
}

void make_menu_paths(Interpreter& in) {
  std::string paths = in.PopArgumentValue();
  for (std::string_view line : text::split_lines(paths)) {
    std::string prefix;
    for (const std::string& piece : menu_pieces(line)) {
      if (piece.empty()) continue;
      make_menu_item(in, prefix, piece);
      prefix += piece + "_";
    }
  }
}

// ---- 名義変更 -----------------------------------------------------------------------------------

std::string back_quoted_text(const std::string& raw) {
  std::string t = text::trim(raw);
  if (t.size() < 2 || t.front() != '`' || t.back() != '`') return {};
  return replace_all(t.substr(1, t.size() - 2), "``", "`");
}

// Splits at spaces and commas; a double-byte character is never split.
std::vector<std::string> form_pieces(std::string_view form) {
  std::vector<std::string> pieces;
  std::string current;
  for (std::size_t i = 0; i < form.size();) {
    std::size_t len = text::char_len(form, i);
    if (len == 1 && (form[i] == ' ' || form[i] == ',')) {
      if (!current.empty()) pieces.push_back(std::move(current));
      current.clear();
    } else {
      current.append(form.substr(i, len));
    }
    i += len;
  }
  if (!current.empty()) pieces.push_back(std::move(current));
  return pieces;
}

void rename_command(Interpreter& in) {
  std::string form = back_quoted_text(in.PopArgumentText());
  if (!form.empty() && form.back() == ';') form.pop_back();
  words::THashNode* word = in.PopArgumentVariable(false);
  std::vector<std::string> pieces = form_pieces(text::normalize_half_width(form));
  std::size_t slots = 0;
  for (char c : word->Extra) slots += c == '?';
  if (pieces.size() != slots + 1)
    throw in.Error("\"" + word->Name + text::sjis("\"命令の引数に誤りがあります。"));
  std::string new_name = pieces.back();
  pieces.pop_back();
  std::string templ;
  for (const std::string& p : pieces) templ += (templ.empty() ? "" : ",") + p;
  auto copy = std::make_unique<words::THashNode>(new_name, word->Reserved, nullptr, word->Kind,
                                                 word->Tag, word->TypeMark, "", templ);
  copy->Assign(*word);
  copy->Extra = templ;
  in.State().Words.Delete(word->Name);
  in.State().Words.Add(std::move(copy));
}

}  // namespace

void register_peripheral_commands(commands::HandlerTable& table) {
  table.Set(347, log_value);
  table.Set(455, make_menu_paths);
  table.Set(51, rename_command);
  register_network_commands(table);
}

}  // namespace morivel::archive
