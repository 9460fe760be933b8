// The command line: options that set the run modes, the start file and the script's arguments.
#pragma once

#include <string>
#include <vector>

namespace morivel::startup {

struct Options {
  bool console = false;  // -console: the console front end
  bool debug = false;
  bool line_stop = false;
  bool runtime = false;
  bool skip_package = false;   // -run as the first parameter
  bool help = false;           // --help or -h before the script
  bool version = false;        // --version before the script
  std::string unknown_option;  // the first unknown option before the script, if any
  int security_level = -1;
  std::string start_file;            // native path
  std::string resource_file;         // native path after -resource
  std::size_t script_args_from = 1;  // index of the script's path among the parameters
};

// The start file that stands for a script read from standard input.
inline constexpr const char* kStandardInputScript = "-";

// Parses the parameters (without the program name). An unknown option before the start file is
// recorded in `unknown_option`; after it, every parameter belongs to the script.
Options ParseOptions(const std::vector<std::string>& params);

// The script's own command line: the script path and every later parameter, one per line.
std::string ScriptCommandLine(const std::vector<std::string>& params, std::size_t from);

// The usage text of --help (UTF-8, one option a line).
std::string UsageText(const std::string& program);

}  // namespace morivel::startup
