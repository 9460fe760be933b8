// Commands: string commands and character tests.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "commands/families.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "formats/csv.h"
#include "text/encoding.h"
#include "text/formatted_output.h"
#include "text/half_width.h"
#include "text/sjis.h"
#include "words/hash.h"

namespace morivel::commands {
namespace {

using engine::Interpreter;
using text::char_len;

constexpr std::size_t kNotFound = std::string::npos;
// Results beyond this are refused: a script asking for more is almost surely in error.
constexpr std::size_t kMaxResultBytes = std::size_t{64} << 20;
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

// ---- results and arguments ------------------------------------------------------------------

void set_text(Interpreter& in, std::string value) {
  in.SetResult(std::move(value), "s");
}

void set_number(Interpreter& in, long double n) {
  in.SetResult(expr::NumberToText(n), "e");
}

void set_flag(Interpreter& in, bool yes) {
  in.SetResult(yes ? "1" : "0", "e");
}

// For commands that only reshape a value: それ keeps the type marker it had.
void set_keeping_type(Interpreter& in, std::string value) {
  in.SetResult(std::move(value), in.State().Sys.Sore->TypeMark);
}

// A count from a lenient number: truncated toward zero, saturated at the 64-bit range.
std::int64_t to_count(long double v) {
  if (std::isnan(v)) return 0;
  std::int64_t out = 0;
  if (expr::TruncateToInt64(v, out)) return out;
  return v < 0 ? kInt64Min : kInt64Max;
}

std::int64_t pop_count(Interpreter& in) {
  return to_count(in.PopArgumentNumber());
}

std::int64_t pop_strict_integer(Interpreter& in, std::int64_t fallback) {
  std::int64_t v = 0;
  return expr::ToInteger(in.PopArgumentValue(), v) ? v : fallback;
}

void check_result_size(Interpreter& in, long double bytes) {
  if (bytes > static_cast<long double>(kMaxResultBytes))
    throw in.ArgumentError(text::sjis("結果が64MBを超えます。"));
}

std::string system_value(Interpreter& in, const char* utf8_name) {
  const words::THashNode* word = in.FindWord(text::sjis(utf8_name));
  return word ? word->GetValue() : std::string();
}

// ---- character and byte positions -----------------------------------------------------------

// Byte offset of the first occurrence at a character start, at or after byte `from`;
// kNotFound for an empty needle or text.
std::size_t byte_search(std::string_view s, std::string_view needle, std::size_t from = 0) {
  if (needle.empty() || s.empty()) return kNotFound;
  return text::find_at_char_start(s, needle, from);
}

// The first byte is compared on its own first: most positions of a long text fail there.
bool matches_at(std::string_view s, std::size_t i, std::string_view needle) {
  return !needle.empty() && i < s.size() && s[i] == needle[0] &&
         s.compare(i, needle.size(), needle) == 0;
}

// The first character start at or after `from` (itself a character start) where `needle`
// stands, or kNotFound. Replacing runs over whole long texts, so the stepping is spelled out and
// only a position whose first byte matches is compared further.
std::size_t next_at_char_start(std::string_view s, std::size_t from, std::string_view needle) {
  if (needle.empty() || needle.size() > s.size()) return kNotFound;
  const char* data = s.data();
  const std::size_t last = s.size() - needle.size();  // the last position a match can start at
  auto step = [&](std::size_t i) {
    return text::is_lead_byte(static_cast<unsigned char>(data[i])) && i + 1 < s.size() &&
                   data[i + 1] != '\0'
               ? 2
               : 1;
  };
  for (std::size_t i = from; i <= last; i += step(i)) {
    if (data[i] == needle[0] && std::memcmp(data + i, needle.data(), needle.size()) == 0) return i;
  }
  return kNotFound;
}

// Characters numbered from 1 with start <= number <= start + count - 1.
std::string char_substring(std::string_view s, std::int64_t start, std::int64_t count) {
  if (count <= 0) return {};
  const std::int64_t last = start > kInt64Max - (count - 1) ? kInt64Max : start + (count - 1);
  std::size_t begin = kNotFound, end = s.size();
  std::int64_t number = 1;
  for (std::size_t i = 0; i < s.size(); i += char_len(s, i), ++number) {
    if (number > last) {
      end = i;
      break;
    }
    if (number >= start && begin == kNotFound) begin = i;
  }
  if (begin == kNotFound) return {};
  return std::string(s.substr(begin, end - begin));
}

std::int64_t char_length(std::string_view s) {
  return static_cast<std::int64_t>(text::char_count(s));
}

// ---- counting and searching -----------------------------------------------------------------

void length_in_chars(Interpreter& in) {
  set_number(in, static_cast<long double>(text::char_count(in.PopArgumentValue())));
}

void length_in_bytes(Interpreter& in) {
  set_number(in, static_cast<long double>(in.PopArgumentValue().size()));
}

std::size_t count_lines(std::string_view s) {
  std::size_t lines = 0;
  for (std::size_t i = 0; i < s.size();) {
    ++lines;
    const std::size_t end = s.find_first_of("\r\n", i);
    if (end == kNotFound) break;
    i = end + 1;
    if (s[end] == '\r' && i < s.size() && s[i] == '\n') ++i;
  }
  return lines;
}

void line_count(Interpreter& in) {
  const std::string raw = in.PopArgumentText();
  if (words::THashNode* word = in.FindWord(raw); word && word->HasTable()) {
    set_number(in, static_cast<long double>(word->Table().RowCount()));
    return;
  }
  set_number(in, static_cast<long double>(count_lines(in.EvalArgument(raw))));
}

void position_in_chars(Interpreter& in) {
  const std::string needle = in.PopArgumentValue();
  const std::string s = in.PopArgumentValue();
  std::int64_t result = 0;
  if (s.size() >= needle.size() && !s.empty()) {
    std::int64_t number = 1;
    for (std::size_t i = 0; i < s.size(); i += char_len(s, i), ++number) {
      if (s.compare(i, needle.size(), needle) == 0) {
        result = number;
        break;
      }
    }
  }
  set_number(in, static_cast<long double>(result));
}

void position_in_bytes(Interpreter& in) {
  const std::string needle = in.PopArgumentValue();
  const std::string s = in.PopArgumentValue();
  const std::size_t at = s.size() < needle.size() ? kNotFound : byte_search(s, needle);
  set_number(in, at == kNotFound ? 0 : static_cast<long double>(at + 1));
}

void occurrence_count(Interpreter& in) {
  const std::string word = in.PopArgumentValue();
  const std::string s = in.PopArgumentValue();
  std::size_t count = 0;
  for (std::size_t at = byte_search(s, word); at != kNotFound;
       at = byte_search(s, word, at + word.size()))
    ++count;
  set_number(in, static_cast<long double>(count));
}

void texts_equal(Interpreter& in) {
  const std::string b = in.PopArgumentValue();
  const std::string a = in.PopArgumentValue();
  set_flag(in, a == b);
}

// ---- replacing and repeating ----------------------------------------------------------------

// Every occurrence replaced; the inserted text is never searched again.
void replace_all(Interpreter& in) {
  const std::string replacement = in.PopArgumentValue();
  const std::string search = in.PopArgumentValue();
  const std::string s = in.PopArgumentValue();
  if (search.empty()) {
    set_text(in, s);
    return;
  }
  std::string out;
  out.reserve(s.size());
  std::size_t copied = 0;
  for (std::size_t i = next_at_char_start(s, 0, search); i != kNotFound;
       i = next_at_char_start(s, copied, search)) {
    out.append(s, copied, i - copied);
    out += replacement;
    if (out.size() > kMaxResultBytes) check_result_size(in, static_cast<long double>(out.size()));
    copied = i + search.size();
  }
  out.append(s, copied);
  set_text(in, std::move(out));
}

void replace_nth(Interpreter& in) {
  const std::string replacement = in.PopArgumentValue();
  const std::string search = in.PopArgumentValue();
  const std::int64_t n = pop_count(in);
  const std::string s = in.PopArgumentValue();
  if (search.empty()) {
    set_text(in, n >= 1 ? replacement + s : s);
    return;
  }
  std::int64_t seen = 0;
  for (std::size_t i = next_at_char_start(s, 0, search); i != kNotFound;
       i = next_at_char_start(s, i + search.size(), search)) {
    if (++seen == n) {
      set_text(in, s.substr(0, i) + replacement + s.substr(i + search.size()));
      return;
    }
  }
  set_text(in, s);
}

void refrain(Interpreter& in) {
  const std::int64_t count = pop_strict_integer(in, 0);
  const std::string s = in.PopArgumentValue();
  if (count <= 0 || s.empty()) {
    set_text(in, "");
    return;
  }
  check_result_size(in, static_cast<long double>(s.size()) * static_cast<long double>(count));
  std::string out;
  out.reserve(s.size() * static_cast<std::size_t>(count));
  for (std::int64_t k = 0; k < count; ++k) out += s;
  set_text(in, std::move(out));
}

// The variable becomes a buffer of n bytes for external calls; それ is not touched.
void reserve_bytes(Interpreter& in) {
  const std::int64_t n = pop_count(in);
  words::THashNode* variable = in.PopArgumentVariable(true);
  check_result_size(in, static_cast<long double>(n));
  variable->SetValue(std::string(static_cast<std::size_t>(std::max<std::int64_t>(n, 0)), '\0'));
  if (variable->TypeMark.empty()) variable->TypeMark = "s";
}

// ---- extracting -----------------------------------------------------------------------------

void left_chars(Interpreter& in) {
  const std::int64_t n = pop_count(in);
  const std::string s = in.PopArgumentValue();
  set_text(in, char_substring(s, 1, n));
}

void right_chars(Interpreter& in) {
  const std::int64_t n = pop_count(in);
  const std::string s = in.PopArgumentValue();
  if (n <= 0) {
    set_text(in, "");
    return;
  }
  const std::int64_t length = char_length(s);
  set_text(in, n >= length ? s : char_substring(s, length - n + 1, n));
}

void mid_chars(Interpreter& in) {
  const std::int64_t count = pop_strict_integer(in, 0);
  const std::int64_t start = pop_strict_integer(in, 0);
  set_text(in, char_substring(in.PopArgumentValue(), start, count));
}

void mid_bytes(Interpreter& in) {
  const std::int64_t count = pop_strict_integer(in, 0);
  const std::int64_t start = std::max<std::int64_t>(pop_strict_integer(in, 0), 1);
  const std::string s = in.PopArgumentValue();
  if (count < 0 || static_cast<std::uint64_t>(start) > s.size()) {
    set_text(in, "");
    return;
  }
  set_text(in, s.substr(static_cast<std::size_t>(start - 1),
                        static_cast<std::size_t>(std::min<std::uint64_t>(count, s.size()))));
}

void drop_right_chars(Interpreter& in) {
  const std::int64_t n = pop_count(in);
  const std::string s = in.PopArgumentValue();
  const std::int64_t length = char_length(s);
  if (n <= 0) {
    set_text(in, s);
    return;
  }
  set_text(in, n >= length ? std::string() : char_substring(s, 1, length - n));
}

void drop_left_chars(Interpreter& in) {
  const std::int64_t n = pop_count(in);
  const std::string s = in.PopArgumentValue();
  if (n <= 0) {
    set_text(in, s);
    return;
  }
  const std::int64_t length = char_length(s);
  set_text(in, n >= length ? std::string() : char_substring(s, n + 1, length));
}

// A paragraph ends where a CR (or CR LF) is followed by another CR; the piece takes the run
// of line ends after it.
std::string nth_paragraph(std::string_view s, std::int64_t n) {
  std::int64_t number = 0;
  for (std::size_t start = 0; start < s.size();) {
    std::size_t end = start;
    while (end < s.size()) {
      if (s[end] == '\r') {
        std::size_t k = end + 1;
        if (k < s.size() && s[k] == '\n') ++k;
        if (k < s.size() && s[k] == '\r') break;
      }
      ++end;
    }
    while (end < s.size() && (s[end] == '\r' || s[end] == '\n')) ++end;
    if (++number == n) return std::string(s.substr(start, end - start));
    start = end;
  }
  return {};
}

void paragraph(Interpreter& in) {
  set_text(in, "");
  const std::int64_t n = pop_strict_integer(in, -1);
  const std::string s = in.PopArgumentValue();
  set_text(in, n <= 0 ? std::string() : nth_paragraph(s, n));
}

void split_to_table(Interpreter& in) {
  const std::string delimiter = in.PopArgumentValue();
  const std::string s = in.PopArgumentValue();
  std::string out;
  if (!s.empty()) {
    std::size_t start = 0;
    for (std::size_t i = 0; !delimiter.empty() && i < s.size();) {
      if (!matches_at(s, i, delimiter)) {
        i += char_len(s, i);
        continue;
      }
      out += formats::TCsvDb::QuoteCell(std::string_view(s).substr(start, i - start)) + "\r\n";
      i += delimiter.size();
      start = i;
    }
    out += formats::TCsvDb::QuoteCell(std::string_view(s).substr(start)) + "\r\n";
  }
  set_text(in, std::move(out));
}

// ---- wrapping -------------------------------------------------------------------------------

class LineWrapper {
 public:
  LineWrapper(std::string_view s, std::int64_t width, std::int64_t tab, std::string_view kinsoku)
      : s_(s), width_(width), tab_(tab) {
    for (std::size_t i = 0; i < kinsoku.size(); i += char_len(kinsoku, i))
      kinsoku_.emplace_back(kinsoku.substr(i, char_len(kinsoku, i)));
  }

  std::string Run() {
    while (i_ < s_.size()) {
      if (char_len(s_, i_) == 2) {
        if (column_ + 2 > width_ && BreakMovedNext()) continue;
        Copy(2, 2);
        continue;
      }
      if (column_ >= width_ && BreakMovedNext()) continue;
      const char c = s_[i_];
      if (c == '\r' || c == '\n') {
        ++i_;
        if (i_ < s_.size() && (s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
        BreakMovedNext();
      } else {
        Copy(1, c == '\t' ? tab_ : 1);
      }
    }
    return std::move(out_);
  }

 private:
  void Copy(std::size_t bytes, std::int64_t columns) {
    out_.append(s_.substr(i_, bytes));
    i_ += bytes;
    column_ += columns;
  }

  bool NextIsKinsoku() const {
    if (i_ >= s_.size()) return false;
    const std::string_view next = s_.substr(i_, char_len(s_, i_));
    return std::find(kinsoku_.begin(), kinsoku_.end(), next) != kinsoku_.end();
  }

  // Ends the line; a character that may not begin a line is pulled onto this one first.
  // True when it took the next character.
  bool BreakMovedNext() {
    const bool moved = NextIsKinsoku();
    if (moved) {
      const std::size_t len = char_len(s_, i_);
      out_.append(s_.substr(i_, len));
      i_ += len;
    }
    out_ += "\r\n";
    column_ = 0;
    return moved;
  }

  std::string_view s_;
  std::int64_t width_, tab_;
  std::vector<std::string> kinsoku_;
  std::string out_;
  std::size_t i_ = 0;
  std::int64_t column_ = 0;
};

void wrap_lines(Interpreter& in) {
  const std::int64_t width = pop_count(in);
  const std::string s = in.PopArgumentValue();
  if (width <= 0) {
    set_text(in, s);
    return;
  }
  // Clamped so that the column arithmetic cannot overflow on any text.
  constexpr std::int64_t kMaxTab = std::int64_t{1} << 30;
  const std::int64_t tab =
      std::clamp(to_count(expr::ToNumber(system_value(in, "タブ文字の個数"))), -kMaxTab, kMaxTab);
  LineWrapper wrapper(s, width, tab, system_value(in, "禁則処理の行頭禁止文字"));
  set_text(in, wrapper.Run());
}

// ---- cutting --------------------------------------------------------------------------------

// The first argument of a cutting command: a variable (whose value is the source and which
// keeps the remainder) or any other argument (evaluated; only それ changes).
struct CutSource {
  words::THashNode* variable = nullptr;
  std::string value;
};

CutSource pop_cut_source(Interpreter& in, bool quoted_is_never_variable = false) {
  const std::string raw = in.PopArgumentText();
  const bool quoted = !raw.empty() && (raw[0] == '"' || raw[0] == '`');
  if (!(quoted_is_never_variable && quoted)) {
    if (words::THashNode* word = in.FindWord(raw); word && word->Kind == words::kVariable)
      return {word, word->GetValue()};
  }
  return {nullptr, in.EvalArgument(raw)};
}

void keep_remainder(Interpreter& in, const CutSource& source, std::string remainder) {
  if (!source.variable || source.variable == in.State().Sys.Sore || source.variable->Reserved)
    return;
  source.variable->SetValue(std::move(remainder));
}

void cut_left(Interpreter& in) {
  const std::int64_t n = pop_count(in);
  const CutSource source = pop_cut_source(in, true);
  if (n <= 0 || source.value.empty()) {
    set_text(in, "");
    return;
  }
  const std::int64_t length = char_length(source.value);
  const std::int64_t taken = std::min(n, length);
  std::string remainder = char_substring(source.value, taken + 1, length - taken);
  set_text(in, char_substring(source.value, 1, taken));
  keep_remainder(in, source, std::move(remainder));
}

void cut_right(Interpreter& in) {
  const std::int64_t n = pop_count(in);
  const CutSource source = pop_cut_source(in, true);
  if (n <= 0 || source.value.empty()) {
    set_text(in, "");
    return;
  }
  const std::int64_t length = char_length(source.value);
  const std::int64_t kept = std::max<std::int64_t>(length - n, 0);
  std::string remainder = char_substring(source.value, 1, kept);
  set_text(in, char_substring(source.value, kept + 1, length - kept));
  keep_remainder(in, source, std::move(remainder));
}

void cut_until(Interpreter& in) {
  const std::string delimiter = in.PopArgumentValue();
  const CutSource source = pop_cut_source(in);
  if (delimiter.empty()) {
    set_text(in, "");
    return;
  }
  if (!source.variable && source.value.empty()) throw in.ArgumentError();
  const std::size_t at = byte_search(source.value, delimiter);
  if (at == kNotFound) {
    set_text(in, source.value);
    keep_remainder(in, source, "");
    return;
  }
  set_text(in, source.value.substr(0, at));
  keep_remainder(in, source, source.value.substr(at + delimiter.size()));
}

void cut_range(Interpreter& in) {
  const std::string end_marker = in.PopArgumentValue();
  const std::string start_marker = in.PopArgumentValue();
  const CutSource source = pop_cut_source(in);
  set_text(in, "");
  if (!source.variable)
    throw in.ArgumentError(text::sjis("１番目の引数は、変数である必要があります。"));
  const std::string& s = source.value;
  const std::size_t start = byte_search(s, start_marker);
  if (start == kNotFound) return;
  const std::size_t end = byte_search(s, end_marker, start);
  if (end == kNotFound) {
    set_text(in, s.substr(start));
    keep_remainder(in, source, s.substr(0, start));
    return;
  }
  const std::size_t after = end + end_marker.size();
  set_text(in, s.substr(start, after - start));
  keep_remainder(in, source, s.substr(0, start) + s.substr(after));
}

void cut_until_unescaped(Interpreter& in) {
  const std::string escape = in.PopArgumentValue();
  const std::string delimiter = in.PopArgumentValue();
  const CutSource source = pop_cut_source(in);
  if (escape.size() != 1)
    throw in.ArgumentError(text::sjis("判別文字は \\などの半角１文字で指定。"));
  if (delimiter.empty()) {
    set_text(in, "");
    return;
  }
  if (!source.variable && source.value.empty()) throw in.ArgumentError();
  const std::string& s = source.value;
  std::string result;
  std::size_t i = 0;
  bool found = false;
  while (i < s.size()) {
    if (matches_at(s, i, delimiter)) {
      i += delimiter.size();
      found = true;
      break;
    }
    std::size_t len = char_len(s, i);
    if (len == 1 && s[i] == escape[0] && i + 1 < s.size()) len += char_len(s, i + 1);
    result.append(s, i, len);
    i += len;
  }
  set_text(in, std::move(result));
  keep_remainder(in, source, found ? s.substr(i) : std::string());
}

// ---- trimming and padding -------------------------------------------------------------------

bool is_blank_char(std::string_view ch) {
  static const std::string kIdeographicSpace = text::sjis("　");
  return ch == kIdeographicSpace || ch == " " || ch == "\t" || ch == "\r" || ch == "\n";
}

std::string trim_blanks(std::string_view s) {
  s = text::trim_view(s);
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < s.size(); i += char_len(s, i)) starts.push_back(i);
  std::size_t first = 0, last = starts.size();  // characters [first, last)
  auto char_at = [&](std::size_t k) {
    const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : s.size();
    return s.substr(starts[k], end - starts[k]);
  };
  while (first < last && is_blank_char(char_at(first))) ++first;
  while (last > first && is_blank_char(char_at(last - 1))) --last;
  if (first == last) return {};
  const std::size_t end = last < starts.size() ? starts[last] : s.size();
  return std::string(s.substr(starts[first], end - starts[first]));
}

void trim(Interpreter& in) {
  set_text(in, trim_blanks(in.PopArgumentValue()));
}

void strip_okurigana(Interpreter& in) {
  set_text(in, text::strip_okurigana(in.PopArgumentValue()));
}

void pad_left(Interpreter& in, char filler) {
  const std::int64_t width = pop_count(in);
  std::string s = in.PopArgumentValue();
  if (width > static_cast<std::int64_t>(s.size())) {
    check_result_size(in, static_cast<long double>(width));
    s.insert(0, static_cast<std::size_t>(width) - s.size(), filler);
  }
  set_keeping_type(in, std::move(s));
}

void align_right(Interpreter& in) {
  pad_left(in, ' ');
}
void fill_zeros(Interpreter& in) {
  pad_left(in, '0');
}

// ---- number forms ---------------------------------------------------------------------------

void currency_form(Interpreter& in) {
  const std::string value = in.PopArgumentValue();
  // Rounded to the four decimals of a currency amount first, as the amount type does.
  const long double units = std::nearbyint(expr::ToNumber(value) * 10000.0L);
  constexpr long double kMaxUnits = 9.2e18L;
  if (!(std::fabs(units) <= kMaxUnits)) throw in.ArgumentError();
  const bool with_decimals = value.find('.') != kNotFound;
  set_keeping_type(in, text::format_grouped(units / 10000.0L, with_decimals ? 2 : 0));
}

void format_value(Interpreter& in) {
  const std::string format = in.PopArgumentValue();
  const std::string value = in.PopArgumentValue();
  auto invalid = [&] {
    return in.Error("\"" + in.CurrentCommandName() +
                    text::sjis("\"は、文法が正しくないため、実行できません。"));
  };
  text::FormatArgument arg;
  if (format.find_first_of("fm") != kNotFound) {
    arg.kind = text::FormatArgument::Kind::Real;
    arg.real = expr::ToNumber(value);
  } else if (format.find('d') != kNotFound) {
    arg.kind = text::FormatArgument::Kind::Integer;
    if (!expr::TruncateToInt64(expr::ToNumber(value), arg.integer)) throw invalid();
  } else {
    arg.text = value;
  }
  try {
    set_text(in, text::format_value(format, arg));
  } catch (const text::FormatError&) {
    throw invalid();
  }
}

// ---- character tests and codes --------------------------------------------------------------

// The first character in its half-width form, when that is one byte.
int first_char_half_width(std::string_view s) {
  if (s.empty()) return -1;
  const std::string half = text::to_half_width(s.substr(0, char_len(s, 0)));
  return half.size() == 1 ? static_cast<unsigned char>(half[0]) : -1;
}

void is_upper_letter(Interpreter& in) {
  const int c = first_char_half_width(in.PopArgumentValue());
  set_flag(in, c >= 'A' && c <= 'Z');
}

void is_digit_char(Interpreter& in) {
  const int c = first_char_half_width(in.PopArgumentValue());
  set_flag(in, c >= '0' && c <= '9');
}

void is_numeric_text(Interpreter& in) {
  const std::string s = in.PopArgumentValue();
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const bool yes = !s.empty() && digit(s[0]) && std::all_of(s.begin() + 1, s.end(), [&](char c) {
    return digit(c) || c == '+' || c == '-' || c == '.' || c == 'E' || c == 'e';
  });
  set_flag(in, yes);
}

void is_double_byte(Interpreter& in) {
  const std::string s = in.PopArgumentValue();
  set_flag(in, !s.empty() && text::is_lead_byte(static_cast<unsigned char>(s[0])));
}

unsigned first_two_bytes(std::string_view s) {
  return s.size() < 2 ? 0
                      : static_cast<unsigned>(static_cast<unsigned char>(s[0]) << 8 |
                                              static_cast<unsigned char>(s[1]));
}

void is_hiragana(Interpreter& in) {
  const unsigned code = first_two_bytes(in.PopArgumentValue());
  set_flag(in, code >= 0x82A0 && code <= 0x833E);
}

void is_katakana(Interpreter& in) {
  const unsigned code = first_two_bytes(in.PopArgumentValue());
  set_flag(in, code >= 0x8340 && code <= 0x839D);
}

void char_of_code(Interpreter& in) {
  const std::int64_t code = pop_strict_integer(in, -1);
  if (code < 0 || code > 0xFFFF) throw in.ArgumentError();
  std::string out;
  if (code > 0xFF) out += static_cast<char>(code >> 8);
  out += static_cast<char>(code & 0xFF);
  set_text(in, std::move(out));
}

void code_of_char(Interpreter& in) {
  const std::string s = in.PopArgumentValue();
  if (s.empty()) throw in.ArgumentError();
  set_number(in, static_cast<long double>(text::code_at(s, 0)));
}

}  // namespace

void register_strings(HandlerTable& table) {
  table.Set(92, length_in_chars);
  table.Set(122, length_in_bytes);
  table.Set(70, line_count);
  table.Set(46, replace_all);
  table.Set(438, replace_nth);
  table.Set(562, position_in_chars);
  table.Set(47, position_in_bytes);
  table.Set(50, refrain);
  table.Set(73, reserve_bytes);
  table.Set(188, right_chars);
  table.Set(189, left_chars);
  table.Set(48, mid_chars);
  table.Set(431, mid_bytes);
  table.Set(373, texts_equal);
  table.Set(410, occurrence_count);
  table.Set(36, split_to_table);
  table.Set(214, paragraph);
  table.Set(412, wrap_lines);
  table.Set(277, cut_left);
  table.Set(278, cut_right);
  table.Set(99, cut_until);
  table.Set(266, cut_range);
  table.Set(279, cut_until_unescaped);
  table.Set(72, trim);
  table.Set(171, drop_right_chars);
  table.Set(172, drop_left_chars);
  table.Set(327, strip_okurigana);
  table.Set(173, currency_form);
  table.Set(293, format_value);
  table.Set(174, align_right);
  table.Set(175, fill_zeros);
  table.Set(284, is_upper_letter);
  table.Set(285, is_digit_char);
  table.Set(413, is_numeric_text);
  table.Set(286, is_double_byte);
  table.Set(287, is_hiragana);
  table.Set(288, is_katakana);
  table.Set(76, char_of_code);
  table.Set(75, code_of_char);
}

}  // namespace morivel::commands
