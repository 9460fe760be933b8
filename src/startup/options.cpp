// Command-line options.
#include "startup/options.h"

#include <algorithm>
#include <cctype>

namespace morivel::startup {

namespace {

int security_level_of(std::string word, int current) {
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (word == "low") return 0;
  if (word == "mid") return 1;
  if (word == "high") return 2;
  return current;
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& params) {
  Options o;
  o.skip_package = !params.empty() && params[0] == "-run";
  for (std::size_t i = 0; i < params.size(); ++i) {
    const std::string& p = params[i];
    bool has_value = i + 1 < params.size();
    if (p == "-console") {
      o.console = true;
    } else if (p == "-debug") {
      o.debug = true;
    } else if (p == "-linestop") {
      o.line_stop = true;
    } else if (p == "-runtime") {
      o.runtime = true;
      if (has_value) {
        o.start_file = params[++i];
        o.script_args_from = i;
      }
    } else if (p == "-resource") {
      if (has_value) o.resource_file = params[++i];
    } else if (p == "-security") {
      if (has_value) o.security_level = security_level_of(params[++i], o.security_level);
    } else if (p == "-run") {
      continue;  // only the first parameter counts, as the package check reads it
    } else if (o.start_file.empty() && (p == "--help" || p == "-h")) {
      o.help = true;
    } else if (o.start_file.empty() && p == "--version") {
      o.version = true;
    } else if (o.start_file.empty() && p == kStandardInputScript) {
      o.start_file = p;
      o.script_args_from = i;
    } else if (!p.empty() && p[0] == '-') {
      if (o.start_file.empty() && o.unknown_option.empty()) o.unknown_option = p;
    } else if (o.start_file.empty()) {
      o.start_file = p;
      o.script_args_from = i;
    }
  }
  return o;
}

std::string ScriptCommandLine(const std::vector<std::string>& params, std::size_t from) {
  std::string out;
  for (std::size_t i = from; i < params.size(); ++i) {
    if (i > from) out += "\r\n";
    out += params[i];
  }
  return out;
}

std::string UsageText(const std::string& program) {
  return "usage: " + program +
         " [options] [script.mrv | -] [script arguments...]\n"
         "Runs a Morivel script (Shift-JIS text); '-' reads the script from standard input.\n"
         "\n"
         "options:\n"
         "  -console          run with the console front end (no window on screen)\n"
         "  -debug            the error dialog offers debugging; warnings open it\n"
         "  -linestop         open the debug dialog at every line end\n"
         "  -security LEVEL   security policy level: low, mid or high\n"
         "  -resource FILE    read packed files from the archive FILE\n"
         "  -runtime FILE     run the program packed into FILE\n"
         "  -run              do not look for a program packed into this executable\n"
         "  -h, --help        show this help and exit\n"
         "  --version         show the version and exit\n";
}

}  // namespace morivel::startup
