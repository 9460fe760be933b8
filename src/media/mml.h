// Text music: MML text to a Standard MIDI File. Qt-free, so that its tests need no window system.
//
// The dialect (letters in either case, blanks and line ends ignored):
//   c d e f g a b   a note; then "+" or "#" (sharp) or "-" (flat), a length (1 = whole note,
//                   4 = quarter ...; none: the default length), dots ("." adds half of the last
//                   part), and ties: "^8" lengthens by an eighth, "&" joins the next note
//   r               a rest, with length and dots like a note
//   o4 > <          octave (0 to 9; o4 c is middle C); ">" one up, "<" one down
//   l8              default length (dots allowed)
//   t120            tempo in quarter notes a minute (1 to 999)
//   v12             loudness 0 to 15
//   q8              gate: how much of its length a note sounds, in eighths (1 to 8)
//   @0              program (instrument) 0 to 127
//   [ ... ]3        the part between brackets three times (none: twice); ":" inside leaves the
//                   last pass early
//   ;               the next track (a new channel; channel 10 is kept for drums)
//   ch10            the track's MIDI channel, 1 to 16
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace morivel::media {

// A fault in the MML text; the text (Shift-JIS) says where and what.
class MmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Ticks of a quarter note in the files written.
constexpr int kTicksPerQuarter = 480;

// The SMF (format 1: a tempo track, then one track per MML track) for `mml`. Throws MmlError.
std::string mml_to_midi(std::string_view mml);

}  // namespace morivel::media
