// Full-width to half-width tables: the fixed source normalisation and the general width mapping.
#include "text/half_width.h"

#include <array>
#include <cstdint>

#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::text {
namespace {

struct SourceEntry {
  std::uint16_t code;  // Shift-JIS code: lead << 8 | trail, or the single byte
  const char* ascii;
};

// The normalisation of source text outside string literals. Full-width Latin letters and digits
// are added as ranges below.
constexpr SourceEntry kSourceEntries[] = {
    {0x8149, "!"},   // ！
    {0x8168, "\""},  // ”
    {0x8194, "#"},   // ＃
    {0x8190, "$"},   // ＄
    {0x8193, "%"},   // ％
    {0x8195, "&"},   // ＆
    {0x8166, "'"},   // ’
    {0x8169, "("},   // （
    {0x816A, ")"},   // ）
    {0x8181, "="},   // ＝
    {0x817C, "-"},   // －
    {0x814F, "^"},   // ＾
    {0x8160, "~"},   // ～
    {0x8162, "|"},   // ｜
    {0x816F, "{"},   // ｛
    {0x8170, "}"},   // ｝
    {0x8197, "@"},   // ＠
    {0x8147, ";"},   // ；
    {0x8146, ":"},   // ：
    {0x817B, "+"},   // ＋
    {0x8196, "*"},   // ＊
    {0x815E, "/"},   // ／
    {0x8148, "?"},   // ？
    {0x8151, "_"},   // ＿
    {0x8183, "<"},   // ＜
    {0x8184, ">"},   // ＞
    {0x8143, ","},   // ，
    {0x8144, "."},   // ．
    {0x818F, "\\"},  // ￥
    {0x8165, "`"},   // ‘
    {0x81A6, "'"},   // ※
    {0x817E, "*"},   // ×
    {0x8180, "/"},   // ÷
    {0x8182, "<>"},  // ≠
    {0x8185, "<="},  // ≦
    {0x8186, ">="},  // ≧
    {0x8140, " "},   // ideographic space
    {0x8141, ","},   // 、
    {0x8142, ";"},   // 。
    {0x8175, "\""},  // 「
    {0x8176, "\""},  // 」
    {0xA2, "\""},    // ｢ (half-width, single byte)
    {0xA3, "\""},    // ｣ (half-width, single byte)
    {0x8177, "`"},   // 『
    {0x8178, "`"},   // 』
};

constexpr std::uint16_t kFullDigitZero = 0x824F;  // ０
constexpr std::uint16_t kFullUpperA = 0x8260;     // Ａ
constexpr std::uint16_t kFullLowerA = 0x8281;     // ａ
constexpr char kAsciiDigits[] = "0123456789";
constexpr char kAsciiUpper[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr char kAsciiLower[] = "abcdefghijklmnopqrstuvwxyz";

// All source entries have lead byte 0x81 or 0x82, or are single bytes.
struct SourceTable {
  std::array<std::string_view, 256> single{};
  std::array<std::string_view, 2 * 256> double_byte{};

  void Set(std::uint16_t code, std::string_view ascii) {
    if (code < 0x100)
      single[code] = ascii;
    else
      double_byte[code - 0x8100] = ascii;
  }
};

const SourceTable& source_table() {
  static const SourceTable table = [] {
    SourceTable t;
    for (const SourceEntry& e : kSourceEntries) t.Set(e.code, e.ascii);
    for (int i = 0; i < 10; ++i) t.Set(kFullDigitZero + i, std::string_view(kAsciiDigits + i, 1));
    for (int i = 0; i < 26; ++i) {
      t.Set(kFullUpperA + i, std::string_view(kAsciiUpper + i, 1));
      t.Set(kFullLowerA + i, std::string_view(kAsciiLower + i, 1));
    }
    return t;
  }();
  return table;
}

// The general mapping covers lead bytes 0x81 (symbols), 0x82 (letters, digits) and 0x83
// (katakana); the half-width results are at most two bytes.
constexpr unsigned kGeneralFirstLead = 0x81;
constexpr unsigned kGeneralLeadCount = 3;

class GeneralTable {
 public:
  GeneralTable() {
    for (char16_t u = 0xFF01; u <= 0xFF5E; ++u) Add(u, static_cast<char>(u - 0xFF01 + 0x21));
    Add(0x3000, ' ');
    Add(0xFFE5, '\\');  // ￥: code page 932 has no other yen sign
    AddKana();
  }

  std::string_view Find(unsigned lead, unsigned trail) const {
    if (lead < kGeneralFirstLead || lead >= kGeneralFirstLead + kGeneralLeadCount) return {};
    const std::string& s = entries_[(lead - kGeneralFirstLead) * 256 + trail];
    return s;
  }

 private:
  static constexpr char HalfKana(char16_t half_width_code_point) {
    return static_cast<char>(0xA1 + (half_width_code_point - 0xFF61));
  }

  void AddKana() {
    Add(0x3002, HalfKana(0xFF61));  // 。
    Add(0x300C, HalfKana(0xFF62));  // 「
    Add(0x300D, HalfKana(0xFF63));  // 」
    Add(0x3001, HalfKana(0xFF64));  // 、
    Add(0x30FB, HalfKana(0xFF65));  // ・
    Add(0x30FC, HalfKana(0xFF70));  // ー
    Add(0x309B, HalfKana(0xFF9E));  // ゛
    Add(0x309C, HalfKana(0xFF9F));  // ゜
    // Full-width counterparts of ｦ..ｯ and ｱ..ﾝ, in half-width order.
    static constexpr char16_t kSmall[] = u"ヲァィゥェォャュョッ";
    static constexpr char16_t kLetters[] =
        u"アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワ"
        u"ン";
    for (std::size_t i = 0; kSmall[i]; ++i)
      Add(kSmall[i], HalfKana(static_cast<char16_t>(0xFF66 + i)));
    for (std::size_t i = 0; kLetters[i]; ++i) {
      const char16_t full = kLetters[i];
      const char half = HalfKana(static_cast<char16_t>(0xFF71 + i));
      if ((full >= u'カ' && full <= u'ト') || (full >= u'ハ' && full <= u'ホ'))
        Add(static_cast<char16_t>(full + 1), half,
            HalfKana(0xFF9E));  // voiced: the next code point
      if (full >= u'ハ' && full <= u'ホ')
        Add(static_cast<char16_t>(full + 2), half, HalfKana(0xFF9F));
      Add(full, half);
    }
    Add(u'ヴ', HalfKana(0xFF73), HalfKana(0xFF9E));
  }

  void Add(char16_t full, char half, char mark = 0) {
    const std::string code = from_utf16(std::u16string(1, full));
    if (code.size() != 2) return;
    const unsigned lead = static_cast<unsigned char>(code[0]);
    const unsigned trail = static_cast<unsigned char>(code[1]);
    if (lead < kGeneralFirstLead || lead >= kGeneralFirstLead + kGeneralLeadCount) return;
    std::string& entry = entries_[(lead - kGeneralFirstLead) * 256 + trail];
    entry.assign(1, half);
    if (mark) entry.push_back(mark);
  }

  std::array<std::string, kGeneralLeadCount * 256> entries_;
};

const GeneralTable& general_table() {
  static const GeneralTable table;
  return table;
}

}  // namespace

std::string_view half_width_source_entry(std::string_view sjis_char) {
  if (sjis_char.empty()) return {};
  const SourceTable& table = source_table();
  const auto lead = static_cast<unsigned char>(sjis_char[0]);
  if (sjis_char.size() == 1) return table.single[lead];
  if (lead != 0x81 && lead != 0x82) return {};
  return table.double_byte[(lead - 0x81) * 256 + static_cast<unsigned char>(sjis_char[1])];
}

std::string to_half_width_source(std::string_view sjis_char) {
  const std::string_view entry = half_width_source_entry(sjis_char);
  return std::string(entry.empty() ? sjis_char : entry);
}

std::string normalize_half_width(std::string_view sjis_text) {
  std::string out;
  out.reserve(sjis_text.size());
  for (std::size_t i = 0; i < sjis_text.size();) {
    const std::size_t len = char_len(sjis_text, i);
    const std::string_view ch = sjis_text.substr(i, len);
    const std::string_view entry = half_width_source_entry(ch);
    out.append(entry.empty() ? ch : entry);
    i += len;
  }
  return out;
}

std::string to_half_width(std::string_view sjis_text) {
  std::string out;
  out.reserve(sjis_text.size());
  const GeneralTable* table = nullptr;  // built only when a double-byte character shows up
  for (std::size_t i = 0; i < sjis_text.size();) {
    const std::size_t len = char_len(sjis_text, i);
    if (len == 2) {
      if (!table) table = &general_table();
      const std::string_view half = table->Find(static_cast<unsigned char>(sjis_text[i]),
                                                static_cast<unsigned char>(sjis_text[i + 1]));
      out.append(half.empty() ? sjis_text.substr(i, 2) : half);
    } else {
      out.push_back(sjis_text[i]);
    }
    i += len;
  }
  return out;
}

}  // namespace morivel::text
