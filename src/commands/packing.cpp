// Commands: packed-file archives, enciphered files and stand-alone executables.
#include "commands/packing.h"

#include <filesystem>
#include <string>
#include <vector>

#include "commands/families.h"
#include "commands/security.h"
#include "engine/interpreter.h"
#include "startup/archive.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::commands {

namespace fs = std::filesystem;
using engine::Interpreter;
using startup::NativePath;

namespace {

// Key of 暗号化して保存 and 暗号解除して読込: 29 bytes, 6 double-byte characters and 17 ASCII ones.
const std::string& file_key() {
  static const std::string key = text::sjis("M0r1v3L#冬の星&k3y_7夜空鍵*Q!");
  return key;
}

std::string temp_folder_text() {
  std::string folder = fs::temp_directory_path().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return text::from_utf8(folder);
}

std::string quoted(const std::string& s) {
  return "\"" + s + "\"";
}

engine::EMorv read_write_error(Interpreter& in, const std::string& name) {
  return in.Error(text::sjis("ファイル") + quoted(name) +
                  text::sjis("の、読み込みか書き込みに、失敗しました。"));
}

std::vector<std::string> split_lines(const std::string& s) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < s.size()) {
    std::size_t end = s.find_first_of("\r\n", start);
    if (end == std::string::npos) end = s.size();
    lines.push_back(s.substr(start, end - start));
    if (end < s.size() && s[end] == '\r' && end + 1 < s.size() && s[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return lines;
}

// What follows the last "\", "/" or ":" of a path (never cut at a trail byte).
std::string file_name_of(const std::string& path) {
  std::size_t after = 0;
  for (std::size_t i = 0; i < path.size();) {
    std::size_t len = text::char_len(path, i);
    if (len == 1 && (path[i] == '\\' || path[i] == '/' || path[i] == ':')) after = i + 1;
    i += len;
  }
  return path.substr(after);
}

std::string script_folder(Interpreter& in) {
  const words::THashNode* folder = in.State().Sys.ScriptFolder;
  return folder ? folder->GetValue() : std::string();
}

// A file to read: a packed copy, the path as given, or the path inside the script's folder.
std::string resolve_existing_file(Interpreter& in, const std::string& path) {
  std::string packed = ResolvePackedFile(in, path);
  if (!packed.empty()) return packed;
  std::error_code ec;
  if (fs::is_regular_file(NativePath(path), ec)) return path;
  if (!NativePath(path).is_absolute()) {
    std::string beside = script_folder(in) + path;
    if (fs::is_regular_file(NativePath(beside), ec)) return beside;
  }
  return {};
}

std::string with_length_prefix(const std::string& text) {
  std::string out(4, '\0');
  auto n = static_cast<std::uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
  return out + text;
}

// ---- enciphered files -------------------------------------------------------------------------

void save_enciphered(Interpreter& in) {
  const std::string file = in.PopArgumentValue();
  const std::string text = in.PopArgumentValue();
  if (CheckFileOperation(in, file, quoted(file) + text::sjis("へ保存しますか？"))) return;
  if (text.size() > 0xFFFFFFFFull)
    throw in.Error(quoted(in.CurrentCommandName()) + text::sjis("で、暗号化に失敗"));
  startup::TCipher cipher(with_length_prefix(text));
  cipher.Scramble(file_key());
  if (!startup::WriteWholeFile(NativePath(file), cipher.Data)) throw read_write_error(in, file);
}

void load_deciphered(Interpreter& in) {
  const std::string file = in.PopArgumentValue();
  words::THashNode* target = in.PopArgumentVariable(true);
  std::string path = resolve_existing_file(in, file);
  std::optional<std::string> bytes = startup::ReadWholeFile(NativePath(path.empty() ? file : path));
  if (!bytes || bytes->size() < 4) throw read_write_error(in, file);
  startup::TCipher cipher(std::move(*bytes));
  cipher.Scramble(file_key());
  const std::string& data = cipher.Data;
  std::uint64_t length = 0;
  for (int i = 3; i >= 0; --i) length = (length << 8) | static_cast<unsigned char>(data[i]);
  if (length > data.size() - 4) throw read_write_error(in, file);
  std::string text = data.substr(4, static_cast<std::size_t>(length));
  if (in.ImplicitSore() || target == in.State().Sys.Sore) {
    in.SetResult(std::move(text), "s");
    return;
  }
  target->SetValue(std::move(text));
  target->TypeMark = "s";
}

// ---- joined files -----------------------------------------------------------------------------

// The list lines as the writer wants them: "," counts as "="; a list without any "=" stores each
// file under its own name, unscrambled.
std::vector<std::string> joined_file_lines(const std::string& list) {
  std::string normalised;
  for (std::size_t i = 0; i < list.size();) {
    std::size_t len = text::char_len(list, i);
    normalised += (len == 1 && list[i] == ',') ? std::string("=") : list.substr(i, len);
    i += len;
  }
  bool named = normalised.find('=') != std::string::npos;
  std::vector<std::string> lines;
  for (const std::string& line : split_lines(normalised)) {
    if (line.empty()) continue;
    lines.push_back(named ? line : line + "=" + file_name_of(line) + "=0");
  }
  return lines;
}

void join_files(Interpreter& in) {
  const std::string target = text::trim(in.PopArgumentValue());
  const std::string list = in.PopArgumentValue();
  if (CheckFileOperation(in, target, quoted(target) + text::sjis("へ保存します。"))) return;
  startup::TFileMixWriter writer;
  writer.Lines = joined_file_lines(list);
  if (!writer.SaveToFile(NativePath(target))) throw read_write_error(in, target);
}

void take_joined_file(Interpreter& in) {
  const std::string name = in.PopArgumentValue();
  const std::string file = text::trim(in.PopArgumentValue());
  std::string path = resolve_existing_file(in, file);
  startup::TFileMixReader reader(NativePath(path.empty() ? file : path));
  std::optional<std::string> data = reader.Extract(name);
  if (!data) throw in.Error(text::sjis("ファイル") + quoted(name) + text::sjis("が、ありません。"));
  in.SetResult(std::move(*data), "s");
}

// ---- stand-alone executables ------------------------------------------------------------------

fs::path running_program() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
}

// Packs the script and the listed files and appends them to a copy of the running program.
void make_executable(Interpreter& in) {
  const std::string output = text::trim(in.PopArgumentValue());
  const std::string embed = in.PopArgumentValue();
  const std::string source = text::trim(in.PopArgumentValue());
  std::string script = resolve_existing_file(in, source);
  if (script.empty())
    throw in.Error(text::sjis("ファイル") + quoted(source) + text::sjis("がありません。"));

  startup::TFileMixWriter writer;
  writer.AddFile(script, "morivel.mrv", 1);
  for (const std::string& line : split_lines(embed)) {
    if (line.empty()) continue;
    if (line.find('=') != std::string::npos) {
      writer.Lines.push_back(line);
      continue;
    }
    std::string file = resolve_existing_file(in, line);
    writer.AddFile(file.empty() ? line : file, file_name_of(line), 1);
  }
  fs::path archive = fs::temp_directory_path() / "morv_exe_file_resource.dat";
  bool made = writer.SaveToFile(archive) &&
              startup::MakeArchiveExecutable(NativePath(output), running_program(), archive);
  std::error_code ec;
  fs::remove(archive, ec);
  if (!made) throw read_write_error(in, output);
}

}  // namespace

std::string ResolvePackedFile(Interpreter& in, const std::string& name) {
  const std::shared_ptr<startup::TFileMixReader>& archive = in.State().ResourceArchive;
  if (!archive || name.empty() || !archive->Contains(name)) return {};
  std::string path = temp_folder_text() + startup::PackedCopyName(name);
  std::error_code ec;
  if (fs::exists(NativePath(path), ec)) return path;
  if (!archive->ExtractToFile(name, NativePath(path)))
    throw in.Error(text::sjis("実行ファイルに梱包されている") + quoted(name) +
                   text::sjis("の展開に失敗しました。"));
  in.State().AddTemporaryFile(NativePath(path));
  return path;
}

void register_packing(HandlerTable& table) {
  table.Set(90, save_enciphered);
  table.Set(91, load_deciphered);
  table.Set(206, join_files);
  table.Set(207, take_joined_file);
  table.Set(520, make_executable);
  table.Set(521, make_executable);
}

}  // namespace morivel::commands
