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
  bool skip_package = false;  // -run as the first parameter
  int security_level = -1;
  std::string start_file;            // native path
  std::string resource_file;         // native path after -resource
  std::size_t script_args_from = 1;  // index of the script's path among the parameters
};

// Parses the parameters (without the program name). Unknown options are ignored.
Options ParseOptions(const std::vector<std::string>& params);

// The script's own command line: the script path and every later parameter, one per line.
std::string ScriptCommandLine(const std::vector<std::string>& params, std::size_t from);

}  // namespace morivel::startup
