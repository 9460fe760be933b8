#include "automation/key_strings.h"

#include <X11/keysym.h>

#include <array>
#include <string>

#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::automation {

namespace {

struct NamedKey {
  const char* name;
  std::uint32_t keysym;
};

// The names of the key language with the X keys that stand for their virtual keys.
constexpr std::array<NamedKey, 26> kNamedKeys{{
    {"CAPSLOCK", XK_Caps_Lock},
    {"NUMLOCK", XK_Num_Lock},
    {"SCROLLOCK", XK_Scroll_Lock},
    {"ESCAPE", XK_Escape},
    {"ESC", XK_Escape},
    {"ENTER", XK_Return},
    {"HELP", XK_Help},
    {"PRTSC", XK_Print},
    {"TAB", XK_Tab},
    {"BREAK", XK_Break},
    {"CLEAR", XK_Clear},
    {"BACKSPACE", XK_BackSpace},
    {"BS", XK_BackSpace},
    {"BKSP", XK_BackSpace},
    {"DELETE", XK_Delete},
    {"DEL", XK_Delete},
    {"INSERT", XK_Insert},
    {"LEFT", XK_Left},
    {"RIGHT", XK_Right},
    {"UP", XK_Up},
    {"DOWN", XK_Down},
    {"PGUP", XK_Page_Up},
    {"PGDN", XK_Page_Down},
    {"HOME", XK_Home},
    {"END", XK_End},
    {"IME", XK_Kanji},
}};

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::uint32_t named_keysym(std::string_view name) {
  std::string key = upper(name);
  for (const NamedKey& named : kNamedKeys)
    if (key == named.name) return named.keysym;
  // F1 to F16
  if (key.size() >= 2 && key.size() <= 3 && key[0] == 'F') {
    int n = 0;
    for (std::size_t i = 1; i < key.size(); ++i) {
      if (key[i] < '0' || key[i] > '9') return 0;
      n = n * 10 + (key[i] - '0');
    }
    if (n >= 1 && n <= 16) return XK_F1 + static_cast<std::uint32_t>(n - 1);
  }
  return 0;
}

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}

  void ReadAll(std::vector<KeyStroke>& out) {
    while (pos_ < s_.size()) ReadElement(out, 0);
  }

 private:
  // One element with the modifiers held by the caller.
  void ReadElement(std::vector<KeyStroke>& out, unsigned held) {
    std::size_t len = text::char_len(s_, pos_);
    char c = s_[pos_];
    if (len == 2) {
      Emit(out, KeysymOfCharacter(s_.substr(pos_, 2)), held, 1);
      pos_ += 2;
      return;
    }
    ++pos_;
    switch (c) {
      case '+':
        return ReadModified(out, held | kShift);
      case '^':
        return ReadModified(out, held | kControl);
      case '%':
        return ReadModified(out, held | kAlt);
      case '(':
        return ReadGroup(out, held);
      case '~':
        return Emit(out, XK_Return, held, 1);
      case '{':
        return ReadNamed(out, held);
      default:
        return Emit(out, KeysymOfCharacter(std::string_view(&s_[pos_ - 1], 1)), held, 1);
    }
  }

  void ReadModified(std::vector<KeyStroke>& out, unsigned held) {
    if (pos_ < s_.size()) ReadElement(out, held);
  }

  void ReadGroup(std::vector<KeyStroke>& out, unsigned held) {
    while (pos_ < s_.size() && s_[pos_] != ')') ReadElement(out, held);
    if (pos_ < s_.size()) ++pos_;
  }

  void ReadNamed(std::vector<KeyStroke>& out, unsigned held) {
    // "{}}" is the closing brace itself.
    std::size_t end = s_.find('}', pos_ < s_.size() && s_[pos_] == '}' ? pos_ + 1 : pos_);
    if (end == std::string_view::npos) {
      pos_ = s_.size();
      return;
    }
    std::string_view inside = s_.substr(pos_, end - pos_);
    pos_ = end + 1;
    int count = 1;
    std::size_t space = inside.find(' ');
    if (space != std::string_view::npos && space > 0) {
      count = ReadCount(inside.substr(space + 1));
      inside = inside.substr(0, space);
    }
    std::uint32_t keysym =
        text::char_count(inside) == 1 ? KeysymOfCharacter(inside) : named_keysym(inside);
    Emit(out, keysym, held, count);
  }

  static int ReadCount(std::string_view digits) {
    int n = 0;
    for (char d : digits) {
      if (d == ' ') continue;
      if (d < '0' || d > '9') return 1;
      n = n * 10 + (d - '0');
      if (n > kMaxRepeat) return kMaxRepeat;
    }
    return n;
  }

  static void Emit(std::vector<KeyStroke>& out, std::uint32_t keysym, unsigned held, int count) {
    if (keysym == 0) return;
    for (int i = 0; i < count; ++i) out.push_back({keysym, held});
  }

  static constexpr int kMaxRepeat = 10000;
  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace

std::uint32_t KeysymOfCharacter(std::string_view sjis_char) {
  if (sjis_char.size() == 1) {
    auto c = static_cast<unsigned char>(sjis_char[0]);
    if (c == '\r' || c == '\n') return XK_Return;
    if (c == '\t') return XK_Tab;
    if (c >= 0x20 && c < 0x7F) return c;  // ASCII keysyms are the characters themselves
  }
  std::u16string utf16 = text::to_utf16(sjis_char);
  if (utf16.size() != 1 || utf16[0] < 0x20) return 0;
  return 0x01000000u + utf16[0];
}

std::vector<KeyStroke> ParseKeyString(std::string_view sjis) {
  std::vector<KeyStroke> strokes;
  Reader(sjis).ReadAll(strokes);
  return strokes;
}

}  // namespace morivel::automation
