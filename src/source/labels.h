// Label registration: finds "*name" lines in a preprocessed text and adds them as label words.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "words/hash.h"

namespace morivel::source {

// What a label word refers to: where its body starts and the script file it belongs to.
struct LabelInfo : words::WordObject {
  LabelInfo(const char* body, std::string file, int body_line = 1)
      : position(body), file_name(std::move(file)), line(body_line) {}

  // Points into the preprocessed text the label was found in, which must outlive the word.
  const char* position;
  std::string file_name;
  int line;  // the script line the body starts on
};

// Adds a label word (kind kLabel, reserved, Extra = argument template) for every line of
// `preprocessed` that starts with "*" (after blanks). A label named like an existing word throws
// PreprocessError for the line after the label line; so does a string literal that the scan
// cannot close.
void ScanLabels(const std::string& preprocessed, std::string_view file_name, words::THash& words);

}  // namespace morivel::source
