// Fonts from the text settings and font specifications ("face｜style｜size").
#pragma once

#include <QColor>
#include <QFont>

#include <string>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::gui {

// A font description: face, then optionally "｜" style words and "｜" size. A face that is not
// installed becomes the default face; a missing or non-positive size gives `default_size`.
QFont font_from_spec(const std::string& sjis_spec, int default_size);
// The font of the text settings: 文字書体 with 文字サイズ (12 when not a number).
QFont settings_font(engine::Interpreter& in);
// 文字サイズ as settings_font takes it: 12 when it is not a number or out of range.
int settings_font_size(engine::Interpreter& in);
// 文字色.
QColor settings_font_colour(engine::Interpreter& in);
// A font as a description: face, "|" and the style words, "|" and the size (the ASCII bar,
// as the font dialog reports it).
std::string spec_from_font(const QFont& font);
// The face name scripts see for a font: the name they asked for when it was substituted.
std::string face_name(const QFont& font);

}  // namespace morivel::gui
