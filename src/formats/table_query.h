// The condition language of 表条件抽出: comparisons of named fields joined by AND / OR.
#pragma once

#include <string_view>

#include "formats/csv.h"

namespace morivel::formats {

// Row 0 of the table names the fields. Returns row 0 and the rows the condition holds for
// (the header flag of the result is set). Table and condition are made half-width first.
// A malformed condition throws GeneralError with the parser's own message.
TCsvDb SelectRowsWhere(std::string_view table_text, std::string_view condition);

}  // namespace morivel::formats
