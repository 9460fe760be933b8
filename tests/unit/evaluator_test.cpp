// The expression evaluator over a fake term reader: precedence, operators, comparison modes,
// errors.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "expr/evaluator.h"
#include "expr_fake_terms.h"
#include "text/encoding.h"
#include "words/errors.h"

using morivel::GeneralError;
using morivel::expr::Evaluate;
using morivel::expr::Value;
using morivel::expr::testing::FakeTerms;
using morivel::text::sjis;

namespace {

Value Eval(const std::string& expression, FakeTerms& terms) {
  const char* p = expression.c_str();
  return Evaluate(terms, p);
}

Value Eval(const std::string& expression) {
  FakeTerms terms;
  return Eval(expression, terms);
}

// The numeric result text; fails the test when the type is not numeric.
std::string Num(const std::string& expression) {
  Value v = Eval(expression);
  EXPECT_EQ(v.type_mark, "e") << expression;
  return v.text;
}

std::string FailureOf(const std::string& expression) {
  try {
    Eval(expression);
  } catch (const GeneralError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no failure for " << expression;
  return {};
}

const std::string kPrefix = sjis("計算式に誤りがあります。");

}  // namespace

TEST(Evaluator, ArithmeticPrecedenceAndAssociativity) {
  EXPECT_EQ(Num("1+2*3"), "7");
  EXPECT_EQ(Num("(1+2)*3"), "9");
  EXPECT_EQ(Num("10/4"), "2.5");
  EXPECT_EQ(Num("2^10"), "1024");
  EXPECT_EQ(Num("2^3^2"), "64");
  EXPECT_EQ(Num("2*3^2"), "36");
  EXPECT_EQ(Num("10-4-3"), "3");
  EXPECT_EQ(Num(" 1 +\t2 "), "3");
  EXPECT_EQ(Num("$1F+1"), "32");
  EXPECT_EQ(Num("0.1+0.2"), "0.3");
}

TEST(Evaluator, RemainderTruncatesTowardZero) {
  EXPECT_EQ(Num("7%3"), "1");
  EXPECT_EQ(Num("-7%3"), "-1");
  EXPECT_EQ(Num("7%-3"), "1");
  EXPECT_EQ(Num("7.9%2"), "1");
  EXPECT_EQ(Num("7%2.9"), "1");
  EXPECT_EQ(Num("-9223372036854775808%-1"), "0");
}

TEST(Evaluator, ZeroDivisorAndExponentAreNoErrors) {
  EXPECT_EQ(Num("10/0"), "0");
  EXPECT_EQ(Num("7%0"), "0");
  EXPECT_EQ(Num("2^0"), "1");
  EXPECT_EQ(Num("0^0"), "1");
}

TEST(Evaluator, RemainderByFractionFailsLikeIntegerDivision) {
  EXPECT_EQ(FailureOf("7%0.5"), kPrefix + sjis("ゼロで除算しました。") + "7%0.5");
  EXPECT_EQ(FailureOf("7%-0.5"), kPrefix + sjis("ゼロで除算しました。") + "7%-0.5");
  EXPECT_EQ(FailureOf("1.0E30%7"), kPrefix + sjis("整数の範囲を超える数値です。") + "1.0E30%7");
}

TEST(Evaluator, OverflowAndInvalidResultsDoNotCrash) {
  EXPECT_EQ(Num("2^100000"), "INF");
  EXPECT_EQ(Num("0-2^100000"), "-INF");
  EXPECT_EQ(Num("10^-100000"), "0");
  EXPECT_EQ(Num("(0-8)^0.5"), "NAN");
  EXPECT_EQ(Num("2^0.5"), "1.4142135623731");
  EXPECT_THROW(Eval("2^100000%3"), GeneralError);
  EXPECT_EQ(Num("2^100000/0"), "0");
}

TEST(Evaluator, SignsBindToTheFollowingOperand) {
  EXPECT_EQ(Num("3 - -2"), "5");
  EXPECT_EQ(Num("3*-2"), "-6");
  EXPECT_EQ(Num("-7"), "-7");
  EXPECT_EQ(Num("-(1+2)"), "-3");
  EXPECT_EQ(Num("+5"), "5");
  EXPECT_EQ(Num("2*+$10"), "32");
  EXPECT_EQ(Num("1+ +2"), "3");
  EXPECT_EQ(Num("3-2"), "1");
  EXPECT_EQ(FailureOf("+abc"), kPrefix + sjis("演算子「+」の位置が不正。") + "+abc");
  EXPECT_EQ(FailureOf("1+ + 2"), kPrefix + sjis("演算子「+」の位置が不正。") + "1+ + 2");
  EXPECT_EQ(FailureOf("*2"), kPrefix + sjis("演算子「*」の位置が不正。") + "*2");
}

TEST(Evaluator, RightOperandDecidesComparisonMode) {
  EXPECT_EQ(Num(R"("abc"="abc")"), "1");
  EXPECT_EQ(Num(R"("abc"="abd")"), "0");
  EXPECT_EQ(Num(R"("10"=10)"), "1");
  EXPECT_EQ(Num(R"(10="10.0")"), "0");
  EXPECT_EQ(Num(R"("10"=="10.0")"), "1");
  EXPECT_EQ(Num(R"(10=&10.0)"), "0");
  EXPECT_EQ(Num(R"("x"!&"y")"), "1");
  EXPECT_EQ(Num(R"(10!=10.0)"), "0");
  EXPECT_EQ(Num(R"("9"<10)"), "1");
  EXPECT_EQ(Num(R"(9<"10")"), "0");
  EXPECT_EQ(Num(R"(("10")=10)"), "1");
  EXPECT_EQ(Num(R"(("10")=("10.0"))"), "0");
}

TEST(Evaluator, TextOrderIsBytewiseOrdinal) {
  EXPECT_EQ(Num(R"("a"<"b")"), "1");
  EXPECT_EQ(Num(R"("ab"<"abc")"), "1");
  EXPECT_EQ(Num(R"("b"<"ab")"), "0");
  EXPECT_EQ(Num(R"("B"<"a")"), "1");
  // Double-byte lead bytes sort after every ASCII byte.
  EXPECT_EQ(Num("\"z\"<\"" + sjis("あ") + "\""), "1");
}

TEST(Evaluator, EveryComparisonSpelling) {
  EXPECT_EQ(Num("1<>2"), "1");
  EXPECT_EQ(Num("2><2"), "0");
  EXPECT_EQ(Num("3>=3"), "1");
  EXPECT_EQ(Num("3=>4"), "0");
  EXPECT_EQ(Num("2<=1"), "0");
  EXPECT_EQ(Num("1=<1"), "1");
  EXPECT_EQ(Num("2>1"), "1");
  EXPECT_EQ(Num("1==1"), "1");
}

TEST(Evaluator, ChainedComparisonsKeepFirstText) {
  EXPECT_EQ(Num("1<2<3"), "1");
  EXPECT_EQ(Num("3>2>1"), "0");
  EXPECT_EQ(Num(R"("a"="a"="a")"), "1");
  EXPECT_EQ(Num(R"("a"="b"="a")"), "1");
  EXPECT_EQ(Num(R"("a"="b"=0)"), "1");
  // A computed left operand compares as its formatted text.
  EXPECT_EQ(Num(R"(1+1="2")"), "1");
  EXPECT_EQ(Num(R"(1/4="0.25")"), "1");
}

TEST(Evaluator, LogicTreatsNegativeAsFalse) {
  EXPECT_EQ(Num("1 && -1"), "0");
  EXPECT_EQ(Num("0 || 2"), "1");
  EXPECT_EQ(Num("-1 || 0"), "0");
  EXPECT_EQ(Num("1 && 2"), "1");
  EXPECT_EQ(Num("1=1 && 2>1"), "1");
  EXPECT_EQ(Num("1=2 || 3"), "1");
}

TEST(Evaluator, JoinGivesTextAndKeepsLeftNumber) {
  Value joined = Eval(R"("1"&"2")");
  EXPECT_EQ(joined.text, "12");
  EXPECT_EQ(joined.type_mark, "s");
  EXPECT_EQ(Eval("1+2&3").text, "33");
  EXPECT_EQ(Eval("2*3&x").text, "6x");
  EXPECT_EQ(Num(R"("1"&"2"+1)"), "2");
  EXPECT_EQ(Num(R"("a"&"b"="ab")"), "1");
}

TEST(Evaluator, TextOperandsCountByTheirNumber) {
  EXPECT_EQ(Num(R"("abc"+1)"), "1");
  EXPECT_EQ(Num(R"("1,000"*2)"), "2000");
  Value word = Eval(sjis("未定義語"));
  EXPECT_EQ(word.text, sjis("未定義語"));
  EXPECT_EQ(word.type_mark, "s");
}

TEST(Evaluator, TermTypeMarkDecidesKind) {
  FakeTerms terms;
  terms.words["A"] = Value{"5", "e"};
  terms.words["S"] = Value{"5", "s"};
  EXPECT_EQ(Eval("A*2", terms).text, "10");
  EXPECT_EQ(Eval("10=A*2", terms).text, "1");
  EXPECT_EQ(Eval(R"("5.0"=A)", terms).text, "1");
  EXPECT_EQ(Eval(R"("5.0"=S)", terms).text, "0");
  Value plain = Eval("A", terms);
  EXPECT_EQ(plain.type_mark, "e");
  EXPECT_EQ(Eval("S", terms).type_mark, "s");
}

TEST(Evaluator, LeftoverOrMissingOperandsFail) {
  const std::string invalid = sjis("計算結果が不正");
  EXPECT_EQ(FailureOf(""), kPrefix + invalid);
  EXPECT_EQ(FailureOf("  "), kPrefix + invalid + "  ");
  EXPECT_EQ(FailureOf("1!2"), kPrefix + invalid + "1!2");
  EXPECT_EQ(FailureOf("1=!2"), kPrefix + invalid + "1=!2");
  EXPECT_EQ(FailureOf("1+!2"), kPrefix + sjis("演算子「!」の位置が不正。") + "1+!2");
  // A missing right operand reads as the empty term at the end of the text.
  EXPECT_EQ(Num("1+"), "1");
}

TEST(Evaluator, NestedFailuresAreWrappedAtEachLevel) {
  const std::string invalid = sjis("計算結果が不正");
  EXPECT_EQ(FailureOf("(1!2)+1"), kPrefix + kPrefix + invalid + "1!2" + "(1!2)+1");
  EXPECT_EQ(FailureOf("1+()"), kPrefix + kPrefix + invalid + "1+()");
  EXPECT_EQ(FailureOf("\"abc"), kPrefix + "unclosed double quote" + "\"abc");
  EXPECT_THROW(Eval("(1+2"), GeneralError);
}

TEST(Evaluator, StopsAtFirstUnusedToken) {
  FakeTerms terms;
  std::string expression = "1+2 " + sjis("あ") + " 9";
  const char* p = expression.c_str();
  EXPECT_EQ(Evaluate(terms, p).text, "3");
  EXPECT_EQ(std::string(p), sjis("あ") + " 9");
  std::string whole = "(1)*2";
  p = whole.c_str();
  Evaluate(terms, p);
  EXPECT_EQ(*p, '\0');
}

TEST(Evaluator, EveryOperandIsEvaluated) {
  FakeTerms terms;
  Eval("0 && a && b", terms);
  EXPECT_EQ(terms.terms_read, 3);  // "a" and "b" are read although 0 decides the result
}

TEST(Evaluator, DeepNestingFailsCleanly) {
  auto nested = [](int depth) { return std::string(depth, '(') + "1" + std::string(depth, ')'); };
  EXPECT_EQ(Num(nested(50)), "1");
  EXPECT_THROW(Eval(nested(morivel::expr::kMaxNesting + 5)), GeneralError);
}

namespace {

// What the argument reader's text form gives: the value or the failure's message.
std::string TextFormOutcome(const Value& so_far, const std::string& rest) {
  try {
    Value v = Eval("(" + morivel::expr::OperandText(so_far) + rest + ")");
    return v.type_mark + ":" + v.text;
  } catch (const GeneralError& e) {
    return std::string("failed:") + e.what();
  }
}

// The same with the value in hand; "declined" when the text form has to be used.
std::string InHandOutcome(const Value& so_far, const std::string& rest) {
  FakeTerms terms;
  try {
    std::optional<Value> v = morivel::expr::EvaluateContinued(terms, so_far, rest.c_str());
    if (!v) return "declined";
    return v->type_mark + ":" + v->text;
  } catch (const GeneralError& e) {
    return std::string("failed:") + e.what();
  }
}

}  // namespace

TEST(Evaluator, ValueInHandGoesOnAsItsTextWould) {
  const struct {
    Value so_far;
    std::string rest;
  } cases[] = {
      {{"5", "e"}, "+3*2"},
      {{"-3", "e"}, "-1"},
      {{"-3", "e"}, "^2"},
      {{"1.5", "e"}, " * 2"},
      {{"", "e"}, "&x"},
      {{"12", ""}, "+1"},
      {{"12", ""}, "&3"},
      {{"007", "e"}, "&1"},
      {{"a)b`c(", "s"}, "&`d`"},
      {{"abc", "s"}, "=`abc`"},
      {{"2", "s"}, "<10"},
      {{"2", "s"}, "<`10`"},
      {{"3", "e"}, "=3=1"},
      {{"7", "e"}, "%(2+1)*(4-(1))"},
      {{"1", "e"}, "&\"()\"&`)`"},
      {{"1", "e"}, "+"},
      {{"1", "e"}, "+*3"},
      {{"1", "e"}, "!2"},
      {{"1", "e"}, "+()"},
      {{"1", "e"}, "+(1!2)"},
      {{"1", "e"}, "&\"x\" y"},
      {{"9", "e"}, "%0.5"},
      {{"1E+20", "e"}, "+1"},
      {{"$10", "e"}, "+1"},
      {{std::string("a\0b", 3), "s"}, "&c"},
      {{"1", "e"}, ")+(2"},
      {{"1", "e"}, "+(2"},
      {{"1", "e"}, "+2)"},
      {{"1", "e"}, "&\"abc"},
      {{"1", "e"}, "&@@)abc"},
      {{"1", "e"}, "&" + sjis("あ").substr(0, 1)},
  };
  int taken = 0;
  for (const auto& c : cases) {
    std::string in_hand = InHandOutcome(c.so_far, c.rest);
    if (in_hand == "declined") continue;
    ++taken;
    EXPECT_EQ(in_hand, TextFormOutcome(c.so_far, c.rest)) << c.so_far.text << " " << c.rest;
  }
  EXPECT_EQ(taken, 22);  // the rest would read otherwise as a text and are left to it
}
