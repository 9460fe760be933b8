// Commands: regular-expression commands.
#include <string>
#include <vector>

#include "commands/families.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "text/encoding.h"
#include "text/perl_regex.h"

namespace morivel::commands {
namespace {

using engine::Interpreter;

constexpr std::size_t kMaxSplitPieces = 1000;

std::string join_lines(const std::vector<std::string>& lines) {
  std::string out;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (k > 0) out += "\r\n";
    out += lines[k];
  }
  return out;
}

void set_match_count(Interpreter& in, std::size_t count) {
  if (words::THashNode* word = in.State().Sys.MatchCount)
    word->SetValue(expr::NumberToText(static_cast<long double>(count)));
}

// A bare pattern becomes a match operation; one that starts with "m" is taken as written.
std::string as_match_operation(const std::string& pattern) {
  if (!pattern.empty() && pattern[0] == 'm') return pattern;
  return "m/" + pattern + "/";
}

engine::EMorv library_error(Interpreter& in, const text::RegexError& e) {
  return in.Error("\"" + in.CurrentCommandName() + text::sjis("\"で、Bregexp.dllのエラー。") +
                  e.what());
}

void regex_match(Interpreter& in) {
  const std::string pattern = in.PopArgumentValue();
  const std::string s = in.PopArgumentValue();
  in.SetResult("", "s");
  try {
    const std::vector<std::string> items = text::regex_match(as_match_operation(pattern), s);
    in.SetResult(join_lines(items), "s");
    set_match_count(in, items.size());
  } catch (const text::RegexError& e) {
    throw library_error(in, e);
  }
}

void regex_split(Interpreter& in) {
  const std::string pattern = in.PopArgumentValue();
  const std::string s = in.PopArgumentValue();
  in.SetResult("", "s");
  try {
    const std::vector<std::string> pieces =
        text::regex_split(as_match_operation(pattern), s, kMaxSplitPieces);
    in.SetResult(join_lines(pieces), "s");
    set_match_count(in, pieces.size());
  } catch (const text::RegexError& e) {
    throw library_error(in, e);
  }
}

void regex_substitute(Interpreter& in) {
  const std::string operation = in.PopArgumentValue();
  const std::string s = in.PopArgumentValue();
  in.SetResult("", "s");
  try {
    text::RegexEdit edit = text::regex_substitute(operation, s);
    in.SetResult(std::move(edit.text), "s");
    set_match_count(in, edit.count);
  } catch (const text::RegexError& e) {
    throw library_error(in, e);
  }
}

// Unlike the others, a failing translation leaves それ as it was.
void regex_translate(Interpreter& in) {
  const std::string operation = in.PopArgumentValue();
  const std::string s = in.PopArgumentValue();
  try {
    text::RegexEdit edit = text::regex_translate(operation, s);
    in.SetResult(std::move(edit.text), "s");
    set_match_count(in, edit.count);
  } catch (const text::RegexError& e) {
    throw library_error(in, e);
  }
}

}  // namespace

void register_regex(HandlerTable& table) {
  table.Set(187, regex_match);
  table.Set(190, regex_split);
  table.Set(191, regex_substitute);
  table.Set(192, regex_translate);
}

}  // namespace morivel::commands
