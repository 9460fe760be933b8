// Perl-style operations on Oniguruma's Shift_JIS encoding with the Perl syntax; every search
// runs under retry and stack limits so that a pathological pattern fails instead of hanging.
#include "text/perl_regex.h"

#include <oniguruma.h>

#include <memory>
#include <optional>
#include <unordered_map>

#include "text/sjis.h"

namespace morivel::text {
namespace {

constexpr unsigned long kRetryLimitInMatch = 10'000'000;
constexpr unsigned long kRetryLimitInSearch = 50'000'000;
constexpr unsigned int kMatchStackLimit = 1'000'000;

// ---- the Perl-style operation text ----------------------------------------------------------

struct Operation {
  std::vector<std::string> parts;  // pattern, then replacement or target list
  std::string flags;
};

bool is_ascii_alnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char closing_bracket(char open) {
  switch (open) {
    case '(':
      return ')';
    case '[':
      return ']';
    case '{':
      return '}';
    case '<':
      return '>';
    default:
      return 0;
  }
}

bool is_delimiter(unsigned char c) {
  return c > ' ' && c < 0x7F && !is_ascii_alnum(c) && c != '\\';
}

// Reads one delimited part starting at the opening delimiter at `pos`; leaves `pos` after the
// closing one. Backslash escapes are kept for the later stages; trail bytes are never taken for
// a delimiter or a backslash.
std::string read_part(std::string_view s, std::size_t& pos) {
  if (pos >= s.size() || !is_delimiter(static_cast<unsigned char>(s[pos])))
    throw RegexError("missing or invalid delimiter");
  const char open = s[pos];
  const char close = closing_bracket(open) ? closing_bracket(open) : open;
  int depth = 0;
  std::size_t i = pos + 1;
  while (i < s.size()) {
    const char c = s[i];
    if (char_len(s, i) == 2) {
      i += 2;
      continue;
    }
    if (c == '\\') {
      i += 1 + char_len(s, i + 1);
      continue;
    }
    if (c == close && depth == 0) break;
    if (close != open) depth += (c == open) - (c == close);
    ++i;
  }
  if (i >= s.size()) throw RegexError("search pattern not terminated");
  std::string part(s.substr(pos + 1, i - pos - 1));
  pos = i + 1;
  return part;
}

Operation parse_operation(std::string_view s, std::string_view op, std::size_t part_count,
                          std::string_view allowed_flags) {
  if (s.substr(0, op.size()) != op)
    throw RegexError("operation must start with \"" + std::string(op) + "\"");
  Operation result;
  std::size_t pos = op.size();
  const bool brackets = pos < s.size() && closing_bracket(s[pos]);
  const char delimiter = pos < s.size() ? s[pos] : 0;
  for (std::size_t k = 0; k < part_count; ++k) {
    if (k > 0 && !brackets) --pos;  // the closing delimiter also opens the next part
    while (k > 0 && brackets && pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    if (k > 0 && !brackets && s[pos] != delimiter) throw RegexError("missing delimiter");
    result.parts.push_back(read_part(s, pos));
  }
  result.flags = std::string(s.substr(pos));
  for (char f : result.flags)
    if (allowed_flags.find(f) == std::string_view::npos)
      throw RegexError(std::string("unknown modifier '") + f + "'");
  return result;
}

bool has_flag(const Operation& op, char flag) {
  return op.flags.find(flag) != std::string::npos;
}

// ---- Oniguruma handles ----------------------------------------------------------------------

void initialize_library() {
  static const bool done = [] {
    OnigEncoding encodings[] = {ONIG_ENCODING_SJIS};
    onig_initialize(encodings, 1);
    return true;
  }();
  (void)done;
}

std::string library_message(int code, OnigErrorInfo* info = nullptr) {
  OnigUChar buffer[ONIG_MAX_ERROR_MESSAGE_LEN];
  if (info)
    onig_error_code_to_str(buffer, code, info);
  else
    onig_error_code_to_str(buffer, code);
  return reinterpret_cast<const char*>(buffer);
}

struct RegexFree {
  void operator()(OnigRegexType* r) const { onig_free(r); }
};
struct RegionFree {
  void operator()(OnigRegion* r) const { onig_region_free(r, 1); }
};
struct MatchParamFree {
  void operator()(OnigMatchParam* p) const { onig_free_match_param(p); }
};

struct Match {
  std::size_t begin = 0, end = 0;
};

// A compiled pattern with the region and limits of its searches.
class Regex {
 public:
  Regex(std::string_view pattern, const Operation& op) : pattern_(pattern) {
    initialize_library();
    if (has_flag(op, 'i')) options_ |= ONIG_OPTION_IGNORECASE;
    if (has_flag(op, 'x')) options_ |= ONIG_OPTION_EXTEND;
    if (has_flag(op, 's')) options_ |= ONIG_OPTION_MULTILINE;
    if (has_flag(op, 'm')) options_ |= ONIG_OPTION_NEGATE_SINGLELINE;
    regex_ = compile(options_);
    region_.reset(onig_region_new());
    param_.reset(onig_new_match_param());
    if (!region_ || !param_) throw RegexError("out of memory");
    onig_initialize_match_param(param_.get());
    onig_set_retry_limit_in_match_of_match_param(param_.get(), kRetryLimitInMatch);
    onig_set_retry_limit_in_search_of_match_param(param_.get(), kRetryLimitInSearch);
    onig_set_match_stack_limit_size_of_match_param(param_.get(), kMatchStackLimit);
  }

  // The first match at or after byte `from` (a character start), or nullopt.
  std::optional<Match> Search(std::string_view text, std::size_t from) {
    const auto* start = reinterpret_cast<const OnigUChar*>(text.data());
    const auto* end = start + text.size();
    const int rc = onig_search_with_param(regex_.get(), start, end, start + from, end,
                                          region_.get(), ONIG_OPTION_NONE, param_.get());
    if (rc == ONIG_MISMATCH) return std::nullopt;
    if (rc < 0) throw RegexError(library_message(rc));
    return Match{static_cast<std::size_t>(region_->beg[0]),
                 static_cast<std::size_t>(region_->end[0])};
  }

  // The first non-empty match that starts exactly at byte `at`, or nullopt.
  std::optional<Match> NonEmptyMatchAt(std::string_view text, std::size_t at) {
    if (!not_empty_) not_empty_ = compile(options_ | ONIG_OPTION_FIND_NOT_EMPTY);
    const auto* start = reinterpret_cast<const OnigUChar*>(text.data());
    const int rc = onig_match_with_param(not_empty_.get(), start, start + text.size(), start + at,
                                         region_.get(), ONIG_OPTION_NONE, param_.get());
    if (rc == ONIG_MISMATCH) return std::nullopt;
    if (rc < 0) throw RegexError(library_message(rc));
    return Match{static_cast<std::size_t>(region_->beg[0]),
                 static_cast<std::size_t>(region_->end[0])};
  }

  int GroupCount() const { return onig_number_of_captures(regex_.get()); }

  // Group k of the last match; empty when it took no part.
  std::string_view Group(std::string_view text, int k) const {
    if (k >= region_->num_regs || region_->beg[k] < 0) return {};
    return text.substr(region_->beg[k], region_->end[k] - region_->beg[k]);
  }

 private:
  std::unique_ptr<OnigRegexType, RegexFree> compile(OnigOptionType options) const {
    OnigRegex raw = nullptr;
    OnigErrorInfo info{};
    const auto* p = reinterpret_cast<const OnigUChar*>(pattern_.data());
    const int rc = onig_new(&raw, p, p + pattern_.size(), options, ONIG_ENCODING_SJIS,
                            ONIG_SYNTAX_PERL, &info);
    std::unique_ptr<OnigRegexType, RegexFree> regex(raw);
    if (rc != ONIG_NORMAL) throw RegexError(library_message(rc, &info));
    return regex;
  }

  std::string pattern_;
  OnigOptionType options_ = ONIG_OPTION_NONE;
  std::unique_ptr<OnigRegexType, RegexFree> regex_;
  std::unique_ptr<OnigRegexType, RegexFree> not_empty_;  // made on the first empty match
  std::unique_ptr<OnigRegion, RegionFree> region_;
  std::unique_ptr<OnigMatchParam, MatchParamFree> param_;
};

// The next match of a global operation searching from `from`. As in Perl, right after an empty
// match (and at the start of every split piece) a match may not be empty at `from` itself: a
// non-empty one there is tried first, then the search goes on from the next character.
std::optional<Match> next_match(Regex& re, std::string_view text, std::size_t from,
                                bool no_empty_at_from) {
  if (no_empty_at_from) {
    if (std::optional<Match> m = re.NonEmptyMatchAt(text, from)) return m;
    if (from >= text.size()) return std::nullopt;
    from += char_len(text, from);
  }
  return re.Search(text, from);
}

void check_size(std::size_t bytes) {
  if (bytes > kMaxRegexResultBytes) throw RegexError("result too large");
}

// ---- replacement text -----------------------------------------------------------------------

char escaped_char(char c) {
  switch (c) {
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return c;
  }
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Reads a group number at i (digits, or {digits}); -1 when there is none.
int read_group_number(std::string_view r, std::size_t& i) {
  const bool braced = i < r.size() && r[i] == '{';
  std::size_t k = i + (braced ? 1 : 0);
  if (k >= r.size() || !is_digit(r[k])) return -1;
  int n = 0;
  while (k < r.size() && is_digit(r[k])) {
    if (n < 100000) n = n * 10 + (r[k] - '0');
    ++k;
  }
  if (braced) {
    if (k >= r.size() || r[k] != '}') return -1;
    ++k;
  }
  i = k;
  return n;
}

void expand_replacement(std::string_view r, std::string_view text, const Regex& re, const Match& m,
                        std::string& out) {
  for (std::size_t i = 0; i < r.size();) {
    const std::size_t len = char_len(r, i);
    const char c = r[i];
    if (len == 2 || (c != '\\' && c != '$') || i + 1 >= r.size()) {
      out.append(r.substr(i, len));
      i += len;
      continue;
    }
    std::size_t k = i + 1;
    if (c == '\\') {
      if (is_digit(r[k]) && r[k] != '0') {
        out.append(re.Group(text, r[k] - '0'));
        i = k + 1;
      } else {
        const std::size_t escaped_len = char_len(r, k);
        if (escaped_len == 2)
          out.append(r.substr(k, 2));
        else
          out += escaped_char(r[k]);
        i = k + escaped_len;
      }
      continue;
    }
    if (r[k] == '&') {
      out.append(text.substr(m.begin, m.end - m.begin));
      i = k + 1;
    } else if (r[k] == '`') {
      out.append(text.substr(0, m.begin));
      i = k + 1;
    } else if (r[k] == '\'') {
      out.append(text.substr(m.end));
      i = k + 1;
    } else if (const int group = read_group_number(r, k); group >= 0) {
      out.append(re.Group(text, group));
      i = k;
    } else {
      out += '$';
      ++i;
    }
  }
}

// ---- tr lists -------------------------------------------------------------------------------

// Ranges skip the codes that are no character (a trail byte outside 0x40..0xFC or 0x7F), so
// that ぁ-ん and ァ-ン line up.
bool is_character_code(unsigned code) {
  if (code <= 0xFF) return true;
  const unsigned trail = code & 0xFF;
  return is_lead_byte(static_cast<unsigned char>(code >> 8)) && trail >= 0x40 && trail <= 0xFC &&
         trail != 0x7F;
}

// The characters of a tr list as codes (lead << 8 | trail for double-byte ones), ranges expanded.
std::vector<unsigned> expand_list(std::string_view s) {
  std::vector<unsigned> codes;
  auto read_char = [&](std::size_t& i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      ++i;
      if (char_len(s, i) == 1)
        return static_cast<unsigned>(static_cast<unsigned char>(escaped_char(s[i++])));
    }
    const unsigned code = code_at(s, i);
    i += char_len(s, i);
    return code;
  };
  for (std::size_t i = 0; i < s.size();) {
    const unsigned first = read_char(i);
    if (i + 1 < s.size() && s[i] == '-') {
      std::size_t k = i + 1;
      const unsigned last = read_char(k);
      if (last < first) throw RegexError("invalid range in transliteration operator");
      check_size((last - first + 1) * sizeof(unsigned) + codes.size());
      for (unsigned code = first; code <= last; ++code)
        if (is_character_code(code)) codes.push_back(code);
      i = k;
    } else {
      codes.push_back(first);
    }
  }
  return codes;
}

void put_code(std::string& out, unsigned code) {
  if (code > 0xFF) out += static_cast<char>(code >> 8);
  out += static_cast<char>(code & 0xFF);
}

}  // namespace

std::vector<std::string> regex_match(std::string_view operation, std::string_view text) {
  const Operation op = parse_operation(operation, "m", 1, "gimsxko");
  Regex re(op.parts[0], op);
  const bool global = has_flag(op, 'g');
  std::vector<std::string> items;
  std::size_t bytes = 0;
  std::size_t from = 0;
  bool after_empty = false;
  while (const std::optional<Match> m = next_match(re, text, from, after_empty)) {
    for (int k = 0; k <= re.GroupCount(); ++k) {
      items.emplace_back(re.Group(text, k));
      bytes += items.back().size() + 2;
    }
    check_size(bytes);
    if (!global) break;
    from = m->end;
    after_empty = m->begin == m->end;
  }
  return items;
}

std::vector<std::string> regex_split(std::string_view operation, std::string_view text,
                                     std::size_t max_pieces) {
  const Operation op = parse_operation(operation, "m", 1, "gimsxko");
  Regex re(op.parts[0], op);
  std::vector<std::string> pieces;
  if (text.empty() || max_pieces == 0) return pieces;
  std::size_t start = 0;
  while (pieces.size() + 1 < max_pieces && start < text.size()) {
    // An empty match never cuts at the start of a piece.
    const std::optional<Match> m = next_match(re, text, start, true);
    if (!m) break;
    pieces.emplace_back(text.substr(start, m->begin - start));
    for (int k = 1; k <= re.GroupCount(); ++k) pieces.emplace_back(re.Group(text, k));
    start = m->end;
  }
  pieces.emplace_back(text.substr(start));
  while (!pieces.empty() && pieces.back().empty()) pieces.pop_back();
  return pieces;
}

RegexEdit regex_substitute(std::string_view operation, std::string_view text) {
  const Operation op = parse_operation(operation, "s", 2, "gimsxko");
  Regex re(op.parts[0], op);
  const bool global = has_flag(op, 'g');
  RegexEdit edit;
  std::size_t copied = 0;
  bool after_empty = false;
  while (const std::optional<Match> m = next_match(re, text, copied, after_empty)) {
    edit.text.append(text.substr(copied, m->begin - copied));
    expand_replacement(op.parts[1], text, re, *m, edit.text);
    check_size(edit.text.size());
    ++edit.count;
    copied = m->end;
    if (!global) break;
    after_empty = m->begin == m->end;
  }
  edit.text.append(text.substr(copied));
  return edit;
}

RegexEdit regex_translate(std::string_view operation, std::string_view text) {
  const Operation op = parse_operation(operation, "tr", 2, "cdsk");
  const std::vector<unsigned> from = expand_list(op.parts[0]);
  const std::vector<unsigned> to = expand_list(op.parts[1]);
  const bool complement = has_flag(op, 'c');
  const bool remove = has_flag(op, 'd');
  const bool squeeze = has_flag(op, 's');
  std::unordered_map<unsigned, std::size_t> index;
  for (std::size_t k = 0; k < from.size(); ++k) index.emplace(from[k], k);

  RegexEdit edit;
  edit.text.reserve(text.size());
  bool after_translated = false;  // the character put last was a translated one
  unsigned last_put = 0;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned code = code_at(text, i);
    const std::size_t len = char_len(text, i);
    i += len;
    const auto found = index.find(code);
    const bool listed = found != index.end();
    if (listed == complement) {
      put_code(edit.text, code);
      after_translated = false;
      continue;
    }
    ++edit.count;
    const std::size_t k = complement ? from.size() + to.size() : found->second;
    std::optional<unsigned> result;
    if (k < to.size())
      result = to[k];
    else if (!remove)
      result = to.empty() ? code : to.back();
    if (!result) continue;
    if (squeeze && after_translated && last_put == *result) continue;
    put_code(edit.text, *result);
    after_translated = true;
    last_put = *result;
  }
  return edit;
}

}  // namespace morivel::text
