// Services behind the commands of particular part kinds: finding a named part, window messages
// mapped to the widgets, rich text as RTF and the small files the commands write.
#pragma once

#include <QTextDocument>

#include <cstdint>
#include <string>

#include "gui/part.h"

namespace morivel::engine {
class Interpreter;
}

namespace morivel::gui {

// The part a kind-4 word names: ""%s"は、部品ではありません。" for any other name, the command's
// argument error for a word whose part is gone.
Part& named_part(engine::Interpreter& in, const std::string& raw_name);

// A window message as scripts send it: number, wparam and lparam; a named variable's text
// travels as `text` (lparam then stands for it and is 0).
struct WindowMessage {
  std::int64_t number = 0;
  std::int64_t wparam = 0;
  std::int64_t lparam = 0;
  bool has_text = false;
  std::string text;  // Shift-JIS
};
// "message,wparam,lparam" (already half-width). A negative message number is the command's
// argument error; a missing variable named as lparam is created.
WindowMessage parse_window_message(engine::Interpreter& in, const std::string& fields);
// What the message does to the part's widget, as the common window messages do to controls;
// the result the message would return, 0 for messages the widget has no equivalent of.
std::int64_t deliver_window_message(Part& part, const WindowMessage& message);

// The document as RTF: paragraphs, font faces and sizes, bold, italic, underline and colours.
// Characters outside ASCII travel as \uN with a "?" fallback.
std::string document_to_rtf(const QTextDocument& document);

// Replaces the file (a Shift-JIS path) with the bytes; false when it cannot be written.
bool write_whole_file(const std::string& sjis_path, const std::string& bytes);
// The whole file, or nullopt-like empty with ok false.
bool read_whole_file(const std::string& sjis_path, std::string& bytes);

}  // namespace morivel::gui
