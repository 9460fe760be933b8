// Option texts: switch letters with one digit each, in the archiver's command-line order.
#include "archive/archiver_options.h"

#include <algorithm>
#include <array>

#include "text/sjis.h"

namespace morivel::archive {
namespace {

// The numeric switches, in the order the command line lists them.
constexpr std::array<const char*, 57> kSwitches{
    "a",   "c",   "e",   "f",  "h",   "i",   "l",   "m",   "n",   "o",   "p",   "r",
    "s",   "t",   "u",   "x",  "y",   "z",   "jc",  "jd",  "je",  "jf",  "jh",  "ji",
    "jm",  "jn",  "jp",  "jr", "jsb", "jsc", "jsd", "jse", "jsf", "jsl", "jso", "jss",
    "jst", "jsv", "jsz", "jw", "jyc", "jyd", "jyk", "jyn", "jyo", "ga",  "gd",  "ge",
    "gf",  "gj",  "gm",  "gn", "go",  "gp",  "gs",  "gu",  "gw"};

bool is_switch(const std::string& name) {
  return !name.empty() && std::find(kSwitches.begin(), kSwitches.end(), name) != kSwitches.end();
}

}  // namespace

void ArchiverOptions::Read(std::string_view option_text) {
  std::size_t pos = 0;
  while (pos <= option_text.size()) {
    std::size_t space = option_text.find(' ', pos);
    if (space == std::string_view::npos) space = option_text.size();
    std::string piece = text::trim(option_text.substr(pos, space - pos));
    pos = space + 1;
    if (piece.empty()) continue;
    if (piece.front() == '-') piece.erase(0, 1);
    if (piece.empty() || piece.back() < '0' || piece.back() > '9') continue;
    int value = piece.back() - '0';
    piece.pop_back();
    if (is_switch(piece)) values_[piece] = value;
  }
}

int ArchiverOptions::Get(const std::string& name) const {
  auto it = values_.find(name);
  return it == values_.end() ? -1 : it->second;
}

std::string ArchiverOptions::CommandLine(const std::string& operation, const std::string& archive,
                                         std::string base_folder, const std::string& files) const {
  std::string line = operation + " -+";
  for (const char* name : kSwitches) {
    int value = Get(name);
    if (value >= 0) line += std::string(" -") + name + std::to_string(value);
  }
  if (!base_folder.empty() && base_folder.back() != '\\' && base_folder.back() != '/')
    base_folder += '\\';
  line += " \"" + archive + "\" \"" + base_folder + "\"";
  if (!files.empty()) line += " " + files;
  return line;
}

}  // namespace morivel::archive
