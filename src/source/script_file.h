// Reading a script file: Shift-JIS text with CR LF line breaks, UTF-8 files converted on load.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace morivel::source {

// Turns the bytes of a script file into the source text: a UTF-8 byte-order mark, or valid
// UTF-8 holding multi-byte characters, means UTF-8 and is converted to Shift-JIS; every line
// break becomes CR LF and the text ends with one.
std::string DecodeScriptBytes(std::string_view bytes);

// Reads a script file by its native (UTF-8) path; nullopt when it cannot be read.
// A folder or an unreadable file gives nullopt too.
std::optional<std::string> ReadScriptFile(const std::string& native_path);

// Reads a whole script from a stream (standard input for the start file "-").
std::optional<std::string> ReadScriptStream(std::istream& in);

}  // namespace morivel::source
