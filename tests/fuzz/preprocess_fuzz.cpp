// Fuzz target: arbitrary bytes through preprocessing, the label scan and the literal readers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "expr/literal.h"
#include "source/labels.h"
#include "source/preprocess.h"
#include "text/half_width.h"
#include "words/errors.h"
#include "words/hash.h"

namespace {

using morivel::GeneralError;
namespace source = morivel::source;
namespace expr = morivel::expr;

constexpr int kMaxReaderStarts = 64;  // keeps a long input from making the run quadratic

// The readers run from the start of each line, as the executor would call them.
void ReadLines(const std::string& program) {
  const char* text = program.c_str();
  int starts = 0;
  for (const char* line = text; *line && starts < kMaxReaderStarts; ++starts) {
    try {
      const char* p = line;
      bool parenthesised = false;
      (void)expr::ReadBlockText(p, parenthesised);
      p = line;
      (void)expr::ReadStatementValue(p);
      p = line;
      (void)expr::ReadStringToken(p);
    } catch (const GeneralError&) {
    }
    (void)source::LineNumberAt(line, 0);
    while (*line && *line != '\n') ++line;
    if (*line) ++line;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  (void)morivel::text::to_half_width(input);
  (void)morivel::text::normalize_half_width(input);
  std::string program;
  try {
    program = source::Preprocess(input);
  } catch (const source::PreprocessError& e) {
    if (e.line < 1) std::abort();
    return 0;
  }
  if (program.find('\0') != std::string::npos) std::abort();
  morivel::words::THash words;
  try {
    source::ScanLabels(program, "fuzz.mrv", words);
  } catch (const source::PreprocessError& e) {
    if (e.line < 1) std::abort();
  }
  ReadLines(program);
  return 0;
}
