// Path texts in Shift-JIS: separators ("\" and "/", never a trail byte), parts and joining.
#include "text/paths.h"

#include "text/sjis.h"

namespace morivel::text {

namespace {

bool is_separator_byte(char c) {
  return c == '\\' || c == '/';
}

// Offsets of the character starts of `s` at which `pred` holds for a single-byte character.
template <typename Pred>
std::size_t last_single_byte(std::string_view s, Pred pred) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < s.size(); i += char_len(s, i))
    if (char_len(s, i) == 1 && pred(s[i])) found = i;
  return found;
}

std::size_t file_name_start(std::string_view path) {
  std::size_t d = last_path_delimiter(path);
  return d == std::string_view::npos ? 0 : d + 1;
}

// Offset of the extension's "." inside the file name, or npos.
std::size_t extension_start(std::string_view path) {
  std::size_t start = file_name_start(path);
  std::size_t dot = last_single_byte(path.substr(start), [](char c) { return c == '.'; });
  return dot == std::string_view::npos ? dot : start + dot;
}

}  // namespace

bool is_path_separator_at(std::string_view path, std::size_t pos) {
  return pos < path.size() && is_separator_byte(path[pos]) && is_char_start(path, pos);
}

std::size_t last_path_delimiter(std::string_view path) {
  return last_single_byte(path, [](char c) { return is_separator_byte(c) || c == ':'; });
}

std::string to_slash_separators(std::string_view path) {
  std::string out(path);
  for (std::size_t i = 0; i < out.size(); i += char_len(out, i))
    if (char_len(out, i) == 1 && out[i] == '\\') out[i] = '/';
  return out;
}

bool ends_with_separator(std::string_view path) {
  return !path.empty() && is_path_separator_at(path, path.size() - 1);
}

std::string extract_path(std::string_view path) {
  return std::string(path.substr(0, file_name_start(path)));
}

std::string extract_file_name(std::string_view path) {
  return std::string(path.substr(file_name_start(path)));
}

std::string extract_extension(std::string_view path) {
  std::size_t dot = extension_start(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string change_extension(std::string_view path, std::string_view extension) {
  std::size_t dot = extension_start(path);
  std::string out(path.substr(0, dot == std::string_view::npos ? path.size() : dot));
  return out + std::string(extension);
}

std::vector<std::string> split_path(std::string_view path) {
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = 0; i < path.size();) {
    std::size_t len = char_len(path, i);
    if (len == 1 && is_separator_byte(path[i])) {
      parts.push_back(std::move(current));
      current.clear();
    } else {
      current.append(path.substr(i, len));
    }
    i += len;
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

void follow_relative_components(std::vector<std::string>& parts,
                                const std::vector<std::string>& rest) {
  std::size_t i = 0;
  for (; i < rest.size(); ++i) {
    if (rest[i] == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (rest[i] != ".") {
      break;
    }
  }
  parts.insert(parts.end(), rest.begin() + static_cast<std::ptrdiff_t>(i), rest.end());
}

std::string expand_absolute_path(std::string_view relative, std::string_view base) {
  bool drive_absolute = relative.size() >= 3 && relative[1] == ':' && relative[2] == '\\';
  if (drive_absolute || (!relative.empty() && relative[0] == '/')) return std::string(relative);
  bool slash_base = last_single_byte(base, [](char c) { return c == '/'; }) != std::string::npos &&
                    last_single_byte(base, [](char c) { return c == '\\'; }) == std::string::npos;
  const char separator = slash_base ? '/' : '\\';
  std::vector<std::string> parts = split_path(base);
  follow_relative_components(parts, split_path(relative));
  std::string out;
  for (const std::string& part : parts) out += part + separator;
  if (!out.empty()) out.pop_back();
  return out;
}

bool has_wildcard(std::string_view path) {
  return path.find('*') != std::string_view::npos || path.find('?') != std::string_view::npos;
}

}  // namespace morivel::text
