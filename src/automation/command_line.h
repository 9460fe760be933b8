// Command lines of 起動 and 起動して終了まで待機, read the way the desktop of the script's origin
// reads them, and turned into argument vectors so that no shell ever sees script text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morivel::automation {

struct CommandLine {
  std::string program;     // as written, quotes kept
  std::string parameters;  // the rest, trimmed
};

// Bytes go to the program part until a space outside double quotes; a closing quote ends it.
// Double-byte characters are copied whole, so a trail byte never counts as a space or quote.
CommandLine SplitCommandLine(std::string_view line);

// The parameter part as separate arguments: spaces and tabs separate, double quotes group and are
// dropped, "" inside quotes is one quote.
std::vector<std::string> SplitArguments(std::string_view parameters);

// The program part without its quotes.
std::string Unquote(std::string_view text);

// The ASCII lower-case extension (with its dot) of a program part, quotes removed.
std::string LowerExtension(std::string_view program);

// Texts the desktop opener takes whole: "http://", "https://", "mailto:" (any case).
bool IsUrl(std::string_view text);

}  // namespace morivel::automation
