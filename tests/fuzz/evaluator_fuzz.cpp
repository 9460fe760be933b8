// Fuzz target: arbitrary bytes through the expression evaluator and the number conversions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../unit/expr_fake_terms.h"
#include "expr/evaluator.h"
#include "expr/number.h"
#include "words/errors.h"

namespace {

// Formatted numbers read back to themselves, except the forms that ToNumber does not take
// (names of non-finite values, an exponent without a decimal point before it).
void CheckFormatRoundTrip(const std::string& formatted) {
  if (formatted == "NAN" || formatted == "INF" || formatted == "-INF") return;
  std::size_t e = formatted.find('E');
  if (e != std::string::npos && formatted.find('.') == std::string::npos) return;
  if (morivel::expr::NumberToText(morivel::expr::ToNumber(formatted)) != formatted) std::abort();
}

void ExerciseConversions(std::string_view input) {
  CheckFormatRoundTrip(morivel::expr::NumberToText(morivel::expr::ToNumber(input)));
  std::int64_t n = 0;
  (void)morivel::expr::ToInteger(input, n);
}

void ExerciseEvaluator(const std::string& input) {
  morivel::expr::testing::FakeTerms terms;
  terms.words["A"] = morivel::expr::Value{"12.5", "e"};
  const char* p = input.c_str();
  try {
    morivel::expr::Value value = morivel::expr::Evaluate(terms, p);
    if (value.type_mark != "e" && value.type_mark != "s") std::abort();
    if (p < input.c_str() || p > input.c_str() + input.size()) std::abort();
    if (value.type_mark == "e") CheckFormatRoundTrip(value.text);
  } catch (const morivel::GeneralError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  ExerciseConversions(input);
  ExerciseEvaluator(input);
  return 0;
}
