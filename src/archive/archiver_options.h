// The switches of the option texts (圧縮オプション, 解凍オプション, 自己解凍書庫オプション) and the
// archiver command line they stand for.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace morivel::archive {

class ArchiverOptions {
 public:
  // Reads "-a1 -r2 ..." pieces: the last character is the value (a digit), the rest the switch;
  // unknown switches and pieces without a digit change nothing.
  void Read(std::string_view option_text);
  // The switch's value, or -1 when it was not given.
  int Get(const std::string& name) const;
  void Set(const std::string& name, int value) { values_[name] = value; }
  // The archiver command line of an operation word ("x", "u", "s"): the word, "-+", the given
  // switches in the archiver's order, the quoted archive and base folder, the files.
  std::string CommandLine(const std::string& operation, const std::string& archive,
                          std::string base_folder, const std::string& files) const;

 private:
  std::map<std::string, int> values_;
};

}  // namespace morivel::archive
