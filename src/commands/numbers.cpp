// Commands: arithmetic, mathematical functions and random numbers.
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "commands/families.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "text/encoding.h"
#include "text/half_width.h"
#include "words/errors.h"

namespace morivel::commands {
namespace {

using engine::Interpreter;

const std::string kNumberType = "e";

// ---- failures ----------------------------------------------------------------------------------

[[noreturn]] void fail(const char* utf8_message) {
  throw GeneralError(text::sjis(utf8_message));
}
[[noreturn]] void fail_out_of_range() {
  fail("整数の範囲を超える数値です。");
}
[[noreturn]] void fail_division_by_zero() {
  fail("ゼロで除算しました。");
}

// A non-finite result from finite arguments is an error, not a value to print.
long double checked(long double value) {
  if (std::isnan(value)) fail("数学関数の定義域の外の値です。");
  if (std::isinf(value)) fail("計算結果が大きすぎます。");
  return value;
}

// ---- conversions -------------------------------------------------------------------------------

std::int64_t to_int64(long double value) {
  std::int64_t out = 0;
  if (!expr::TruncateToInt64(value, out)) fail_out_of_range();
  return out;
}

std::int32_t to_int32(long double value) {
  std::int64_t out = to_int64(value);
  if (out < std::numeric_limits<std::int32_t>::min() ||
      out > std::numeric_limits<std::int32_t>::max())
    fail_out_of_range();
  return static_cast<std::int32_t>(out);
}

void set_number(Interpreter& in, long double value) {
  in.SetResult(expr::NumberToText(value), kNumberType);
}

void set_integer(Interpreter& in, std::int64_t value) {
  in.SetResult(std::to_string(value), kNumberType);
}

// Trigonometric results (the inverse functions too), HYPOT and the angle conversions keep
// それ's type marker.
void set_number_keeping_type(Interpreter& in, long double value) {
  std::string type = in.State().Sys.Sore->TypeMark;
  in.SetResult(expr::NumberToText(value), type);
}

// ---- arithmetic on variables -------------------------------------------------------------------

// The left operand of 足す and its sisters: a variable (whose value it then receives) or any
// value.
struct LeftOperand {
  words::THashNode* variable = nullptr;
  std::string value;
};

LeftOperand pop_left_operand(Interpreter& in) {
  std::string raw = in.PopArgumentText();
  words::THashNode* word = in.FindWord(raw);
  if (word && word->Kind == words::kVariable) return {word, word->GetValue()};
  return {nullptr, in.EvalArgument(raw)};
}

void store_result(Interpreter& in, const LeftOperand& left, const std::string& value,
                  const std::string& type) {
  if (left.variable) {
    if (left.variable->Reserved)
      throw in.Error("\"" + left.variable->Name + text::sjis("\"は、読取専用です。"));
    left.variable->SetValue(value);
    left.variable->TypeMark = type;
  }
  in.SetResult(value, type);
}

void add(Interpreter& in) {
  std::string right = in.PopArgumentValue();
  std::string right_type = in.CurrentType();
  LeftOperand left = pop_left_operand(in);
  std::string sum = right_type == kNumberType
                        ? expr::NumberToText(expr::ToNumber(left.value) + expr::ToNumber(right))
                        : left.value + right;
  store_result(in, left, sum, right_type);
}

template <typename Operation>
void arithmetic(Interpreter& in, Operation operation) {
  long double right = in.PopArgumentNumber();
  LeftOperand left = pop_left_operand(in);
  long double result = operation(expr::ToNumber(left.value), right);
  store_result(in, left, expr::NumberToText(result), kNumberType);
}

void subtract(Interpreter& in) {
  arithmetic(in, [](long double a, long double b) { return a - b; });
}

void multiply(Interpreter& in) {
  arithmetic(in, [](long double a, long double b) { return a * b; });
}

void divide(Interpreter& in) {
  arithmetic(in, [](long double a, long double b) {
    if (b == 0) fail_division_by_zero();
    return a / b;
  });
}

void assign_variable(Interpreter& in) {
  words::THashNode* target = in.PopArgumentVariable(true);
  words::THashNode* source = in.PopArgumentVariable(true);
  if (target->Reserved) throw in.Error("\"" + target->Name + text::sjis("\"は、読取専用です。"));
  std::string value = source->GetValue();
  std::string type = source->TypeMark;
  target->SetValue(std::move(value));
  target->TypeMark = std::move(type);
}

void calculate(Interpreter& in) {
  std::string expression = text::to_half_width(in.PopArgumentValue());
  std::string result;
  try {
    result = in.EvaluateText(expression).text;
  } catch (const std::exception&) {
    result.clear();  // a script that asks for a calculation gets empty text, never an error
  }
  in.SetResult(std::move(result), kNumberType);
}

// ---- 32-bit integer commands -------------------------------------------------------------------

// Pops the two operands of "?と,?の" (second first), truncated to 32 bits.
struct IntPair {
  std::int32_t first;
  std::int32_t second;
};

IntPair pop_int_pair(Interpreter& in) {
  std::int32_t second = to_int32(in.PopArgumentNumber());
  std::int32_t first = to_int32(in.PopArgumentNumber());
  return {first, second};
}

void modulo(Interpreter& in) {
  IntPair v = pop_int_pair(in);
  if (v.second == 0) fail_division_by_zero();
  // INT32_MIN % -1 overflows in the machine; the remainder is 0 anyway.
  set_integer(in, v.second == -1 ? 0 : v.first % v.second);
}

void bit_and(Interpreter& in) {
  IntPair v = pop_int_pair(in);
  set_integer(in, v.first & v.second);
}

void bit_or(Interpreter& in) {
  IntPair v = pop_int_pair(in);
  set_integer(in, v.first | v.second);
}

void bit_xor(Interpreter& in) {
  IntPair v = pop_int_pair(in);
  set_integer(in, v.first ^ v.second);
}

void logical_not(Interpreter& in) {
  set_integer(in, to_int32(in.PopArgumentNumber()) == 0 ? 1 : 0);
}

// The shift count wraps at 32, as the machine's shift instructions do.
struct ShiftArguments {
  std::uint32_t bits;
  unsigned count;
};

ShiftArguments pop_shift(Interpreter& in) {
  std::int32_t count = to_int32(in.PopArgumentNumber());
  std::int32_t value = to_int32(in.PopArgumentNumber());
  return {static_cast<std::uint32_t>(value), static_cast<unsigned>(count) & 31u};
}

void shift_right(Interpreter& in) {
  ShiftArguments a = pop_shift(in);
  set_integer(in, static_cast<std::int32_t>(a.bits >> a.count));
}

void shift_left(Interpreter& in) {
  ShiftArguments a = pop_shift(in);
  set_integer(in, static_cast<std::int32_t>(a.bits << a.count));
}

void hexadecimal(Interpreter& in) {
  auto bits = static_cast<std::uint32_t>(to_int32(in.PopArgumentNumber()));
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02" PRIX32, bits);
  in.SetResult(buffer, kNumberType);
}

// ---- rounding ----------------------------------------------------------------------------------

void truncate_to_integer(Interpreter& in) {
  set_integer(in, to_int64(in.PopArgumentNumber()));
}

// Ties go to the even neighbour: the default rounding mode of the floating-point unit.
void round_to_integer(Interpreter& in) {
  set_integer(in, to_int64(std::nearbyint(in.PopArgumentNumber())));
}

void ceiling(Interpreter& in) {
  set_integer(in, to_int32(std::ceil(in.PopArgumentNumber())));
}

void floor_to_integer(Interpreter& in) {
  set_integer(in, to_int32(std::floor(in.PopArgumentNumber())));
}

// x scaled by 10^digits, made whole by `whole`, scaled back.
template <typename Whole>
void round_at_digits(Interpreter& in, Whole whole) {
  std::int32_t digits = to_int32(in.PopArgumentNumber());
  long double x = in.PopArgumentNumber();
  long double scale = std::pow(10.0L, static_cast<long double>(digits));
  if (!std::isfinite(scale) || scale == 0) fail_out_of_range();
  std::int64_t scaled = to_int64(whole(x * scale));
  set_number(in, static_cast<long double>(scaled) / scale);
}

void truncate_at_digits(Interpreter& in) {
  round_at_digits(in, [](long double v) { return std::trunc(v); });
}

void round_at_digits_even(Interpreter& in) {
  round_at_digits(in, [](long double v) { return std::nearbyint(v); });
}

// Works on the text, so "-3.25" gives "0.25" and "3" gives nothing.
void fraction(Interpreter& in) {
  std::string value = text::to_half_width(in.PopArgumentValue());
  std::size_t point = value.find('.');
  in.SetResult(point == std::string::npos ? std::string() : "0" + value.substr(point), kNumberType);
}

// ---- functions of reals ------------------------------------------------------------------------

[[noreturn]] void fail_domain() {
  fail("数学関数の定義域の外の値です。");
}

void absolute(Interpreter& in) {
  set_number(in, std::fabs(in.PopArgumentNumber()));
}

void exponential(Interpreter& in) {
  set_number(in, checked(std::exp(in.PopArgumentNumber())));
}

long double positive_argument(Interpreter& in) {
  long double x = in.PopArgumentNumber();
  if (!(x > 0)) fail_domain();
  return x;
}

void natural_log(Interpreter& in) {
  set_number(in, checked(std::log(positive_argument(in))));
}
void log_base2(Interpreter& in) {
  set_number(in, checked(std::log2(positive_argument(in))));
}
void log_base10(Interpreter& in) {
  set_number(in, checked(std::log10(positive_argument(in))));
}

void log_any_base(Interpreter& in) {
  long double x = positive_argument(in);
  long double base = positive_argument(in);
  if (base == 1) fail_division_by_zero();
  set_number(in, checked(std::log(x) / std::log(base)));
}

void power(Interpreter& in) {
  long double exponent = in.PopArgumentNumber();
  long double base = in.PopArgumentNumber();
  if (base == 0 && exponent < 0) fail_division_by_zero();
  set_number(in, checked(std::pow(base, exponent)));
}

void square_root(Interpreter& in) {
  long double x = in.PopArgumentNumber();
  if (x < 0) fail_domain();
  set_number(in, checked(std::sqrt(x)));
}

template <long double (*Function)(long double)>
void trigonometric(Interpreter& in) {
  set_number_keeping_type(in, checked(Function(in.PopArgumentNumber())));
}

long double sine(long double x) {
  return std::sin(x);
}
long double cosine(long double x) {
  return std::cos(x);
}
long double tangent(long double x) {
  return std::tan(x);
}
long double arctangent(long double x) {
  return std::atan(x);
}

long double unit_argument(Interpreter& in) {
  long double x = in.PopArgumentNumber();
  if (!(x >= -1 && x <= 1)) fail_domain();
  return x;
}

void arcsine(Interpreter& in) {
  set_number_keeping_type(in, std::asin(unit_argument(in)));
}
void arccosine(Interpreter& in) {
  set_number_keeping_type(in, std::acos(unit_argument(in)));
}

void hypotenuse(Interpreter& in) {
  long double y = in.PopArgumentNumber();
  long double x = in.PopArgumentNumber();
  set_number_keeping_type(in, checked(std::hypot(x, y)));
}

constexpr long double kPi = 3.141592653589793238462643383279502884L;

// Conversion factors as types: floating-point template arguments are not portable yet.
struct CycleToRadian { static constexpr long double kFactor = 2 * kPi; };
struct DegreeToRadian { static constexpr long double kFactor = kPi / 180; };
struct GradToRadian { static constexpr long double kFactor = kPi / 200; };
struct RadianToCycle { static constexpr long double kFactor = 1 / (2 * kPi); };
struct RadianToDegree { static constexpr long double kFactor = 180 / kPi; };
struct RadianToGrad { static constexpr long double kFactor = 200 / kPi; };

template <typename Conversion>
void convert_angle(Interpreter& in) {
  set_number_keeping_type(in, in.PopArgumentNumber() * Conversion::kFactor);
}

// ---- random numbers ----------------------------------------------------------------------------

// A value from 0 to n - 1.
void random_below(Interpreter& in) {
  std::int64_t n = 100;  // stays when the argument is not a plain integer
  expr::ToInteger(in.PopArgumentValue(), n);
  std::int32_t limit = to_int32(static_cast<long double>(n));
  set_integer(in, limit <= 0 ? 0 : in.State().Random.Below(static_cast<std::uint32_t>(limit)));
}

void random_real(Interpreter& in) {
  set_number(in, in.State().Random.Next() / 4294967296.0L);
}

void seed_random(Interpreter& in) {
  std::int64_t seed = to_int64(in.PopArgumentNumber());
  if (seed == -1) {
    seed = static_cast<std::int64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
  }
  in.State().Random.Seed(static_cast<std::uint32_t>(seed));
}

}  // namespace

void register_numbers(HandlerTable& table) {
  table.Set(397, assign_variable);
  table.Set(280, add);
  table.Set(281, subtract);
  table.Set(282, multiply);
  table.Set(283, divide);
  table.Set(11, calculate);
  table.Set(343, modulo);
  table.Set(340, bit_and);
  table.Set(341, bit_or);
  table.Set(342, bit_xor);
  table.Set(395, logical_not);
  table.Set(344, shift_right);
  table.Set(345, shift_left);
  table.Set(346, hexadecimal);
  table.Set(17, random_below);
  table.Set(158, random_real);
  table.Set(159, seed_random);
  table.Set(31, truncate_to_integer);
  table.Set(151, truncate_to_integer);
  table.Set(157, truncate_to_integer);
  table.Set(155, round_to_integer);
  table.Set(147, ceiling);
  table.Set(149, floor_to_integer);
  table.Set(32, truncate_at_digits);
  table.Set(33, round_at_digits_even);
  table.Set(150, fraction);
  table.Set(146, absolute);
  table.Set(148, exponential);
  table.Set(152, natural_log);
  table.Set(153, log_any_base);
  table.Set(179, log_base2);
  table.Set(180, log_base10);
  table.Set(154, power);
  table.Set(156, square_root);
  table.Set(52, trigonometric<sine>);
  table.Set(53, trigonometric<cosine>);
  table.Set(54, trigonometric<tangent>);
  table.Set(216, trigonometric<arctangent>);
  table.Set(218, arcsine);
  table.Set(217, arccosine);
  table.Set(219, hypotenuse);
  table.Set(220, convert_angle<CycleToRadian>);
  table.Set(221, convert_angle<DegreeToRadian>);
  table.Set(222, convert_angle<GradToRadian>);
  table.Set(223, convert_angle<RadianToCycle>);
  table.Set(224, convert_angle<RadianToDegree>);
  table.Set(225, convert_angle<RadianToGrad>);
}

}  // namespace morivel::commands
