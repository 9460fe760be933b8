// Composing and taking apart mail messages.
#include "net/mail_message.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <optional>

#include "text/encoding.h"
#include "text/japanese.h"
#include "text/mime.h"
#include "text/sjis.h"

namespace morivel::net {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string join(const std::vector<std::string>& items, const char* separator) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += separator;
    out += item;
  }
  return out;
}

// Line ends of a text as CR LF, whatever they were.
std::string crlf_lines(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r') {
      out += kCrLf;
      if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
    } else if (s[i] == '\n') {
      out += kCrLf;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string base64_lines(const std::string& bytes) {
  std::string encoded = text::base64_encode(bytes);
  std::string out;
  for (std::size_t i = 0; i < encoded.size(); i += 76) out += encoded.substr(i, 76) + kCrLf;
  return out;
}

// ---- reading -----------------------------------------------------------------------------------

struct Part {
  std::vector<std::pair<std::string, std::string>> headers;  // lower-case name, raw value
  std::string body;
  const std::string* Header(const std::string& name) const {
    for (const auto& [key, value] : headers)
      if (key == name) return &value;
    return nullptr;
  }
};

Part split_part(const std::string& raw) {
  Part part;
  std::size_t end = raw.find("\r\n\r\n");
  std::size_t skip = 4;
  std::size_t lf_end = raw.find("\n\n");
  if (lf_end != std::string::npos && (end == std::string::npos || lf_end < end)) {
    end = lf_end;
    skip = 2;
  }
  std::string head = raw.substr(0, end);
  part.body = end == std::string::npos ? std::string() : raw.substr(end + skip);
  std::string line;
  auto flush = [&] {
    std::size_t colon = line.find(':');
    if (colon != std::string::npos)
      part.headers.emplace_back(lower(text::trim(line.substr(0, colon))),
                                text::trim(line.substr(colon + 1)));
    line.clear();
  };
  for (std::string_view row : text::split_lines(head)) {
    if (!row.empty() && (row[0] == ' ' || row[0] == '\t')) {
      line += " " + text::trim(row);
      continue;
    }
    flush();
    line = std::string(row);
  }
  flush();
  return part;
}

// The value before the first ";" of a structured header, lower-cased.
std::string main_value(const std::string* header) {
  if (!header) return {};
  return lower(text::trim(header->substr(0, header->find(';'))));
}

std::string to_sjis(const std::string& bytes, const std::string& charset);
std::string percent_decode(const std::string& s);

std::string plain_parameter(const std::string* header, const std::string& name);

// A parameter, also in its extended form (name*=charset'language'percent-encoded).
std::string parameter(const std::string* header, const std::string& name) {
  std::string extended = plain_parameter(header, name + "*");
  if (!extended.empty()) {
    std::size_t first = extended.find('\'');
    std::size_t second = first == std::string::npos ? first : extended.find('\'', first + 1);
    if (second != std::string::npos)
      return to_sjis(percent_decode(extended.substr(second + 1)), extended.substr(0, first));
    return percent_decode(extended);
  }
  return plain_parameter(header, name);
}

std::string plain_parameter(const std::string* header, const std::string& name) {
  if (!header) return {};
  std::string low = lower(*header);
  std::size_t at = 0;
  while ((at = low.find(name, at)) != std::string::npos) {
    bool starts = at > 0 && (low[at - 1] == ';' || low[at - 1] == ' ' || low[at - 1] == '\t');
    std::size_t eq = at + name.size();
    while (eq < low.size() && low[eq] == ' ') ++eq;
    if (!starts || eq >= low.size() || low[eq] != '=') {
      at += name.size();
      continue;
    }
    std::size_t v = eq + 1;
    while (v < header->size() && (*header)[v] == ' ') ++v;
    if (v < header->size() && (*header)[v] == '"') {
      std::size_t close = header->find('"', v + 1);
      return header->substr(v + 1, close == std::string::npos ? std::string::npos : close - v - 1);
    }
    std::size_t stop = header->find(';', v);
    return text::trim(header->substr(v, stop == std::string::npos ? std::string::npos : stop - v));
  }
  return {};
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percent_decode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    int high = s[i] == '%' && i + 2 < s.size() ? hex_value(s[i + 1]) : -1;
    int low = high >= 0 ? hex_value(s[i + 2]) : -1;
    if (high < 0 || low < 0) {
      out += s[i];
      continue;
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string quoted_printable_decode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '=') {
      out += s[i];
      continue;
    }
    if (i + 1 < s.size() && (s[i + 1] == '\r' || s[i + 1] == '\n')) {
      ++i;
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      continue;
    }
    int high = i + 2 < s.size() ? hex_value(s[i + 1]) : -1;
    int low = i + 2 < s.size() ? hex_value(s[i + 2]) : -1;
    if (high < 0 || low < 0) {
      out += '=';
      continue;
    }
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string transfer_decode(const Part& part) {
  std::string encoding = main_value(part.Header("content-transfer-encoding"));
  if (encoding == "base64") return text::base64_decode(part.body).value_or(std::string());
  if (encoding == "quoted-printable") return quoted_printable_decode(part.body);
  return part.body;
}

std::string to_sjis(const std::string& bytes, const std::string& charset) {
  std::string name = lower(charset);
  if (name == "utf-8" || name == "utf8") return text::from_utf8(bytes);
  if (name == "shift_jis" || name == "cp932" || name == "windows-31j" || name == "sjis")
    return bytes;
  text::JapaneseCode code = text::detect_japanese_code(bytes);
  if (name == "iso-2022-jp") code = text::kCodeJis;
  if (name == "euc-jp") code = text::kCodeEuc;
  if (code == text::kCodeEucOrSjis) code = text::kCodeSjis;
  return text::convert_japanese_code(bytes, code, text::kCodeSjis);
}

std::string decode_header(const std::string& value) {
  return text::mail_header_decode(value).value_or(value);
}

void collect(const Part& part, IncomingMail& mail, int depth) {
  const std::string* type_header = part.Header("content-type");
  std::string type = main_value(type_header);
  if (type.rfind("multipart/", 0) == 0 && depth < 16) {
    std::string boundary = parameter(type_header, "boundary");
    if (boundary.empty()) return;
    const std::string marker = "--" + boundary;
    std::size_t at = part.body.find(marker);
    while (at != std::string::npos) {
      std::size_t start = part.body.find('\n', at);
      if (start == std::string::npos) break;
      if (part.body.compare(at + marker.size(), 2, "--") == 0) break;
      std::size_t next = part.body.find(marker, start + 1);
      std::string inner = part.body.substr(
          start + 1, next == std::string::npos ? std::string::npos : next - start - 1);
      // The line break before a boundary belongs to the boundary.
      if (inner.size() >= 2 && inner.compare(inner.size() - 2, 2, "\r\n") == 0)
        inner.resize(inner.size() - 2);
      else if (!inner.empty() && inner.back() == '\n')
        inner.pop_back();
      collect(split_part(inner), mail, depth + 1);
      at = next;
    }
    return;
  }
  std::string name = parameter(part.Header("content-disposition"), "filename");
  if (name.empty()) name = parameter(type_header, "name");
  if (!name.empty() || (!type.empty() && type.rfind("text/", 0) != 0)) {
    std::string decoded = decode_header(name);
    std::string first = decoded.substr(0, decoded.find(' '));
    mail.attachments.push_back({first.empty() ? decoded : first, transfer_decode(part)});
    return;
  }
  std::string charset = parameter(type_header, "charset");
  mail.text += crlf_lines(to_sjis(transfer_decode(part), charset));
}

int month_number(std::string name) {
  static const std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};
  name = lower(name.substr(0, 3));
  for (std::size_t i = 0; i < kMonths.size(); ++i)
    if (name == kMonths[i]) return static_cast<int>(i) + 1;
  return 0;
}

std::string without_quotes(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), '"'), s.end());
  return s;
}

}  // namespace

std::vector<std::string> address_lines(const std::string& list) {
  std::vector<std::string> out;
  for (std::string_view line : text::split_lines(list)) {
    std::string item = text::trim(line);
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

std::string encode_header_text(const std::string& sjis, const char* separator) {
  static const std::string kFullWidthQuote = text::sjis("”");
  std::string quoted;
  for (std::size_t i = 0; i < sjis.size(); i += text::char_len(sjis, i)) {
    std::size_t n = text::char_len(sjis, i);
    if (n == 1 && sjis[i] == '"')
      quoted += kFullWidthQuote;
    else if (n == 1 && (sjis[i] == '\r' || sjis[i] == '\n'))
      quoted += ' ';  // a line break would end the header and start another
    else
      quoted += sjis.substr(i, n);
  }
  bool plain = std::all_of(quoted.begin(), quoted.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (plain) return quoted;
  // Whole pieces of the text, each a word of its own, so that blanks between Japanese words
  // survive decoding (blanks between two encoded words do not count).
  constexpr std::size_t kPieceBytes = 24;
  std::string encoded;
  for (std::size_t i = 0; i < quoted.size();) {
    std::size_t end = i;
    while (end < quoted.size() && end - i < kPieceBytes) end += text::char_len(quoted, end);
    if (!encoded.empty()) encoded += separator;
    encoded += "=?ISO-2022-JP?B?" +
               text::base64_encode(text::sjis_to_jis(quoted.substr(i, end - i))) + "?=";
    i = end;
  }
  return encoded;
}

std::string compose_mail(const OutgoingMail& mail) {
  std::string m;
  std::string from = mail.from;
  if (!mail.sender_name.empty())
    from = encode_header_text(mail.sender_name) + " <" + mail.from + ">";
  m += "From: " + from + kCrLf;
  m += "To: " + join(mail.to, ",") + kCrLf;
  if (!mail.cc.empty()) m += "Cc: " + join(mail.cc, ",") + kCrLf;
  m += "Reply-To: " + mail.from + kCrLf;
  m += "Subject: " + encode_header_text(mail.subject) + kCrLf;
  if (!mail.date.empty()) m += "Date: " + mail.date + kCrLf;
  m += std::string("MIME-Version: 1.0") + kCrLf;
  m += std::string("X-Mailer: morivel 1.84l") + kCrLf;
  const std::string text_type = "text/plain; charset=\"iso-2022-jp\"";
  std::string body = crlf_lines(text::sjis_to_jis(mail.body));
  if (mail.attachments.empty()) {
    m += "Content-Type: " + text_type + kCrLf;
    m += std::string("Content-Transfer-Encoding: 7bit") + kCrLf + kCrLf;
    return m + body;
  }
  m += "Content-Type: multipart/mixed; boundary=\"" + mail.boundary + "\"" + kCrLf;
  m += std::string("Content-Transfer-Encoding: 7bit") + kCrLf + kCrLf;
  m += "--" + mail.boundary + kCrLf;
  m += "Content-Type: " + text_type + kCrLf;
  m += std::string("Content-Transfer-Encoding: 7bit") + kCrLf + kCrLf;
  m += body + kCrLf;
  for (const Attachment& file : mail.attachments) {
    std::string name = encode_header_text(file.name, " ");
    m += "--" + mail.boundary + kCrLf;
    m += "Content-Type: application/octet-stream; name=\"" + name + "\"" + kCrLf;
    m += std::string("Content-Transfer-Encoding: base64") + kCrLf;
    m += "Content-Disposition: attachment; filename=\"" + name + "\"" + kCrLf + kCrLf;
    m += base64_lines(file.bytes);
  }
  m += "--" + mail.boundary + "--" + kCrLf;
  return m;
}

IncomingMail parse_mail(const std::string& raw) {
  Part top = split_part(raw);
  IncomingMail mail;
  auto header = [&](const char* name) {
    const std::string* value = top.Header(name);
    return value ? *value : std::string();
  };
  mail.reply_to = decode_header(header("reply-to"));
  mail.from = without_quotes(decode_header(header("from")));
  mail.to = decode_header(header("to"));
  mail.date = format_mail_date(header("date"));
  std::string subject = header("subject");
  // A subject whose JIS escape was lost on the way still reads as kanji.
  if (subject.rfind("$B$R", 0) == 0) subject = "\x1b" + subject;
  mail.subject = to_sjis(decode_header(subject), "");
  collect(top, mail, 0);
  return mail;
}

std::string format_mail_date(const std::string& header_date) {
  std::string s = header_date;
  if (std::size_t comma = s.find(','); comma != std::string::npos) s = s.substr(comma + 1);
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  char month[8] = {};
  int got =
      std::sscanf(s.c_str(), " %d %3s %d %d:%d:%d", &day, month, &year, &hour, &minute, &second);
  int m = month_number(month);
  if (got < 5 || m == 0) return header_date;
  if (year < 100) year += year < 50 ? 2000 : 1900;
  char out[32];
  std::snprintf(out, sizeof out, "%04d/%02d/%02d %02d:%02d:%02d", year, m, day, hour, minute,
                second);
  return out;
}

std::string mail_summary(const IncomingMail& mail) {
  std::string s;
  auto line = [&](const char* label, const std::string& value) {
    s += text::sjis(label) + value + kCrLf;
  };
  if (!mail.reply_to.empty()) line("返信先:", mail.reply_to);
  line("送信者:", mail.from);
  line("受信者:", mail.to);
  line("日時:", mail.date);
  line("件名:", mail.subject);
  for (const Attachment& file : mail.attachments) line("添付ファイル:", file.name);
  s += text::sjis("本文:") + kCrLf + kCrLf + mail.text;
  return s;
}

}  // namespace morivel::net
