// 表示: text to the main window, through the host, or to 表示出力先's file.
#include "commands/display.h"

#include <filesystem>
#include <fstream>

#include "commands/families.h"
#include "commands/file_handles.h"
#include "commands/security.h"
#include "engine/interpreter.h"
#include "text/encoding.h"
#include "text/paths.h"

namespace morivel::commands {
namespace {

std::string in_quotes(const std::string& s) {
  return "\"" + s + "\"";
}

bool ends_with_line_break(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary | std::ios::ate);
  if (!stream || stream.tellg() <= 0) return true;
  stream.seekg(-1, std::ios::end);
  char last = 0;
  stream.get(last);
  return last == '\n' || last == '\r';
}

void append_to_output_file(engine::Interpreter& in, const std::string& target,
                           const std::string& text) {
  const words::THashNode* folder = in.State().Sys.ScriptFolder;
  std::string path = text::expand_absolute_path(target, folder ? folder->GetValue() : "");
  if (CheckFileOperation(in, path, in_quotes(path) + text::sjis("へ書き込みます。"))) return;
  std::filesystem::path file = native_path(path);
  std::string line = ends_with_line_break(file) ? text : "\r\n" + text;
  line += "\r\n";
  std::ofstream out(file, std::ios::binary | std::ios::app);
  if (out) out.write(line.data(), static_cast<std::streamsize>(line.size()));
  if (!out)
    throw in.Error(text::sjis("ファイル") + in_quotes(path) +
                   text::sjis("の、読み込みか書き込みに、失敗しました。"));
}

void show(engine::Interpreter& in) {
  std::string text = in.PopArgumentValue();
  if (!ShowInOutputFile(in, text)) in.GetHost().ShowText(text);
}

}  // namespace

bool ShowInOutputFile(engine::Interpreter& in, const std::string& text) {
  static const std::string kOutputFile = text::sjis("表示出力先");
  const words::THashNode* word = in.FindWord(kOutputFile);
  if (!word || word->GetValue().empty()) return false;
  append_to_output_file(in, word->GetValue(), text);
  return true;
}

void register_display(HandlerTable& table) {
  table.Set(0, show);
}

}  // namespace morivel::commands
