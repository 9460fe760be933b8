// Wildcard patterns: compiling the pattern language and matching it with bounded backtracking.
#include "text/wildcard.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::text {

namespace {

using Element = WildcardPattern::Element;
using Kind = WildcardPattern::Kind;
using Repeat = WildcardPattern::Repeat;
using Range = WildcardPattern::Range;

// A star tries text positions one after another and each trial may hold further stars. Trials
// and the positions each star settles on are memoised; the step budget stops what the memos
// cannot save (long [* ] runs retried at every position, say), the memo limits bound memory.
constexpr std::uint64_t kMaxSteps = 30'000'000;
constexpr std::size_t kMaxTrialMemo = 500'000;
constexpr std::size_t kMaxStarMemoCells = 4'000'000;
// Each star nests one trial inside the previous one.
constexpr int kMaxStarDepth = 1000;

[[noreturn]] void fail_with(const char* utf8_message) {
  throw GeneralError(sjis(utf8_message));
}

// ---- compiling ---------------------------------------------------------------------------------

class Compiler {
 public:
  explicit Compiler(std::string_view pattern) : p_(pattern) {}

  std::vector<Element> Compile() {
    std::vector<Element> out;
    while (pos_ < p_.size()) {
      char c = p_[pos_];
      if (char_len(p_, pos_) == 2) {
        out.push_back(CharElement(NextChar()));
      } else if (c == '\\') {
        ++pos_;
        Escape(out);
      } else if (c == '[') {
        ++pos_;
        out.push_back(Class());
      } else {
        ++pos_;
        out.push_back(Single(c));
      }
    }
    return out;
  }

 private:
  static Element CharElement(std::string_view ch) {
    Element e;
    e.text = std::string(ch);
    return e;
  }

  static Element Single(char c) {
    Element e;
    switch (c) {
      case '?':
        e.kind = Kind::Question;
        break;
      case '*':
        e.kind = Kind::Asterisk;
        break;
      case '#':
        e.kind = Kind::Digit;
        break;
      case '(':
        e.kind = Kind::PickupFrom;
        break;
      case ')':
        e.kind = Kind::PickupTo;
        break;
      default:
        e.text = std::string(1, c);
    }
    return e;
  }

  std::string_view NextChar() {
    std::size_t len = char_len(p_, pos_);
    std::string_view ch = p_.substr(pos_, len);
    pos_ += len;
    return ch;
  }

  bool AtClassEnd() const { return pos_ >= p_.size() || p_[pos_] == ']'; }

  void Escape(std::vector<Element>& out) {
    if (pos_ >= p_.size()) {
      out.push_back(CharElement("\\"));
      return;
    }
    std::string_view ch = NextChar();
    if (ch == "n") {
      out.push_back(CharElement("\r"));
      out.push_back(CharElement("\n"));
    } else if (ch == "t") {
      out.push_back(CharElement("\t"));
    } else {
      out.push_back(CharElement(ch));
    }
  }

  Element Class() {
    Element e;
    e.kind = Kind::Class;
    if (pos_ < p_.size() && p_[pos_] == '!') {
      e.negated = true;
      ++pos_;
    }
    if (pos_ < p_.size()) {
      switch (p_[pos_]) {
        case '*':
          e.repeat = Repeat::ZeroOrMore;
          ++pos_;
          break;
        case '+':
          e.repeat = Repeat::OneOrMore;
          ++pos_;
          break;
        case '=':
          e.repeat = Repeat::Alternatives;
          ++pos_;
          break;
        default:
          break;
      }
    }
    if (e.repeat == Repeat::Alternatives) {
      e.alternatives = Alternatives();
    } else {
      while (!AtClassEnd()) e.ranges.push_back(Member());
    }
    if (pos_ < p_.size()) ++pos_;  // the "]"
    return e;
  }

  Range Member() {
    if (p_[pos_] == '\\') {
      ++pos_;
      std::string_view ch = pos_ < p_.size() ? NextChar() : std::string_view();
      if (ch == "n") return {10, 13};
      if (ch == "t") return {9, 9};
      fail_with("ワイルドカードの[ ]中で\\記号を使うときは、\\t,\\nしか許されていません。");
    }
    unsigned low = code_at(p_, pos_);
    NextChar();
    // "a-z" is a range; a "-" before the "]" is a member of its own.
    if (pos_ + 1 < p_.size() && p_[pos_] == '-' && p_[pos_ + 1] != ']') {
      ++pos_;
      unsigned high = code_at(p_, pos_);
      NextChar();
      return {std::min(low, high), std::max(low, high)};
    }
    return {low, low};
  }

  std::vector<std::string> Alternatives() {
    std::vector<std::string> list(1);
    while (!AtClassEnd()) {
      std::string_view ch = NextChar();
      if (ch == "|")
        list.emplace_back();
      else
        list.back() += ch;
    }
    Reorder(list);
    return list;
  }

  // The order in which alternatives are tried: round k brings the first shortest of the
  // alternatives behind position k to the front (the one at k itself in the last round).
  static void Reorder(std::vector<std::string>& list) {
    const std::size_t n = list.size();
    for (std::size_t k = 0; k < n; ++k) {
      std::size_t pick = k;
      if (k + 1 < n) {
        pick = k + 1;
        for (std::size_t i = k + 2; i < n; ++i)
          if (list[i].size() < list[pick].size()) pick = i;
      }
      std::string moved = std::move(list[pick]);
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(pick));
      list.insert(list.begin(), std::move(moved));
    }
  }

  std::string_view p_;
  std::size_t pos_ = 0;
};

// ---- matching ----------------------------------------------------------------------------------

// Text positions count characters; one past the end marks a "?" that ran over the end.
class Matcher {
 public:
  Matcher(const std::vector<Element>& pattern, std::string_view text)
      : pattern_(pattern), text_(text) {
    for (std::size_t i = 0; i < text.size(); i += char_len(text, i)) offsets_.push_back(i);
    count_ = static_cast<long>(offsets_.size());
    offsets_.push_back(text.size());
  }

  // The end position of a match from the start (recording pick-ups), or -1.
  long Run() { return Walk(0, 0, true); }

  long CharacterCount() const { return count_; }
  std::size_t ByteOffset(long position) const {
    return offsets_[static_cast<std::size_t>(std::min(position, count_))];
  }
  std::vector<std::string>& Pickups() { return pickups_; }

 private:
  std::string_view CharAt(long t) const {
    auto i = static_cast<std::size_t>(t);
    return text_.substr(offsets_[i], offsets_[i + 1] - offsets_[i]);
  }

  void Step() {
    if (++steps_ > kMaxSteps) fail_with("ワイルドカードの照合が複雑すぎるため中断しました。");
  }

  // Trials never record, so their outcome depends on the two positions alone.
  long Trial(std::size_t pi, long t) {
    std::uint64_t key = static_cast<std::uint64_t>(pi) * static_cast<std::uint64_t>(count_ + 2) +
                        static_cast<std::uint64_t>(t);
    auto found = trial_memo_.find(key);
    if (found != trial_memo_.end()) return found->second;
    long end = Walk(pi, t, false);
    if (trial_memo_.size() < kMaxTrialMemo) trial_memo_.emplace(key, end);
    return end;
  }

  // Per star element: for each text position, where the star's shortest working expansion
  // ends (-1 when there is none), once known.
  std::vector<long>* StarMemo(std::size_t pi) {
    auto found = star_memo_.find(pi);
    if (found != star_memo_.end()) return &found->second;
    std::size_t cells = static_cast<std::size_t>(count_) + 2;
    if ((star_memo_.size() + 1) * cells > kMaxStarMemoCells) return nullptr;
    return &star_memo_.emplace(pi, std::vector<long>(cells, kUnknown)).first->second;
  }

  long Walk(std::size_t pi, long t, bool recording) {
    for (; pi < pattern_.size(); ++pi) {
      Step();
      const Element& e = pattern_[pi];
      switch (e.kind) {
        case Kind::Char:
          if (t >= count_ || CharAt(t) != e.text) return -1;
          ++t;
          break;
        case Kind::Question:
          if (t <= count_) ++t;
          break;
        case Kind::Digit:
          if (t >= count_ || CharAt(t)[0] < '0' || CharAt(t)[0] > '9') return -1;
          ++t;
          break;
        case Kind::PickupFrom:
          if (recording) pickup_start_ = t;
          break;
        case Kind::PickupTo:
          if (recording) PickUp(t);
          break;
        case Kind::Asterisk:
          return Star(pi, t, recording);
        case Kind::Class:
          t = ClassAt(pi, t);
          if (t < 0) return -1;
          break;
      }
    }
    return t;
  }

  long Star(std::size_t pi, long t, bool recording) {
    const long rest_end = std::max(t, count_);
    if (pi + 1 == pattern_.size()) return rest_end;
    if (pi + 2 == pattern_.size() && pattern_[pi + 1].kind == Kind::PickupTo) {
      if (recording) PickUp(rest_end);
      return rest_end;
    }
    if (++depth_ > kMaxStarDepth) fail_with("ワイルドカードの照合が複雑すぎるため中断しました。");
    long pos = FirstWorkingPosition(pi, t, rest_end);
    long end = -1;
    if (pos >= 0) end = recording ? Walk(pi + 1, pos, true) : Trial(pi + 1, pos);
    --depth_;
    return end;
  }

  // Shortest expansion first: the first position from t on where the rest of the pattern
  // matches. Every position passed on the way has the same answer, so all of them are noted.
  long FirstWorkingPosition(std::size_t pi, long t, long rest_end) {
    std::vector<long>* memo = StarMemo(pi);
    long found = -1;
    long pos = t;
    for (; pos <= rest_end; ++pos) {
      Step();
      if (memo && (*memo)[static_cast<std::size_t>(pos)] != kUnknown) {
        found = (*memo)[static_cast<std::size_t>(pos)];
        break;
      }
      if (Trial(pi + 1, pos) >= 0) {
        found = pos;
        break;
      }
    }
    if (memo)
      for (long p = t; p <= std::min(pos, rest_end); ++p)
        (*memo)[static_cast<std::size_t>(p)] = found;
    return found;
  }

  void PickUp(long t) {
    if (t <= largest_end_) return;
    long from = std::min(pickup_start_, t);
    pickups_.emplace_back(text_.substr(ByteOffset(from), ByteOffset(t) - ByteOffset(from)));
    largest_end_ = t;
  }

  bool InClass(const Element& e, long t) const {
    unsigned code = code_at(text_, offsets_[static_cast<std::size_t>(t)]);
    bool in = std::any_of(e.ranges.begin(), e.ranges.end(),
                          [code](const Range& r) { return code >= r.low && code <= r.high; });
    return in != e.negated;
  }

  // The character that ends a [* ] or [+ ] run: the next plain character of the pattern.
  const std::string* RunStopper(std::size_t pi) const {
    std::size_t k = pi + 1;
    while (k < pattern_.size() &&
           (pattern_[k].kind == Kind::PickupFrom || pattern_[k].kind == Kind::PickupTo))
      ++k;
    if (k == pattern_.size()) return nullptr;
    if (pattern_[k].kind != Kind::Char)
      fail_with("ワイルドカード[*...]に続けてワイルドカードを書くことは出来ません。");
    return &pattern_[k].text;
  }

  long ClassAt(std::size_t pi, long t) {
    const Element& e = pattern_[pi];
    switch (e.repeat) {
      case Repeat::One:
        return t < count_ && InClass(e, t) ? t + 1 : -1;
      case Repeat::ZeroOrMore:
      case Repeat::OneOrMore: {
        const std::string* stop = RunStopper(pi);
        long start = t;
        while (t < count_ && (!stop || CharAt(t) != *stop) && InClass(e, t)) {
          Step();
          ++t;
        }
        return e.repeat == Repeat::OneOrMore && t == start ? -1 : t;
      }
      case Repeat::Alternatives:
        for (const std::string& alt : e.alternatives) {
          long end = t + static_cast<long>(char_count(alt));
          if (t > count_ || end > count_) continue;
          std::size_t from = ByteOffset(t);
          if (text_.substr(from, ByteOffset(end) - from) == alt) return end;
        }
        return -1;
    }
    return -1;
  }

  const std::vector<Element>& pattern_;
  std::string_view text_;
  std::vector<std::size_t> offsets_;
  long count_ = 0;
  static constexpr long kUnknown = -2;
  std::unordered_map<std::uint64_t, long> trial_memo_;
  std::unordered_map<std::size_t, std::vector<long>> star_memo_;
  std::uint64_t steps_ = 0;
  int depth_ = 0;
  std::vector<std::string> pickups_;
  long pickup_start_ = 0;
  long largest_end_ = 0;
};

// ---- the plain matcher -------------------------------------------------------------------------

std::vector<std::string_view> characters(std::string_view s) {
  std::vector<std::string_view> out;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = char_len(s, i);
    out.push_back(s.substr(i, len));
    i += len;
  }
  return out;
}

std::string upper_ascii(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    std::size_t len = char_len(out, i);
    if (len == 1 && out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
    i += len;
  }
  return out;
}

}  // namespace

WildcardPattern::WildcardPattern(std::string_view pattern)
    : elements_(Compiler(pattern).Compile()) {}

bool WildcardPattern::MatchWhole(std::string_view text) const {
  Matcher m(elements_, text);
  return m.Run() == m.CharacterCount();
}

std::optional<WildcardPrefixMatch> WildcardPattern::MatchPrefix(std::string_view text) const {
  Matcher m(elements_, text);
  long end = m.Run();
  if (end < 0) return std::nullopt;
  return WildcardPrefixMatch{m.ByteOffset(end), std::move(m.Pickups())};
}

bool wildcard_match_whole(std::string_view text, std::string_view pattern) {
  return WildcardPattern(pattern).MatchWhole(text);
}

bool easy_match(std::string_view text, std::string_view mask) {
  std::vector<std::string_view> t = characters(text), m = characters(mask);
  std::size_t ti = 0, mi = 0;
  std::size_t star = m.size(), resume = 0;  // the last star seen and where its run would end
  while (ti < t.size()) {
    if (mi < m.size() && m[mi] == "*") {
      star = mi++;
      resume = ti;
    } else if (mi < m.size() && (m[mi] == "?" || m[mi] == t[ti])) {
      ++mi;
      ++ti;
    } else if (star < m.size()) {
      // Let the last star take one more character; earlier stars never need to grow.
      mi = star + 1;
      ti = ++resume;
    } else {
      return false;
    }
  }
  while (mi < m.size() && m[mi] == "*") ++mi;
  return mi == m.size();
}

bool easy_match_no_case(std::string_view text, std::string_view mask) {
  return easy_match(upper_ascii(text), upper_ascii(mask));
}

}  // namespace morivel::text
