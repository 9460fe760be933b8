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
    if (len == 1 && value[i] == '`') out.push_back('`');
    out.append(value.substr(i, len));
    i += len;
  }
  out.push_back('`');
  return out;
}

}  // namespace morivel::expr
