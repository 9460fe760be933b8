// Particles: the suffixes that end argument words, and the rule that splits a word at one.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace morivel::engine {

// `is_known` tells whether a text names a word of the run; `later_takes` whether a command
// later in the statement has a particle in its template (タイマー設定 takes へ飛ぶ).
using WordTest = std::function<bool(std::string_view)>;

// Byte length of the particle that begins `rest`, the text of a word after its name or after a
// value (a literal, a number, a group). Longest first; but one that swallows the whole rest
// gives way to a shorter one after which a known word follows (を + 呼ぶ), unless a later command
// of the statement asks for the longer one.
std::size_t particle_before_word(std::string_view rest, const WordTest& is_known,
                                 const WordTest& later_takes);

// Where an argument word read up to a delimiter ends: `word` bytes of name followed by
// `particle` bytes of particle. A word kept whole has particle 0 and word == its size.
struct WordSplit {
  std::size_t word = 0;
  std::size_t particle = 0;
  std::size_t taken() const { return word + particle; }
};

WordSplit split_word_at_particle(std::string_view word, const WordTest& is_known,
                                 const WordTest& later_takes);

// True when some particle ends with the character `code` (a Shift-JIS code as text::code_at gives
// it): the reader may start a new word right after it (1秒待つ, 3回).
bool ends_some_particle(unsigned code);

// True when `word` is a (possibly conjugated) way of writing the command whose full name is
// `full_name`: both agree once their final run of hiragana is dropped.
bool conjugates(std::string_view word, std::string_view full_name);

}  // namespace morivel::engine
