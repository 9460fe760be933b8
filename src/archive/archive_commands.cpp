// Commands: 圧縮, 解凍 and 自己解凍書庫作成.
#include <fnmatch.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive_io.h"
#include "archive/archiver_options.h"
#include "archive/commands.h"
#include "commands/file_handles.h"
#include "commands/packing.h"
#include "commands/security.h"
#include "engine/interpreter.h"
#include "startup/archive.h"
#include "text/encoding.h"
#include "text/paths.h"
#include "text/sjis.h"

namespace morivel::archive {
namespace {

namespace fs = std::filesystem;
using engine::Interpreter;

// The name under which a self-extracting program carries its archive.
constexpr const char* kSfxArchiveName = "MVSFX.LZH";
constexpr int kMaxFolderDepth = 256;

std::string in_quotes(const std::string& s) {
  return "\"" + s + "\"";
}

std::string option_text(Interpreter& in, const char* utf8_name) {
  const words::THashNode* word = in.FindWord(text::sjis(utf8_name));
  return word ? word->GetValue() : std::string();
}

std::string with_default_extension(std::string path) {
  if (text::extract_extension(path).empty()) path += ".lzh";
  return path;
}

bool is_absolute_name(const std::string& name) {
  return name.find(':') != std::string::npos ||
         (!name.empty() && text::is_path_separator_at(name, 0));
}

std::string script_folder(Interpreter& in) {
  const words::THashNode* folder = in.State().Sys.ScriptFolder;
  return folder ? folder->GetValue() : std::string();
}

// An archive to read: a packed copy, the path as given, or the path inside the script's folder.
fs::path readable_archive(Interpreter& in, const std::string& name) {
  std::string packed = commands::ResolvePackedFile(in, name);
  if (!packed.empty()) return commands::native_path(packed);
  std::error_code ec;
  fs::path given = commands::native_path(name);
  if (fs::exists(given, ec) || is_absolute_name(name)) return given;
  fs::path beside = commands::native_path(script_folder(in) + name);
  return fs::exists(beside, ec) ? beside : given;
}

void check_known_format(Format format) {
  if (format == Format::Yz1 || format == Format::Gca || format == Format::Bel)
    throw ArchiveError(text::sjis("書庫の形式を特定できませんでした。"));
}

// ---- 圧縮 -------------------------------------------------------------------------------------

// What the list's lines name on disk and under which names they are stored.
class PackList {
 public:
  PackList(const ArchiverOptions& options, fs::path archive)
      : recursive_(options.Get("r") != 0), archive_(std::move(archive)) {}

  void AddLine(const std::string& base, const std::string& line) {
    std::string source = line.compare(0, base.size(), base) == 0 ? line : base + line;
    std::string stored = stored_name(line);
    std::string file_part = text::extract_file_name(source);
    if (text::has_wildcard(file_part))
      return AddMatches(text::extract_path(source), file_part, text::extract_path(stored));
    AddPath(commands::native_path(source), stored);
  }

  const std::vector<PackItem>& Items() const { return items_; }

 private:
  // A line as it is stored: "/" separators, no drive and no leading root.
  static std::string stored_name(const std::string& line) {
    std::string name = text::to_slash_separators(line);
    std::size_t colon = name.find(':');
    if (colon != std::string::npos) name.erase(0, colon + 1);
    while (!name.empty() && name.front() == '/') name.erase(0, 1);
    return name;
  }

  void AddMatches(const std::string& folder, const std::string& mask, const std::string& prefix) {
    fs::path dir = commands::native_path(folder.empty() ? "." : folder);
    std::string pattern = text::to_utf8(mask);
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
      std::string disk_name = e.path().filename().string();
      if (::fnmatch(pattern.c_str(), disk_name.c_str(), FNM_CASEFOLD) != 0) continue;
      AddPath(e.path(), prefix + commands::script_name_of(disk_name));
    }
  }

  void AddPath(const fs::path& source, const std::string& stored, int depth = 0) {
    std::error_code ec;
    fs::file_status st = fs::symlink_status(source, ec);
    if (ec || !fs::exists(st))
      throw ArchiveError(text::sjis("ファイルがありません: ") + commands::script_path_of(source));
    if (fs::is_symlink(st)) st = fs::status(source, ec);
    if (fs::equivalent(source, archive_, ec)) return;
    if (!fs::is_directory(st)) {
      items_.push_back({source, stored, false});
      return;
    }
    if (!stored.empty()) items_.push_back({source, stored, true});
    if (!recursive_ || depth >= kMaxFolderDepth) return;
    std::string prefix = stored.empty() || stored.back() == '/' ? stored : stored + "/";
    for (const fs::directory_entry& e : fs::directory_iterator(source, ec)) {
      if (e.is_symlink(ec)) continue;  // links are not followed out of the packed tree
      AddPath(e.path(), prefix + commands::script_name_of(e.path().filename().string()), depth + 1);
    }
  }

  bool recursive_;
  fs::path archive_;
  std::vector<PackItem> items_;
};

std::vector<std::string> list_lines(const std::string& list) {
  std::vector<std::string> lines;
  const std::string trimmed_list = text::trim(list);
  for (std::string_view line : text::split_lines(trimmed_list)) {
    std::string trimmed = text::trim(line);
    if (!trimmed.empty()) lines.push_back(trimmed);
  }
  return lines;
}

// The folder part of the longest line; a later line wins only when strictly longer.
std::string base_folder_of(const std::vector<std::string>& lines) {
  std::string longest;
  for (const std::string& line : lines)
    if (line.size() > longest.size()) longest = line;
  return text::extract_path(longest);
}

// Packs `list` into `archive_name`; false when the security policy refused.
bool compress(Interpreter& in, const std::string& list, std::string archive_name) {
  archive_name = with_default_extension(text::trim(archive_name));
  if (commands::CheckFileOperation(in, archive_name,
                                   in_quotes(archive_name) + text::sjis("へ圧縮します。")))
    return false;
  const std::string option_value = option_text(in, "圧縮オプション");
  std::string command_line;
  try {
    fs::path archive_path = commands::native_path(archive_name);
    std::error_code ec;
    fs::remove(archive_path, ec);
    std::vector<std::string> lines = list_lines(list);
    std::string base = base_folder_of(lines);
    std::string files;
    for (std::string& line : lines) {
      if (!base.empty() && line.compare(0, base.size(), base) == 0) line.erase(0, base.size());
      files += (files.empty() ? "" : " ") + in_quotes(line);
    }
    ArchiverOptions options;
    options.Read(option_value);
    options.Set("x", 1);
    options.Set("jso", 1);
    command_line = options.CommandLine("u", archive_name, base, files);
    Format format = format_from_name(archive_name);
    check_known_format(format);
    if (format == Format::None) throw ArchiveError(text::sjis("書庫の形式を判別できません。"));
    PackList items(options, archive_path);
    for (const std::string& line : lines) items.AddLine(base, line);
    pack(archive_path, format, items.Items());
  } catch (const std::exception& e) {
    throw in.Error(text::sjis("ファイル圧縮のエラー。コマンドライン=") + in_quotes(command_line) +
                   text::sjis("。オプション=") + in_quotes(option_value) + text::sjis("。") +
                   e.what());
  }
  return true;
}

void compress_command(Interpreter& in) {
  std::string archive_name = in.PopArgumentValue();
  std::string list = in.PopArgumentValue();
  compress(in, list, archive_name);
}

// ---- 解凍 -------------------------------------------------------------------------------------

std::string refused_message(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + in_quotes(name);
  return text::sjis("解凍先の外を指す名前やリンクの項目は書き出していません: ") + joined;
}

void extract_command(Interpreter& in) {
  std::string target = text::trim(in.PopArgumentValue());
  std::string archive_name = with_default_extension(text::trim(in.PopArgumentValue()));
  if (commands::CheckFileOperation(in, target, in_quotes(target) + text::sjis("へ解凍します。")))
    return;
  const std::string option_value = option_text(in, "解凍オプション");
  try {
    Format format = format_from_name(archive_name);
    check_known_format(format);
    if (format == Format::Arj || format == Format::Bga)
      throw ArchiveError(format_description(format) + text::sjis(" を扱うには ") +
                         format_component(format) + text::sjis(" が 必要です。"));
    ArchiverOptions options;
    options.Read(option_value);
    ExtractOptions how;
    how.keep_paths = options.Get("x") != 0;
    how.always_overwrite = options.Get("c") == 1;
    ExtractReport report =
        extract(readable_archive(in, archive_name), commands::native_path(target), how);
    if (!report.refused.empty()) throw ArchiveError(refused_message(report.refused));
  } catch (const std::exception& e) {
    throw in.Error(text::sjis("解凍のエラー。解凍先") + in_quotes(target) + text::sjis("、解凍元") +
                   in_quotes(archive_name) + text::sjis("。オプション=") + in_quotes(option_value) +
                   text::sjis("。") + e.what());
  }
}

// ---- 自己解凍書庫作成
// -----------------------------------------------------------------------------

// The script a self-extracting program runs: asks for a folder, extracts its archive there.
std::string sfx_script() {
  return text::sjis(
      "フォルダ選択\r\n"
      "解凍先＝それ\r\n"
      "もし、解凍先＝「」ならば、終わる\r\n"
      "「" +
      std::string(kSfxArchiveName) +
      "」を解凍先へ解凍\r\n"
      "「{解凍先}へ解凍しました。」と言う\r\n"
      "終わる\r\n");
}

std::string temp_folder_text() {
  std::string folder = commands::script_path_of(fs::temp_directory_path());
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// "mvpack" + the smallest free number + ".lzh" in the temporary folder.
std::string temporary_archive_name() {
  std::string folder = temp_folder_text();
  std::error_code ec;
  for (int n = 1;; ++n) {
    std::string name = folder + "mvpack" + std::to_string(n);
    if (!fs::exists(commands::native_path(name), ec) &&
        !fs::exists(commands::native_path(name + ".lzh"), ec))
      return name + ".lzh";
  }
}

class RemovedAtEnd {
 public:
  explicit RemovedAtEnd(fs::path path) : path_(std::move(path)) {}
  ~RemovedAtEnd() {
    std::error_code ec;
    if (!path_.empty()) fs::remove(path_, ec);
  }
  RemovedAtEnd(const RemovedAtEnd&) = delete;
  RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;

 private:
  fs::path path_;
};

fs::path running_program() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
}

void write_sfx(Interpreter& in, const fs::path& archive, const std::string& output) {
  fs::path script = fs::temp_directory_path() / "morv_sfx_script.mrv";
  fs::path packed = fs::temp_directory_path() / "morv_sfx_resource.dat";
  RemovedAtEnd drop_script(script), drop_packed(packed);
  if (!startup::WriteWholeFile(script, sfx_script()))
    throw in.Error(text::sjis("自己解凍書庫を作れません。"));
  startup::TFileMixWriter writer;
  writer.AddFile(commands::script_path_of(script), "morivel.mrv", 1);
  writer.AddFile(commands::script_path_of(archive), kSfxArchiveName, 0);
  if (!writer.SaveToFile(packed) ||
      !startup::MakeArchiveExecutable(commands::native_path(output), running_program(), packed))
    throw in.Error(text::sjis("ファイル") + in_quotes(output) +
                   text::sjis("の、読み込みか書き込みに、失敗しました。"));
}

void make_sfx(Interpreter& in) {
  std::string output = text::trim(in.PopArgumentValue());
  std::string source = in.PopArgumentValue();
  if (commands::CheckFileOperation(in, output,
                                   in_quotes(output) + text::sjis("へ自己解凍書庫を作成します。")))
    return;
  std::error_code ec;
  fs::remove(commands::native_path(output), ec);
  std::string extension = text::extract_extension(text::trim(source));
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (extension == ".LZH") {
    fs::path archive = readable_archive(in, text::trim(source));
    if (!fs::is_regular_file(archive, ec))
      throw in.Error(text::sjis("ファイル") + in_quotes(text::trim(source)) +
                     text::sjis("が、ありません。"));
    return write_sfx(in, archive, output);
  }
  std::string temporary = temporary_archive_name();
  RemovedAtEnd drop(commands::native_path(temporary));
  if (!compress(in, source, temporary)) return;
  write_sfx(in, commands::native_path(temporary), output);
}

}  // namespace

void register_archive_commands(commands::HandlerTable& table) {
  table.Set(135, compress_command);
  table.Set(136, extract_command);
  table.Set(137, make_sfx);
}

}  // namespace morivel::archive
