// Path texts in Shift-JIS: separators ("\" and "/", never a trail byte), parts and joining.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morivel::text {

// True when the byte at `pos` starts a character and is "\" or "/".
bool is_path_separator_at(std::string_view path, std::size_t pos);

// Byte offset of the last "\", "/" or ":" that starts a character, or npos.
std::size_t last_path_delimiter(std::string_view path);

// Every "\" that is a separator becomes "/"; trail bytes 0x5C stay as they are.
std::string to_slash_separators(std::string_view path);

// True when the path ends in a separator.
bool ends_with_separator(std::string_view path);

// Up to and including the last separator or ":" ("" when there is none).
std::string extract_path(std::string_view path);
// What follows the last separator or ":".
std::string extract_file_name(std::string_view path);
// From the last "." of the file name, including the "."; "" when the name has none.
std::string extract_extension(std::string_view path);
// The path with its extension replaced by `extension` (which includes its "."), or added.
std::string change_extension(std::string_view path, std::string_view extension);

// Splits at separators; a final separator adds no empty component, a leading one gives "".
std::vector<std::string> split_path(std::string_view path);

// Joins `relative` onto `base`, resolving leading "." and ".." components. A relative text that
// is absolute already ("X:\..." or "/...") is returned unchanged. The result uses "/" when the
// base does and has no "\", else "\".
std::string expand_absolute_path(std::string_view relative, std::string_view base);

// Follows `rest` from `parts`: leading ".." components drop the last part, leading "." ones are
// skipped, the remainder is appended. Shared by file paths and URLs.
void follow_relative_components(std::vector<std::string>& parts,
                                const std::vector<std::string>& rest);

// True when the text holds "*" or "?".
bool has_wildcard(std::string_view path);

}  // namespace morivel::text
