// iconv wrapper: every conversion is total, broken input becomes a replacement character.
#include "text/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

namespace morivel::text {
namespace {

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle open_converter(const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return IconvHandle(nullptr);
  return IconvHandle(cd);
}

// Byte length of the input unit to skip when the converter rejects the input at `p`.
std::size_t invalid_unit_length(const char* from, const char* p, std::size_t left) {
  if (left >= 2 && std::strncmp(from, "UTF-16", 6) == 0) return 2;
  if (left >= 2 && std::strcmp(from, "CP932") == 0 &&
      ((static_cast<unsigned char>(*p) >= 0x81 && static_cast<unsigned char>(*p) <= 0x9F) ||
       (static_cast<unsigned char>(*p) >= 0xE0 && static_cast<unsigned char>(*p) <= 0xFC)) &&
      static_cast<unsigned char>(p[1]) >= 0x40)
    return 2;
  return 1;
}

// Opening a converter costs more than most conversions: keep one per direction and thread.
iconv_t cached_converter(const char* from, const char* to) {
  thread_local std::map<std::pair<std::string, std::string>, IconvHandle> converters;
  auto key = std::make_pair(std::string(from), std::string(to));
  auto it = converters.find(key);
  if (it == converters.end()) it = converters.emplace(key, open_converter(from, to)).first;
  if (!it->second) return reinterpret_cast<iconv_t>(-1);
  auto handle = static_cast<iconv_t>(it->second.get());
  iconv(handle, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state for every text
  return handle;
}

}  // namespace

std::string convert(std::string_view input, const char* from, const char* to,
                    std::string_view replacement, bool* ok) {
  iconv_t handle = cached_converter(from, to);
  bool opened = handle != reinterpret_cast<iconv_t>(-1);
  if (ok) *ok = opened;
  if (!opened) return std::string(input);

  std::string out;
  out.reserve(input.size() * 2 + 16);
  char buffer[4096];
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  while (in_left > 0) {
    char* dst = buffer;
    std::size_t dst_left = sizeof buffer;
    std::size_t rc = iconv(handle, &in, &in_left, &dst, &dst_left);
    out.append(buffer, dst - buffer);
    if (rc != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip one unit of broken input and put the replacement in its place.
    std::size_t skip = std::min(in_left, invalid_unit_length(from, in, in_left));
    in += skip;
    in_left -= skip;
    out.append(replacement);
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buffer;
  std::size_t dst_left = sizeof buffer;
  iconv(handle, nullptr, nullptr, &dst, &dst_left);
  out.append(buffer, dst - buffer);
  return out;
}

std::string to_utf8(std::string_view sjis_text) {
  return convert(sjis_text, "CP932", "UTF-8", "\xEF\xBF\xBD");
}

std::string from_utf8(std::string_view utf8) {
  return convert(utf8, "UTF-8", "CP932", "?");
}

std::u16string to_utf16(std::string_view sjis_text) {
  std::string bytes = convert(sjis_text, "CP932", "UTF-16LE", std::string_view("\xFD\xFF", 2));
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

std::string from_utf16(std::u16string_view utf16) {
  std::string bytes;
  bytes.reserve(utf16.size() * 2);
  for (char16_t c : utf16) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return convert(bytes, "UTF-16LE", "CP932", "?");
}

bool is_valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 0;
    if (n == 0 || i + n > s.size()) return false;
    if (n == 2 && c < 0xC2) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace morivel::text
