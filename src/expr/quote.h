// Putting a computed value back into program text as a back-quoted raw literal.
#pragma once

#include <string>
#include <string_view>

namespace morivel::expr {

// The value between back quotes, each back quote inside doubled: reading the result as a raw
// literal gives the value back unchanged.
std::string QuoteRaw(std::string_view value);

}  // namespace morivel::expr
