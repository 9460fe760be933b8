// A small stand-in for the engine's term reader, shared by the evaluator tests and fuzz target.
#pragma once

#include <cctype>
#include <map>
#include <string>
#include <string_view>

#include "expr/evaluator.h"
#include "expr/literal.h"
#include "expr/number.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::expr::testing {

// Reads numbers ("e", "$" hex given as decimal text), "..." and `...` literals (no escapes),
// parenthesised groups, a leading "-" (textual negation) and words: a word in `words` gives
// its value, any other word its own text with type "s".
class FakeTerms : public TermReader {
 public:
  std::map<std::string, Value> words;
  int terms_read = 0;

  Value ReadTerm(const char*& p) override {
    ++terms_read;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '"') return ReadDoubleQuoted(p);
    if (*p == '`') return ReadBackQuoted(p);
    if (*p == '$' || IsDigit(*p)) return ReadNumber(p);
    if (*p == '(') {
      Deeper guard(depth_);
      std::string inside = ReadGroup(p);
      const char* q = inside.c_str();
      return Evaluate(*this, q);
    }
    if (*p == '-') {
      Deeper guard(depth_);
      ++p;
      Value next = ReadTerm(p);
      return Value{"-" + next.text, next.type_mark};
    }
    return ReadWord(p);
  }

 private:
  // Like the engine's reader, refuses runaway recursion ("-(-(-(...") instead of overflowing.
  class Deeper {
   public:
    explicit Deeper(int& depth) : depth_(depth) {
      if (++depth_ > 300) {
        --depth_;
        throw GeneralError("terms nested too deeply");
      }
    }
    ~Deeper() { --depth_; }
    Deeper(const Deeper&) = delete;
    Deeper& operator=(const Deeper&) = delete;

   private:
    int& depth_;
  };

  int depth_ = 0;

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  static bool IsDelimiter(char c) {
    return c == '\0' || c == '\xA4' ||
           std::string_view("\t\r \n!\"#%&()*+,-/:;<=>?\\^`").find(c) != std::string_view::npos;
  }

  static Value ReadDoubleQuoted(const char*& p) {
    const char* start = ++p;
    while (*p != '\0' && *p != '"') p += text::char_len(p);
    if (*p == '\0') throw GeneralError("unclosed double quote");
    std::string inside(start, p++);
    return Value{inside, "s"};
  }

  static Value ReadBackQuoted(const char*& p) {
    std::string inside;
    for (++p;;) {
      if (*p == '\0') throw GeneralError("unclosed back quote");
      if (*p == '`' && p[1] != '`') break;
      if (*p == '`') ++p;
      std::size_t len = text::char_len(p);
      inside.append(p, len);
      p += len;
    }
    ++p;
    return Value{inside, "s"};
  }

  static Value ReadNumber(const char*& p) {
    const char* start = p;
    if (*p == '$') {
      ++p;
      while (std::isxdigit(static_cast<unsigned char>(*p))) ++p;
      return Value{NumberToText(ToNumber(std::string_view(start, p - start))), "e"};
    }
    while (IsDigit(*p)) ++p;
    if (*p == '.' && IsDigit(p[1])) {
      ++p;
      while (IsDigit(*p)) ++p;
      const char* e = p;
      if (*e == 'e' || *e == 'E') {
        ++e;
        if (*e == '+' || *e == '-') ++e;
        if (IsDigit(*e)) {
          while (IsDigit(*e)) ++e;
          p = e;
        }
      }
    }
    return Value{std::string(start, p), "e"};
  }

  Value ReadWord(const char*& p) {
    const char* start = p;
    while (!IsDelimiter(*p)) p += text::char_len(p);
    std::string word(start, p);
    auto found = words.find(word);
    if (found != words.end()) return found->second;
    return Value{word, "s"};
  }
};

}  // namespace morivel::expr::testing
