// Width, case and kana mappings built from the code page's Unicode forms, and the arithmetic
// between Shift-JIS, JIS X 0208 (ISO-2022-JP) and EUC-JP.
#include "text/japanese.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::text {
namespace {

constexpr unsigned char kVoicedMark = 0xDE;      // ﾞ
constexpr unsigned char kSemiVoicedMark = 0xDF;  // ﾟ
constexpr unsigned char kFirstHalfKana = 0xA1;
constexpr unsigned char kLastHalfKana = 0xDF;
constexpr char kEsc = '\x1B';

bool is_half_kana(unsigned char c) {
  return c >= kFirstHalfKana && c <= kLastHalfKana;
}

// Full-width counterparts of ｡ (0xA1) .. ﾟ (0xDF), in code order.
constexpr char16_t kFullKana[] =
    u"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホ"
    u"マミムメモヤユヨラリルレロワン゛゜";

char16_t full_kana_of(unsigned char half) {
  return kFullKana[half - kFirstHalfKana];
}

// The full-width character that a half-width kana and a following mark make together, or 0.
char16_t combined_kana(unsigned char half, unsigned char mark) {
  const char16_t base = full_kana_of(half);
  if (mark == kVoicedMark) {
    if (base == u'ウ') return u'ヴ';
    if ((base >= u'カ' && base <= u'ト') || (base >= u'ハ' && base <= u'ホ'))
      return static_cast<char16_t>(base + 1);
  } else if (mark == kSemiVoicedMark) {
    if (base >= u'ハ' && base <= u'ホ') return static_cast<char16_t>(base + 2);
  }
  return 0;
}

// The Shift-JIS form of each character, in one conversion; "" where the code page has no
// double-byte form.
std::vector<std::string> encode_each(const std::u16string& chars) {
  std::u16string joined;
  for (char16_t u : chars) {
    joined += u;
    joined += u'\n';
  }
  const std::string encoded = from_utf16(joined);
  std::vector<std::string> out;
  std::size_t start = 0;
  // A line feed is never a trail byte, so it always ends a piece.
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '\n') continue;
    std::string piece = encoded.substr(start, i - start);
    if (piece.size() != 2) piece.clear();
    out.push_back(std::move(piece));
    start = i + 1;
  }
  out.resize(chars.size());
  return out;
}

// Single-byte characters and their full-width Shift-JIS forms.
class FullWidthTable {
 public:
  FullWidthTable() {
    std::u16string targets;
    for (unsigned c = 0; c < 256; ++c) targets += Target(c);
    const std::vector<std::string> encoded = encode_each(targets);
    for (unsigned c = 0; c < 256; ++c)
      if (Target(c)) single_[c] = encoded[c];
    for (unsigned half = kFirstHalfKana; half <= kLastHalfKana; ++half) {
      voiced_[half - kFirstHalfKana] = Encode(combined_kana(half, kVoicedMark));
      semi_voiced_[half - kFirstHalfKana] = Encode(combined_kana(half, kSemiVoicedMark));
    }
  }
  // Empty when the byte has no full-width form.
  const std::string& Of(unsigned char c) const { return single_[c]; }
  // The one character a half-width kana makes with a following mark; empty when it takes none.
  const std::string& Combined(unsigned char half, unsigned char mark) const {
    static const std::string kNone;
    if (!is_half_kana(half)) return kNone;
    if (mark == kVoicedMark) return voiced_[half - kFirstHalfKana];
    if (mark == kSemiVoicedMark) return semi_voiced_[half - kFirstHalfKana];
    return kNone;
  }

 private:
  static char16_t Target(unsigned c) {
    if (c == ' ') return u'\u3000';
    if (c == '\\') return 0;  // the code page's yen sign: callers decide what becomes of it
    if (c > ' ' && c < 0x7F) return static_cast<char16_t>(0xFF01 + (c - 0x21));
    if (is_half_kana(static_cast<unsigned char>(c)))
      return full_kana_of(static_cast<unsigned char>(c));
    return 0;
  }
  static std::string Encode(char16_t u) {
    return u ? encode_each(std::u16string(1, u)).front() : std::string();
  }

  static constexpr std::size_t kHalfKanaCount = kLastHalfKana - kFirstHalfKana + 1;
  std::array<std::string, 256> single_;
  std::array<std::string, kHalfKanaCount> voiced_;
  std::array<std::string, kHalfKanaCount> semi_voiced_;
};

const FullWidthTable& full_width_table() {
  static const FullWidthTable table;
  return table;
}

// ---- double-byte mappings through Unicode ---------------------------------------------------

using CodeMap = std::unordered_map<std::uint16_t, std::string>;

bool is_trail_byte(unsigned c) {
  return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// Every double-byte code of the code page that has a Unicode character, with that character.
const std::vector<std::pair<std::uint16_t, char16_t>>& decoded_double_bytes() {
  static const auto table = [] {
    std::string all;
    std::vector<std::uint16_t> codes;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
      if (!is_lead_byte(static_cast<unsigned char>(lead))) continue;
      for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
        if (!is_trail_byte(trail)) continue;
        codes.push_back(static_cast<std::uint16_t>(lead << 8 | trail));
        all += static_cast<char>(lead);
        all += static_cast<char>(trail);
        all += '\n';
      }
    }
    const std::u16string decoded = to_utf16(all);
    std::vector<std::pair<std::uint16_t, char16_t>> out;
    std::size_t start = 0, index = 0;
    for (std::size_t i = 0; i < decoded.size() && index < codes.size(); ++i) {
      if (decoded[i] != u'\n') continue;
      if (i - start == 1 && decoded[start] != u'\uFFFD')
        out.emplace_back(codes[index], decoded[start]);
      ++index;
      start = i + 1;
    }
    return out;
  }();
  return table;
}

// The double-byte characters that `f` changes, with the Shift-JIS form of the new character.
CodeMap build_code_map(const std::function<char16_t(char16_t)>& f) {
  std::vector<std::uint16_t> sources;
  std::u16string targets;
  for (const auto& [code, u] : decoded_double_bytes()) {
    const char16_t t = f(u);
    if (t == u) continue;
    sources.push_back(code);
    targets += t;
  }
  const std::vector<std::string> encoded = encode_each(targets);
  CodeMap map;
  for (std::size_t i = 0; i < sources.size(); ++i)
    if (!encoded[i].empty()) map.emplace(sources[i], encoded[i]);
  return map;
}

struct CaseRange {
  char16_t upper, lower, count;
};
constexpr CaseRange kCaseRanges[] = {
    {0xFF21, 0xFF41, 26},  // full-width Latin
    {0x0391, 0x03B1, 17},  // Greek Α..Ρ
    {0x03A3, 0x03C3, 7},   // Greek Σ..Ω
    {0x0410, 0x0430, 32},  // Cyrillic А..Я
    {0x0401, 0x0451, 1},   // Ё
    {0x2160, 0x2170, 10},  // Roman numerals
};

char16_t upper_of(char16_t u) {
  for (const CaseRange& r : kCaseRanges)
    if (u >= r.lower && u < r.lower + r.count) return static_cast<char16_t>(u - r.lower + r.upper);
  return u;
}

char16_t lower_of(char16_t u) {
  for (const CaseRange& r : kCaseRanges)
    if (u >= r.upper && u < r.upper + r.count) return static_cast<char16_t>(u - r.upper + r.lower);
  return u;
}

constexpr char16_t kKanaOffset = 0x60;  // ァ U+30A1 - ぁ U+3041

char16_t hiragana_of(char16_t u) {
  if (u >= u'ァ' && u <= u'ヶ') return static_cast<char16_t>(u - kKanaOffset);
  if (u == u'ヽ' || u == u'ヾ') return static_cast<char16_t>(u - kKanaOffset);
  return u;
}

char16_t katakana_of(char16_t u) {
  if (u >= u'ぁ' && u <= u'ゖ') return static_cast<char16_t>(u + kKanaOffset);
  if (u == u'ゝ' || u == u'ゞ') return static_cast<char16_t>(u + kKanaOffset);
  return u;
}

// Applies a double-byte map and a single-byte function to every character.
std::string map_chars(std::string_view s, const CodeMap& map, char (*single)(char)) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = char_len(s, i);
    if (len == 2) {
      const auto found = map.find(static_cast<std::uint16_t>(code_at(s, i)));
      out.append(found != map.end() ? std::string_view(found->second) : s.substr(i, 2));
    } else {
      out.push_back(single ? single(s[i]) : s[i]);
    }
    i += len;
  }
  return out;
}

char ascii_upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// ---- JIS X 0208 arithmetic ------------------------------------------------------------------

// Shift-JIS double-byte code -> JIS row and cell (0x21..0x7E for the standard area).
std::pair<unsigned, unsigned> sjis_pair_to_jis(unsigned lead, unsigned trail) {
  unsigned row = lead < 0xA0 ? (lead - 0x81) * 2 + 0x21 : (lead - 0xE0) * 2 + 0x5F;
  unsigned cell;
  if (trail < 0x9F) {
    cell = (trail > 0x7F ? trail - 1 : trail) - 0x1F;
  } else {
    ++row;
    cell = trail - 0x7E;
  }
  return {row & 0xFF, cell & 0xFF};
}

std::pair<unsigned, unsigned> jis_pair_to_sjis(unsigned row, unsigned cell) {
  unsigned lead, trail;
  if (row % 2) {
    lead = (row + 1) / 2 + 0x70;
    trail = cell + 0x1F;
  } else {
    lead = row / 2 + 0x70;
    trail = cell + 0x7D;
  }
  if (lead >= 0xA0) lead += 0x40;
  if (trail >= 0x7F) ++trail;
  return {lead & 0xFF, trail & 0xFF};
}

void put_pair(std::string& out, std::pair<unsigned, unsigned> pair, unsigned high_bits = 0) {
  out += static_cast<char>(pair.first | high_bits);
  out += static_cast<char>(pair.second | high_bits);
}

const std::string kEnterDoubleByte = "\x1B$B";
const std::string kLeaveDoubleByte = "\x1B(J";

// Tracks ISO-2022-JP's double-byte mode while writing.
class JisWriter {
 public:
  void Single(char c) {
    if (double_byte_) {
      out_ += kLeaveDoubleByte;
      double_byte_ = false;
    }
    out_ += c;
  }
  void Double(std::pair<unsigned, unsigned> jis) {
    if (!double_byte_) {
      out_ += kEnterDoubleByte;
      double_byte_ = true;
    }
    put_pair(out_, jis);
  }
  std::string Finish() {
    if (double_byte_) out_ += kLeaveDoubleByte;
    double_byte_ = false;
    return std::move(out_);
  }

 private:
  std::string out_;
  bool double_byte_ = false;
};

// A half-width kana at i, with the mark it takes, as a full-width Shift-JIS character; `used`
// tells how many bytes it consumed.
std::string full_width_kana_at(std::string_view s, std::size_t i, std::size_t& used) {
  const FullWidthTable& table = full_width_table();
  const auto c = static_cast<unsigned char>(s[i]);
  if (i + 1 < s.size()) {
    const std::string& combined = table.Combined(c, static_cast<unsigned char>(s[i + 1]));
    if (!combined.empty()) {
      used = 2;
      return combined;
    }
  }
  used = 1;
  return table.Of(c);
}

}  // namespace

// ---- width, case and kana -------------------------------------------------------------------

std::string to_full_width(std::string_view s) {
  const FullWidthTable& table = full_width_table();
  std::string out;
  out.reserve(s.size() * 2);
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = char_len(s, i);
    if (len == 2) {
      out.append(s.substr(i, 2));
      i += 2;
      continue;
    }
    std::size_t used = 1;
    const std::string full = is_half_kana(static_cast<unsigned char>(s[i]))
                                 ? full_width_kana_at(s, i, used)
                                 : table.Of(static_cast<unsigned char>(s[i]));
    if (full.empty())
      out.push_back(s[i]);
    else
      out += full;
    i += used;
  }
  return out;
}

std::string alnum_to_half_width(std::string_view s) {
  // Each character of the first list becomes the byte at the same place of the second.
  static const std::string kFull = sjis(
      "０１２３４５６７８９ａｂｃｄｅｆｇｈｉｊｋｌｍｎｏｐｑｒｓｔｕｖｗｘｙｚＡＢＣＤＥＦＧＨＩＪ"
      "ＫＬＭ"
      "ＮＯＰＱＲＳＴＵＶＷＸＹＺ！”＃＄％＆’（）＝－￥［］｛｝＿／＞＜，．＠‘　");
  static constexpr std::string_view kHalf =
      "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!\"#$%&'()=-\\[]{}_/><,.@` ";
  const FullWidthTable& table = full_width_table();
  std::string out;
  out.reserve(s.size() * 2);
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = char_len(s, i);
    const auto c = static_cast<unsigned char>(s[i]);
    if (len == 2) {
      const std::size_t at = find_at_char_start(kFull, s.substr(i, 2));
      if (at != std::string::npos)
        out += kHalf[at / 2];
      else
        out.append(s.substr(i, 2));
    } else if (is_half_kana(c) && !table.Of(c).empty()) {
      out += table.Of(c);
    } else {
      out.push_back(s[i]);
    }
    i += len;
  }
  return out;
}

std::string to_upper_case(std::string_view s) {
  static const CodeMap map = build_code_map(upper_of);
  return map_chars(s, map, ascii_upper);
}

std::string to_lower_case(std::string_view s) {
  static const CodeMap map = build_code_map(lower_of);
  return map_chars(s, map, ascii_lower);
}

std::string to_hiragana(std::string_view s) {
  static const CodeMap map = build_code_map(hiragana_of);
  return map_chars(s, map, nullptr);
}

std::string to_katakana(std::string_view s) {
  static const CodeMap map = build_code_map(katakana_of);
  return map_chars(s, map, nullptr);
}

// ---- Japanese encodings --------------------------------------------------------------------

namespace {

bool within(unsigned c, unsigned low, unsigned high) {
  return c >= low && c <= high;
}

constexpr std::size_t kControlScanLimit = 512;

bool has_control_bytes(std::string_view s) {
  const std::size_t limit = s.empty() ? 0 : std::min(kControlScanLimit, s.size() - 1);
  for (std::size_t i = 0; i < limit; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 8 || c == 0xFF) return true;
  }
  return false;
}

// After a half-width-kana-range byte and a byte from 0xE0..0xEF: the bytes that follow decide.
JapaneseCode decide_after_ambiguous(std::string_view s, std::size_t& i) {
  JapaneseCode code = kCodeEucOrSjis;
  while (code == kCodeEucOrSjis && i + 1 < s.size() &&
         static_cast<unsigned char>(s[i + 1]) >= 0x40) {
    const auto c = static_cast<unsigned char>(s[++i]);
    if (within(c, 0x81, 0x8D) || within(c, 0x8F, 0x9C))
      code = kCodeSjis;
    else if (c == 0xFD || c == 0xFE)
      code = kCodeEuc;
  }
  return code;
}

// Looks at the byte at i (and the one after it when needed); advances i past what it used.
JapaneseCode classify_at(std::string_view s, std::size_t& i, JapaneseCode code) {
  const auto c = static_cast<unsigned char>(s[i]);
  const auto next = [&]() -> unsigned { return static_cast<unsigned char>(s[++i]); };
  if (c < 8 || c == 0xFF) return kCodeBinary;
  if (c == 0x1B) {
    if (next() != '$') return code;
    if (i + 1 >= s.size()) return code;
    const unsigned d = next();
    if (d == 'B') return kCodeJis;
    if (d == '@') return kCodeOldJis;
    return code;
  }
  if (within(c, 0x81, 0x8D) || within(c, 0x8F, 0x9F)) return kCodeSjis;
  if (c == 0x8E) {
    const unsigned d = next();
    if (within(d, 0x40, 0x7E) || within(d, 0x80, 0xA0) || within(d, 0xE0, 0xFC)) return kCodeSjis;
    if (within(d, 0xA1, 0xDF)) return kCodeEucOrSjis;
    return code;
  }
  if (within(c, 0xA1, 0xDF)) {
    const unsigned d = next();
    if (within(d, 0xF0, 0xFE)) return kCodeEuc;
    if (within(d, 0xA1, 0xDF)) return kCodeEucOrSjis;
    if (within(d, 0xE0, 0xEF)) return decide_after_ambiguous(s, i);
    if (d < 0xA0) return kCodeSjis;
    return code;
  }
  if (within(c, 0xE0, 0xEF)) {
    const unsigned d = next();
    if (within(d, 0x40, 0x7E) || within(d, 0x80, 0xA0)) return kCodeSjis;
    if (d == 0xFD || d == 0xFE) return kCodeEuc;
    if (within(d, 0xA1, 0xFC)) return kCodeEucOrSjis;
    return code;
  }
  if (within(c, 0xF0, 0xFE)) return kCodeEuc;
  return code;
}

}  // namespace

JapaneseCode detect_japanese_code(std::string_view s) {
  if (has_control_bytes(s)) return kCodeBinary;
  JapaneseCode code = kCodeAscii;
  // The last byte is only ever looked at as the byte after another one.
  for (std::size_t i = 0; (code == kCodeAscii || code == kCodeEucOrSjis) && i + 1 < s.size(); ++i)
    code = classify_at(s, i, code);
  return code;
}

JapaneseCode japanese_code_from_name(std::string_view name) {
  std::string upper;
  for (char c : name) upper += ascii_upper(c);
  if (upper == "EUC") return kCodeEuc;
  if (upper == "JIS") return kCodeJis;
  return kCodeSjis;
}

std::string sjis_to_jis(std::string_view s) {
  JisWriter out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (char_len(s, i) == 2) {
      out.Double(sjis_pair_to_jis(c, static_cast<unsigned char>(s[i + 1])));
      i += 2;
    } else if (is_half_kana(c)) {
      std::size_t used = 1;
      const std::string full = full_width_kana_at(s, i, used);
      if (full.size() != 2) {
        out.Single(s[i++]);
        continue;
      }
      out.Double(sjis_pair_to_jis(static_cast<unsigned char>(full[0]),
                                  static_cast<unsigned char>(full[1])));
      i += used;
    } else {
      out.Single(s[i++]);
    }
  }
  return out.Finish();
}

std::string sjis_to_euc(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (char_len(s, i) == 2) {
      put_pair(out, sjis_pair_to_jis(c, static_cast<unsigned char>(s[i + 1])), 0x80);
      i += 2;
      continue;
    }
    if (is_half_kana(c)) out += '\x8E';
    out += s[i++];
  }
  return out;
}

std::string jis_to_sjis(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  bool double_byte = false;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == kEsc && i + 1 < s.size() && (s[i + 1] == '$' || s[i + 1] == '(')) {
      double_byte = s[i + 1] == '$';
      i += 3;
    } else if (double_byte && i + 1 < s.size()) {
      put_pair(out, jis_pair_to_sjis(static_cast<unsigned char>(s[i]) & 0x7F,
                                     static_cast<unsigned char>(s[i + 1]) & 0x7F));
      i += 2;
    } else {
      out += s[i++];
    }
  }
  return out;
}

std::string euc_to_sjis(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c <= 0x80 || c == 0xFF || i + 1 >= s.size()) {
      out += s[i++];
    } else if (c == 0x8E) {
      out += s[i + 1];
      i += 2;
    } else {
      put_pair(out, jis_pair_to_sjis(c & 0x7F, static_cast<unsigned char>(s[i + 1]) & 0x7F));
      i += 2;
    }
  }
  return out;
}

std::string convert_japanese_code(std::string_view text, JapaneseCode from, JapaneseCode to) {
  if (from < kCodeJis || from == to || from == kCodeEucOrSjis) return std::string(text);
  std::string sjis_text;
  if (from == kCodeJis || from == kCodeOldJis)
    sjis_text = jis_to_sjis(text);
  else if (from == kCodeEuc)
    sjis_text = euc_to_sjis(text);
  else
    sjis_text = std::string(text);
  switch (to) {
    case kCodeJis:
    case kCodeOldJis:
      return sjis_to_jis(sjis_text);
    case kCodeEuc:
      return sjis_to_euc(sjis_text);
    default:
      return sjis_text;
  }
}

}  // namespace morivel::text
