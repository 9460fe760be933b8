// BASE64 coding, ISO-2022-JP mail header words and mailbox messages.
#include "text/mime.h"

#include <array>
#include <cstdint>

#include "text/japanese.h"
#include "text/sjis.h"

namespace morivel::text {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kWordStart = "=?ISO-2022-JP?B?";
constexpr std::string_view kWordEnd = "?=";
constexpr int kSkip = -1;
constexpr int kInvalid = -2;

const std::array<int, 256>& decode_table() {
  static const std::array<int, 256> table = [] {
    std::array<int, 256> t{};
    t.fill(kInvalid);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i)
      t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
    for (unsigned char c : {'\r', '\n', ' ', '\t', '='}) t[c] = kSkip;
    return t;
  }();
  return table;
}

char ascii_upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Case-insensitive search of an ASCII marker.
std::size_t find_marker(std::string_view s, std::string_view marker, std::size_t from) {
  for (std::size_t i = from; i + marker.size() <= s.size(); ++i) {
    std::size_t k = 0;
    while (k < marker.size() && ascii_upper(s[i + k]) == marker[k]) ++k;
    if (k == marker.size()) return i;
  }
  return std::string_view::npos;
}

bool is_header_byte(unsigned char c) {
  return c == '\t' || c == '\r' || c == '\n' || (c >= 0x20 && c <= 0x7E);
}

std::string encoded_word(std::string_view double_byte_run) {
  return std::string(kWordStart) + base64_encode(sjis_to_jis(double_byte_run)) +
         std::string(kWordEnd);
}

}  // namespace

std::string base64_encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 |
                            static_cast<unsigned char>(bytes[i + 1]) << 8 |
                            static_cast<unsigned char>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(v >> shift) & 0x3F];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 0) return out;
  std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
  if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
  out += kAlphabet[(v >> 18) & 0x3F];
  out += kAlphabet[(v >> 12) & 0x3F];
  out += rest == 2 ? kAlphabet[(v >> 6) & 0x3F] : '=';
  out += '=';
  return out;
}

std::optional<std::string> base64_decode(std::string_view text) {
  const std::array<int, 256>& table = decode_table();
  std::string out;
  out.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t bits = 0;
  int count = 0;
  for (char ch : text) {
    const int v = table[static_cast<unsigned char>(ch)];
    if (v == kSkip) continue;
    if (v == kInvalid) return std::nullopt;
    bits = bits << 6 | static_cast<std::uint32_t>(v);
    if (++count == 4) {
      out += static_cast<char>(bits >> 16);
      out += static_cast<char>(bits >> 8);
      out += static_cast<char>(bits);
      bits = 0;
      count = 0;
    }
  }
  // A remainder of r characters holds r - 1 whole bytes.
  bits <<= 6 * (4 - count);
  for (int k = 0; k + 1 < count; ++k) out += static_cast<char>(bits >> (16 - 8 * k));
  return out;
}

std::string mail_header_encode(std::string_view s) {
  std::string out;
  std::size_t i = 0;
  while (i < s.size()) {
    const std::size_t start = i;
    if (char_len(s, i) == 2) {
      while (i < s.size() && char_len(s, i) == 2) i += 2;
      out += encoded_word(s.substr(start, i - start));
    } else {
      while (i < s.size() && char_len(s, i) == 1) ++i;
      out.append(s.substr(start, i - start));
    }
  }
  if (out.find(kWordStart) != std::string::npos && out.find(kWordEnd) == std::string::npos)
    out += kWordEnd;
  return out;
}

std::optional<std::string> mail_header_decode(std::string_view text) {
  std::string s(text);
  std::size_t pos = 0;
  while ((pos = find_marker(s, kWordStart, pos)) != std::string::npos) {
    s.erase(pos, kWordStart.size());
    const std::size_t end = s.find(kWordEnd, pos);
    const std::size_t length = end == std::string::npos ? s.size() - pos : end - pos;
    std::optional<std::string> decoded = base64_decode(std::string_view(s).substr(pos, length));
    if (!decoded) return std::nullopt;
    s.erase(pos, end == std::string::npos ? length : length + kWordEnd.size());
    *decoded += "\x1B(J";
    s.insert(pos, *decoded);
    pos += decoded->size();
  }
  std::string sjis_text = convert_japanese_code(s, detect_japanese_code(s), kCodeSjis);
  for (std::size_t i = 0; i < sjis_text.size();) {
    const std::size_t len = char_len(sjis_text, i);
    if (len == 1 && !is_header_byte(static_cast<unsigned char>(sjis_text[i]))) {
      sjis_text.resize(i);
      break;
    }
    i += len;
  }
  return sjis_text;
}

MailboxCut cut_mailbox_message(std::string_view mailbox) {
  MailboxCut cut;
  std::size_t pos = 0;
  while (pos < mailbox.size()) {
    std::size_t end = mailbox.find_first_of("\r\n", pos);
    std::size_t next;
    if (end == std::string_view::npos) {
      end = next = mailbox.size();
    } else {
      next = end + 1;
      if (mailbox[end] == '\r' && next < mailbox.size() && mailbox[next] == '\n') ++next;
    }
    const std::string_view line = mailbox.substr(pos, end - pos);
    cut.message.append(line);
    cut.message += "\r\n";
    pos = next;
    if (line == ".") break;
  }
  cut.rest = std::string(mailbox.substr(pos));
  return cut;
}

}  // namespace morivel::text
