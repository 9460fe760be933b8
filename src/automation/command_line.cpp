#include "automation/command_line.h"

#include "text/paths.h"
#include "text/sjis.h"

namespace morivel::automation {

namespace {

std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool starts_with_lower(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && ascii_lower(text.substr(0, prefix.size())) == prefix;
}

}  // namespace

CommandLine SplitCommandLine(std::string_view line) {
  CommandLine result;
  bool quoted = false;
  std::size_t i = 0;
  while (i < line.size()) {
    std::size_t len = text::char_len(line, i);
    char c = line[i];
    if (len == 1 && c == ' ' && !quoted) break;
    result.program.append(line.substr(i, len));
    i += len;
    if (len == 1 && c == '"') {
      quoted = !quoted;
      if (!quoted) break;
    }
  }
  result.parameters = text::trim(line.substr(i));
  return result;
}

std::vector<std::string> SplitArguments(std::string_view parameters) {
  std::vector<std::string> args;
  std::string current;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < parameters.size();) {
    std::size_t len = text::char_len(parameters, i);
    char c = parameters[i];
    if (len == 1 && c == '"') {
      if (quoted && i + 1 < parameters.size() && parameters[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      any = true;
    } else if (len == 1 && (c == ' ' || c == '\t') && !quoted) {
      if (any) args.push_back(current);
      current.clear();
      any = false;
    } else {
      current.append(parameters.substr(i, len));
      any = true;
    }
    i += len;
  }
  if (any) args.push_back(current);
  return args;
}

std::string Unquote(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = text::char_len(text, i);
    if (!(len == 1 && text[i] == '"')) out.append(text.substr(i, len));
    i += len;
  }
  return out;
}

std::string LowerExtension(std::string_view program) {
  return ascii_lower(text::extract_extension(Unquote(program)));
}

bool IsUrl(std::string_view text) {
  return starts_with_lower(text, "http://") || starts_with_lower(text, "https://") ||
         starts_with_lower(text, "mailto:");
}

}  // namespace morivel::automation
