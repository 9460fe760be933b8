// Commands: Japanese text conversion: width, case, kana, encodings, BASE64, mail headers.
#include <optional>
#include <string>

#include "commands/families.h"
#include "engine/interpreter.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/japanese.h"
#include "text/mime.h"
#include "text/sjis.h"
#include "words/hash.h"

namespace morivel::commands {
namespace {

using engine::Interpreter;

void set_text(Interpreter& in, std::string value) {
  in.SetResult(std::move(value), "s");
}

// Handlers that map one text to another.
template <std::string (*Convert)(std::string_view)>
void convert_text(Interpreter& in) {
  set_text(in, Convert(in.PopArgumentValue()));
}

std::string full_width_with_yen(std::string_view s) {
  static const std::string kYen = text::sjis("￥");
  const std::string full = text::to_full_width(s);
  std::string out;
  out.reserve(full.size());
  for (std::size_t i = 0; i < full.size(); i += text::char_len(full, i)) {
    if (full[i] == '\\')
      out += kYen;
    else
      out.append(full, i, text::char_len(full, i));
  }
  return out;
}

// The detecting conversions; an empty text leaves それ alone.
template <text::JapaneseCode Target>
void convert_detected(Interpreter& in) {
  const std::string s = in.PopArgumentValue();
  if (s.empty()) return;
  set_text(in, text::convert_japanese_code(s, text::detect_japanese_code(s), Target));
}

void convert_named(Interpreter& in) {
  const text::JapaneseCode to = text::japanese_code_from_name(in.PopArgumentValue());
  const text::JapaneseCode from = text::japanese_code_from_name(in.PopArgumentValue());
  const std::string s = in.PopArgumentValue();
  if (s.empty()) return;
  set_text(in, text::convert_japanese_code(s, from, to));
}

void utf8_to_sjis(Interpreter& in) {
  const std::string s = in.PopArgumentValue();
  if (!text::is_valid_utf8(s)) throw in.Error(text::sjis("UTF8の文字列変換に失敗しました."));
  set_text(in, text::from_utf8(s));
}

void base64_decode(Interpreter& in) {
  set_text(in, text::base64_decode(in.PopArgumentValue()).value_or(""));
}

void mail_header_decode(Interpreter& in) {
  set_text(in, text::mail_header_decode(in.PopArgumentValue()).value_or(""));
}

// Takes the first message off a mailbox variable; anything unusable gives an empty result.
void mailbox_message(Interpreter& in) {
  std::string name = in.PopArgumentText();
  if (name.size() >= 2 && name.front() == '`' && name.back() == '`')
    name = name.substr(1, name.size() - 2);
  words::THashNode* word = in.FindWord(name);
  if (!word || word->Kind != words::kVariable || word->Reserved) {
    set_text(in, "");
    return;
  }
  text::MailboxCut cut = text::cut_mailbox_message(word->GetValue());
  if (word != in.State().Sys.Sore) word->SetValue(std::move(cut.rest));
  set_text(in, std::move(cut.message));
}

}  // namespace

void register_kana(HandlerTable& table) {
  table.Set(27, convert_text<text::to_half_width>);
  table.Set(267, convert_text<text::alnum_to_half_width>);
  table.Set(80, convert_text<full_width_with_yen>);
  table.Set(197, convert_text<text::to_upper_case>);
  table.Set(198, convert_text<text::to_lower_case>);
  table.Set(230, convert_text<text::to_hiragana>);
  table.Set(231, convert_text<text::to_katakana>);
  table.Set(290, convert_detected<text::kCodeEuc>);
  table.Set(291, convert_detected<text::kCodeJis>);
  table.Set(292, convert_detected<text::kCodeSjis>);
  table.Set(456, convert_named);
  table.Set(526, convert_text<text::to_utf8>);
  table.Set(527, utf8_to_sjis);
  table.Set(378, convert_text<text::base64_encode>);
  table.Set(379, base64_decode);
  table.Set(457, convert_text<text::mail_header_encode>);
  table.Set(458, mail_header_decode);
  table.Set(459, mailbox_message);
}

}  // namespace morivel::commands
