// Particles: the suffixes that end argument words, and the rule that splits a word at one.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace morivel::engine {

// Byte length of the longest particle that `text` starts with, 0 when none. Used for the
// particle that follows a literal, a number, a group or an element.
std::size_t particle_length_at(std::string_view text);

// Where an argument word read up to a delimiter ends: `word` bytes of name followed by
// `particle` bytes of particle. A word kept whole has particle 0 and word == its size.
struct WordSplit {
  std::size_t word = 0;
  std::size_t particle = 0;
  std::size_t taken() const { return word + particle; }
};

// `is_known` tells whether a text names a word of the run.
WordSplit split_word_at_particle(std::string_view word,
                                 const std::function<bool(std::string_view)>& is_known);

// True when `word` is a (possibly conjugated) way of writing the command whose full name is
// `full_name`: both agree once their final run of hiragana is dropped.
bool conjugates(std::string_view word, std::string_view full_name);

}  // namespace morivel::engine
