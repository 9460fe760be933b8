// Particles end words: 「こんにちは」と表示, Aを表示, 1から3まで need no spaces between them.
#include "engine/particles.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::engine {
namespace {

std::vector<std::string> sorted_longest_first(std::initializer_list<const char*> utf8) {
  std::vector<std::string> out;
  for (const char* p : utf8) out.push_back(text::sjis(p));
  std::stable_sort(out.begin(), out.end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  return out;
}

// Every particle a template slot can ask for, plus those the statement forms read
// (は for assignment, 回 for counted loops, の時 for case labels).
const std::vector<std::string>& all_particles() {
  static const std::vector<std::string> list = sorted_longest_first(
      {"列目をキーに", "列目にある", "パーセント", "列目から", "の中で",   "番目の",   "列目を",
       "列目の",       "列目と",     "列目へ",     "列目に",   "列目で",   "行目を",   "行目へ",
       "秒後に",       "個目の",     "以上の",     "ビットに", "バイトを", "バイトで", "を呼ぶ",
       "までを",       "までの",     "へ飛ぶ",     "の上へ",   "という",   "として",   "形式で",
       "形式の",       "ビット",     "位で",       "桁で",     "桁の",     "文字",     "から",
       "まで",         "の時",       "秒",         "度",       "つ",       "回",       "は",
       "を",           "に",         "へ",         "で",       "と",       "の",       "が"});
  return list;
}

// The particles that may end an unknown word; unit words such as つ or 度 only follow numbers
// and would cut ordinary words (ひとつ) apart.
const std::vector<std::string>& word_particles() {
  static const std::vector<std::string> list = sorted_longest_first(
      {"として", "の中で", "から", "まで", "は", "を", "に", "へ", "で", "と", "の", "が"});
  return list;
}

// A particle list split by first character, each part still longest first: a word is split by
// trying every character position, and most positions start no particle at all.
class ParticleIndex {
 public:
  explicit ParticleIndex(const std::vector<std::string>& particles) {
    for (const std::string& p : particles) by_first_[first_char(p)].push_back(p);
  }
  const std::vector<std::string>& StartingLike(std::string_view text) const {
    static const std::vector<std::string> kNone;
    auto it = by_first_.find(first_char(text));
    return it == by_first_.end() ? kNone : it->second;
  }

 private:
  static unsigned first_char(std::string_view s) { return s.empty() ? 0 : text::code_at(s, 0); }
  std::unordered_map<unsigned, std::vector<std::string>> by_first_;
};

const ParticleIndex& all_particles_index() {
  static const ParticleIndex index(all_particles());
  return index;
}

const ParticleIndex& word_particles_index() {
  static const ParticleIndex index(word_particles());
  return index;
}

std::size_t match_any(std::string_view text, const ParticleIndex& particles) {
  for (const std::string& p : particles.StartingLike(text))
    if (text.substr(0, p.size()) == p) return p.size();
  return 0;
}

// Known words are short; looking further would make a long unknown word quadratic.
constexpr std::size_t kLongestKnownPrefix = 128;

std::string_view without_final_hiragana(std::string_view s) {
  std::size_t cut = s.size();
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t len = text::char_len(s, i);
    bool hira = len == 2 && text::is_okurigana_hiragana(text::code_at(s, i));
    if (!hira) cut = i + len;
    i += len;
  }
  return s.substr(0, cut);
}

}  // namespace

std::size_t particle_before_word(std::string_view rest, const WordTest& is_known,
                                 const WordTest& later_takes) {
  std::size_t whole = 0;
  for (const std::string& p : all_particles_index().StartingLike(rest)) {
    if (rest.substr(0, p.size()) != p) continue;
    if (p.size() < rest.size()) {
      if (whole == 0) return p.size();
      if (is_known(rest.substr(p.size())))
        return later_takes(rest.substr(0, whole)) ? whole : p.size();
    } else if (whole == 0) {
      whole = p.size();
    }
  }
  return whole;
}

WordSplit split_word_at_particle(std::string_view word, const WordTest& is_known,
                                 const WordTest& later_takes) {
  if (word.empty() || is_known(word)) return {word.size(), 0};

  std::vector<std::size_t> starts;  // character starts after the first character
  for (std::size_t i = text::char_len(word, 0); i < word.size(); i += text::char_len(word, i))
    starts.push_back(i);

  for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
    if (*it > kLongestKnownPrefix) continue;
    std::size_t particle = particle_before_word(word.substr(*it), is_known, later_takes);
    if (particle > 0 && is_known(word.substr(0, *it))) return {*it, particle};
  }
  for (std::size_t start : starts) {
    std::size_t particle = match_any(word.substr(start), word_particles_index());
    if (particle > 0) return {start, particle};
  }
  return {word.size(), 0};
}

bool ends_some_particle(unsigned code) {
  static const std::vector<unsigned> endings = [] {
    std::vector<unsigned> codes;
    for (const std::string& p : all_particles()) {
      std::size_t last = 0;
      for (std::size_t i = 0; i < p.size(); i += text::char_len(p, i)) last = i;
      codes.push_back(text::code_at(p, last));
    }
    return codes;
  }();
  return std::find(endings.begin(), endings.end(), code) != endings.end();
}

bool conjugates(std::string_view word, std::string_view full_name) {
  if (word == full_name) return true;
  std::string_view stem = without_final_hiragana(word);
  if (stem != without_final_hiragana(full_name)) return false;
  // A particle after a name is no inflection: 辞書を is the word 辞書 and its particle.
  std::string_view ending = word.substr(stem.size());
  for (const std::string& p : word_particles())
    if (ending == p) return false;
  return true;
}

}  // namespace morivel::engine
