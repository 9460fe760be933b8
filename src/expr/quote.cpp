// Back-quoted raw literals for values that re-enter program text.
#include "expr/quote.h"

#include "text/sjis.h"

namespace morivel::expr {

std::string QuoteRaw(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 2);
  out.push_back('`');
  // A trail byte may equal the back quote (0x60); the literal reader steps over double-byte
  // characters whole, so only a real back quote character is doubled.
  for (std::size_t i = 0; i < value.size();) {
    std::size_t len = text::char_len(value, i);
    if (i + 1 == value.size() && text::is_lead_byte(static_cast<unsigned char>(value[i]))) {
      // A lead byte at the very end would pair with the closing quote when the text is read
      // back, and no literal can hold it alone: it is joined on by its code instead.
      int code = static_cast<unsigned char>(value[i]);
      return "(" + out + "`&\"{CHR(" + std::to_string(code) + ")}\")";
    }
    if (len == 1 && value[i] == '`') out.push_back('`');
    out.append(value.substr(i, len));
    i += len;
  }
  out.push_back('`');
  return out;
}

}  // namespace morivel::expr
