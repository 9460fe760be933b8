// Script files on disk.
#include "source/script_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "text/encoding.h"

namespace morivel::source {

namespace {

bool has_multibyte(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return true;
  return false;
}

std::string with_crlf_lines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
  return out;
}

}  // namespace

std::string DecodeScriptBytes(std::string_view bytes) {
  static constexpr std::string_view kBom = "\xEF\xBB\xBF";
  std::string text;
  if (bytes.substr(0, kBom.size()) == kBom) {
    text = text::from_utf8(bytes.substr(kBom.size()));
  } else if (has_multibyte(bytes) && text::is_valid_utf8(bytes)) {
    text = text::from_utf8(bytes);
  } else {
    text = std::string(bytes);
  }
  // A NUL byte would end the program text early; the rest of the file must not vanish silently.
  for (char& c : text)
    if (c == '\0') c = ' ';
  return with_crlf_lines(text);
}

std::optional<std::string> ReadScriptFile(const std::string& native_path) {
  // A folder opens as a stream on this system but fails at the first read.
  std::error_code ec;
  if (std::filesystem::is_directory(native_path, ec)) return std::nullopt;
  try {
    std::ifstream in(native_path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return DecodeScriptBytes(bytes);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> ReadScriptStream(std::istream& in) {
  try {
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return DecodeScriptBytes(bytes);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace morivel::source
