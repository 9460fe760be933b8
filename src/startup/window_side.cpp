// Telling the runs that need the window side from those the terminal host can take.
#include "startup/window_side.h"

#include <algorithm>

#include "commands/vocabulary.h"
#include "engine/particles.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "text/sjis.h"

namespace morivel::startup {

namespace {

// Commands the plain handlers serve through a window-side service of the host, or that bring in
// text the start could not look at. Their handlers exist without Qt but act differently there.
constexpr int kWindowSideCommands[] = {
    12,  10,  40, 160, 264, 301, 309, 265, 525, 103, 312, 41, 42, 169, 498, 546,  // dialogs
    13,        // waiting for events
    21,        // waiting (events run meanwhile)
    263, 313,  // the script timer
    74,  55,   // running and including text
    11,        // calculating a text (it may call any command)
    51,        // renaming (a window-side command may get a name made at run time)
    520, 521,  // packing the run-time
};

WindowSideText comparable_name(const std::string& sjis_name) {
  std::string dropped = ComparableText(sjis_name);
  if (!dropped.empty()) return {std::move(dropped), false};
  return {ComparableText(sjis_name, true), true};
}

// Kanji and katakana run on within a word: the reader starts a word after a delimiter, a
// particle (which ends in hiragana or in one of a few kanji and katakana such as 秒 or ト) or a
// value, never in the middle of a run of them. Anything else may come before a word's start.
bool may_start_word_after(unsigned code) {
  constexpr unsigned kFirstKanji = 0x889F, kFirstKatakana = 0x8340, kLastKatakana = 0x8396,
                     kLongVowel = 0x815B, kRepeatMark = 0x8158;
  bool inside_word = code >= kFirstKanji || (code >= kFirstKatakana && code <= kLastKatakana) ||
                     code == kLongVowel || code == kRepeatMark;
  return !inside_word || engine::ends_some_particle(code);
}

// A source in comparable form, with where a word of the reader may start in it.
struct ComparableSource {
  std::string text;
  std::vector<bool> may_start;  // per byte of `text`

  void Append(std::string_view piece, bool starts) {
    for (std::size_t k = 0; k < piece.size(); ++k) may_start.push_back(k == 0 && starts);
    text.append(piece);
  }

  bool StartsWordWith(const std::string& name) const {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1))
      if (may_start[at]) return true;
    return false;
  }
};

// Both comparable forms of a source, hiragana dropped and kept, in one pass over it.
struct ComparableForms {
  ComparableSource dropped;
  ComparableSource kept;
};

ComparableForms comparable_forms(const std::string& sjis) {
  ComparableForms out;
  unsigned previous = 0;
  for (std::size_t i = 0; i < sjis.size();) {
    std::size_t len = text::char_len(sjis, i);
    unsigned code = text::code_at(sjis, i);
    std::string piece = text::normalize_half_width(std::string_view(sjis).substr(i, len));
    bool starts = i == 0 || may_start_word_after(previous);
    out.kept.Append(piece, starts);
    bool hiragana =
        text::char_len(piece, 0) == 2 && text::is_okurigana_hiragana(text::code_at(piece, 0));
    if (!hiragana) out.dropped.Append(piece, starts);
    previous = code;
    i += len;
  }
  return out;
}

}  // namespace

bool IsWindowSideCommand(int id, const commands::HandlerTable& plain_handlers) {
  if (!plain_handlers.Get(id)) return true;
  return std::find(std::begin(kWindowSideCommands), std::end(kWindowSideCommands), id) !=
         std::end(kWindowSideCommands);
}

std::string ComparableText(std::string_view sjis, bool keep_hiragana) {
  std::string normal = text::normalize_half_width(sjis);
  if (keep_hiragana) return normal;
  std::string out;
  out.reserve(normal.size());
  for (std::size_t i = 0; i < normal.size();) {
    std::size_t len = text::char_len(normal, i);
    if (len != 2 || !text::is_okurigana_hiragana(text::code_at(normal, i)))
      out.append(normal, i, len);
    i += len;
  }
  return out;
}

std::vector<WindowSideText> WindowSideTexts(const commands::HandlerTable& plain_handlers) {
  std::vector<WindowSideText> texts;
  const std::span<const commands::CommandEntry> entries = commands::command_entries();
  const std::vector<commands::SjisCommandEntry>& sjis = commands::sjis_command_entries();
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (IsWindowSideCommand(entries[i].id, plain_handlers))
      texts.push_back(comparable_name(text::strip_okurigana(sjis[i].name)));
  texts.push_back(comparable_name(text::sjis("母艦")));
  texts.push_back(comparable_name(text::sjis("クリップボード")));
  return texts;
}

bool NeedsWindowSide(const std::vector<std::shared_ptr<const std::string>>& sources,
                     const std::vector<WindowSideText>& window_side_texts) {
  for (const std::shared_ptr<const std::string>& source : sources) {
    if (!source) continue;
    const ComparableForms forms = comparable_forms(*source);
    for (const WindowSideText& name : window_side_texts)
      if ((name.hiragana_kept ? forms.kept : forms.dropped).StartsWordWith(name.text)) return true;
  }
  return false;
}

}  // namespace morivel::startup
