// The key-string language of キー送信, read into key strokes named by X keysyms.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace morivel::automation {

enum Modifier : unsigned { kShift = 1, kControl = 2, kAlt = 4 };

struct KeyStroke {
  std::uint32_t keysym = 0;  // an X keysym; Unicode keysyms for characters without one
  unsigned modifiers = 0;    // Modifier bits held around the key
  bool operator==(const KeyStroke&) const = default;
};

// "+", "^", "%" hold Shift, Ctrl, Alt around the next element; "(...)" groups; "~" is Enter;
// "{NAME n}" presses a named key n times. Unknown names and unmatched brackets type nothing.
std::vector<KeyStroke> ParseKeyString(std::string_view sjis);

// The keysym a Shift-JIS character (one or two bytes) is typed as; 0 when it has none.
std::uint32_t KeysymOfCharacter(std::string_view sjis_char);

}  // namespace morivel::automation
