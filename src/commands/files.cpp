// Commands: whole files, copying, moving and deleting, folders, attributes, listings, path texts
// and file handles.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "commands/families.h"
#include "commands/file_handles.h"
#include "commands/packing.h"
#include "commands/security.h"
#include "engine/interpreter.h"
#include "engine/parts.h"
#include "expr/number.h"
#include "startup/archive.h"
#include "text/encoding.h"
#include "text/paths.h"
#include "text/sjis.h"
#include "text/wildcard.h"
#include "words/errors.h"
#include "words/hash.h"

namespace morivel::commands {
namespace {

namespace fs = std::filesystem;
using engine::Interpreter;

const std::string kCrLf = "\r\n";
// Deeper trees than this are not walked: a listing that deep is a loop or an accident.
constexpr int kMaxFolderDepth = 256;
// Byte counts of the handle commands above this are refused.
constexpr std::int64_t kMaxByteCount = std::int64_t{64} << 20;

// ---- results and messages -----------------------------------------------------------------------

void set_text(Interpreter& in, std::string value) {
  in.SetResult(std::move(value), "s");
}
void set_flag(Interpreter& in, bool yes) {
  in.SetResult(yes ? "1" : "0", "e");
}

std::string in_quotes(const std::string& s) {
  return "\"" + s + "\"";
}

engine::EMorv read_write_failure(Interpreter& in, const std::string& path) {
  return in.Error(text::sjis("ファイル") + in_quotes(path) +
                  text::sjis("の、読み込みか書き込みに、失敗しました。"));
}

engine::EMorv missing_file(Interpreter& in, const std::string& name) {
  return in.Error(text::sjis("ファイル") + in_quotes(name) + text::sjis("が、ありません。"));
}

bool refused(Interpreter& in, const std::string& target, const std::string& message) {
  return CheckFileOperation(in, target, message);
}

// ---- places -------------------------------------------------------------------------------------

std::string with_separator(std::string path) {
  if (!text::ends_with_separator(path)) path += '/';
  return path;
}

std::string current_folder() {
  std::error_code ec;
  return with_separator(script_path_of(fs::current_path(ec)));
}

std::string script_folder(Interpreter& in) {
  const words::THashNode* folder = in.State().Sys.ScriptFolder;
  return folder ? folder->GetValue() : std::string();
}

std::string runtime_folder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : with_separator(script_path_of(exe.parent_path()));
}

bool is_absolute_name(const std::string& name) {
  return name.find(':') != std::string::npos ||
         (!name.empty() && (name[0] == '/' || name[0] == '\\'));
}

bool exists(const std::string& sjis_path) {
  std::error_code ec;
  return fs::exists(fs::status(native_path(sjis_path), ec));
}

bool is_folder(const std::string& sjis_path) {
  std::error_code ec;
  return fs::is_directory(native_path(sjis_path), ec);
}

// Files packed with the program come before the read path.
std::string packed_file_path(Interpreter& in, const std::string& name) {
  return ResolvePackedFile(in, name);
}

// The first existing file among the places a script's data files may be in.
std::string resolve_read_path(Interpreter& in, const std::string& name) {
  if (is_absolute_name(name)) return name;
  const std::vector<std::string> candidates = {
      current_folder() + name,
      script_folder(in) + name,
      runtime_folder() + name,
      special_folder_path(text::sjis("WINDOWSのパス")) + name,
      special_folder_path(text::sjis("SYSTEMのパス")) + name,
      text::extract_path(in.State().ScriptFileName) + name,
  };
  for (const std::string& candidate : candidates)
    if (!candidate.empty() && candidate != name && exists(candidate)) return candidate;
  return name;
}

std::string resolve_with_packed(Interpreter& in, const std::string& name) {
  std::string packed = packed_file_path(in, name);
  return packed.empty() ? resolve_read_path(in, name) : packed;
}

// Names without a drive or root are meant inside the script folder.
std::string inside_script_folder(Interpreter& in, const std::string& name) {
  return is_absolute_name(name) ? name : script_folder(in) + name;
}

// ---- whole files
// ----------------------------------------------------------------------------------

// Only regular files are read whole: a folder has no content and a device such as /dev/zero
// never ends.
std::optional<std::string> read_file(const std::string& sjis_path) {
  std::error_code ec;
  if (!fs::is_regular_file(native_path(sjis_path), ec)) return std::nullopt;
  std::ifstream file(native_path(sjis_path), std::ios::binary);
  if (!file) return std::nullopt;
  std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return data;
}

bool write_file(const std::string& sjis_path, const std::string& data, bool append) {
  if (!append) return startup::WriteWholeFile(native_path(sjis_path), data);
  std::ofstream file(native_path(sjis_path),
                     std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  if (!file) return false;
  file.write(data.data(), static_cast<std::streamsize>(data.size()));
  file.close();
  return !file.fail();
}

const std::string& clipboard_word() {
  static const std::string kWord = text::sjis("クリップボード");
  return kWord;
}

// A host without a clipboard (no window system at all) cannot lend it as a file.
engine::EMorv clipboard_refused(Interpreter& in) {
  return in.Error(in_quotes(in.CurrentCommandName()) +
                  text::sjis("では、クリップボードをファイルとして扱えません。"));
}

std::string clipboard_text_or_fail(Interpreter& in) {
  std::optional<std::string> text = in.GetHost().ClipboardText();
  if (!text) throw clipboard_refused(in);
  return *text;
}

void set_clipboard_or_fail(Interpreter& in, const std::string& text) {
  if (!in.GetHost().SetClipboardText(text)) throw clipboard_refused(in);
}

// A file argument: the raw text is checked for the bare word クリップボード, then evaluated.
std::string pop_file_argument(Interpreter& in, bool& is_clipboard) {
  std::string raw = in.PopArgumentText();
  is_clipboard = text::trim(raw) == clipboard_word();
  return is_clipboard ? std::string() : in.EvalArgument(raw);
}

void read_whole_file(Interpreter& in) {
  bool clipboard = false;
  std::string name = pop_file_argument(in, clipboard);
  words::THashNode* target = in.PopArgumentVariable(true);
  std::optional<std::string> data;
  if (clipboard) {
    data = clipboard_text_or_fail(in);
  } else {
    std::string path = resolve_with_packed(in, name);
    data = read_file(path);
    if (!data) throw read_write_failure(in, path);
  }
  target->SetValue(*data);
  target->TypeMark = "s";
  // A part named as the target shows the text as well, as if the script had assigned it.
  if (target->Kind == words::kPart)
    if (engine::PartAccess* parts = in.GetHost().Parts()) parts->WriteMainValue(in, *target, *data);
}

void write_whole_file(Interpreter& in) {
  bool clipboard = false;
  std::string name = pop_file_argument(in, clipboard);
  std::string data = in.PopArgumentValue();
  if (clipboard) {
    set_clipboard_or_fail(in, data);
    return;
  }
  if (refused(in, name, in_quotes(name) + text::sjis("へ書き込みます。"))) return;
  if (!write_file(name, data, false)) throw read_write_failure(in, name);
}

void append_to_file(Interpreter& in) {
  bool clipboard = false;
  std::string name = pop_file_argument(in, clipboard);
  std::string data = in.PopArgumentValue();
  if (clipboard) {
    set_clipboard_or_fail(in, clipboard_text_or_fail(in) + data);
    return;
  }
  std::string path = resolve_read_path(in, name);
  if (refused(in, path,
              text::sjis("ファイル") + in_quotes(path) + text::sjis("へ文字列を追加します。")))
    return;
  if (!exists(path)) throw missing_file(in, path);
  if (!write_file(path, data, true)) throw read_write_failure(in, path);
}

// ---- entries and matching
// ------------------------------------------------------------------------

struct Entry {
  std::string name;  // as the script sees it
  bool folder = false;
  bool walkable = false;  // a real folder (not a link to one) whose name does not start with "."
};

// The entries of a folder, sorted by name so that listings do not depend on the file system's
// own order. A folder that cannot be read, or entries that vanish meanwhile, just give less.
std::vector<Entry> read_folder(const std::string& sjis_folder) {
  std::vector<Entry> entries;
  std::error_code ec;
  std::string folder = sjis_folder.empty() ? std::string("./") : sjis_folder;
  fs::directory_iterator it(native_path(folder), ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code entry_ec;
    Entry entry;
    entry.name = script_name_of(it->path().filename().native());
    entry.folder = it->is_directory(entry_ec) && !entry_ec;
    bool link = it->is_symlink(entry_ec);
    entry.walkable = entry.folder && !link && entry.name[0] != '.';
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return entries;
}

bool mask_matches(const std::string& name, const std::string& mask) {
  // "*.*" means every name, also those without a dot.
  if (mask == "*.*") return true;
  return text::easy_match_no_case(name, mask);
}

struct Pattern {
  std::string folder;  // "" or ending in "/"
  std::string mask;
};

Pattern split_pattern(const std::string& pattern) {
  std::string p = text::to_slash_separators(text::trim(pattern));
  if (p.empty() || text::ends_with_separator(p)) p += '*';
  std::size_t slash = p.rfind('/');
  if (slash == std::string::npos) return {"", p};
  return {p.substr(0, slash + 1), p.substr(slash + 1)};
}

std::vector<std::string> split_patterns(const std::string& text_value) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t semi; (semi = text_value.find(';', start)) != std::string::npos;
       start = semi + 1)
    out.push_back(text_value.substr(start, semi - start));
  out.push_back(text_value.substr(start));
  out.erase(std::remove_if(out.begin(), out.end(),
                           [](const std::string& p) { return text::trim(p).empty(); }),
            out.end());
  return out;
}

// The first entry that the (possibly wildcard) path names.
std::optional<std::string> first_match(const std::string& sjis_path) {
  std::string path = text::trim(sjis_path);
  if (!text::has_wildcard(path))
    return exists(path) ? std::optional<std::string>(path) : std::nullopt;
  Pattern pattern = split_pattern(path);
  for (const Entry& entry : read_folder(pattern.folder))
    if (mask_matches(entry.name, pattern.mask)) return pattern.folder + entry.name;
  return std::nullopt;
}

std::vector<std::string> all_matches(const std::string& sjis_path) {
  std::vector<std::string> out;
  Pattern pattern = split_pattern(sjis_path);
  for (const Entry& entry : read_folder(pattern.folder))
    if (mask_matches(entry.name, pattern.mask)) out.push_back(pattern.folder + entry.name);
  return out;
}

// ---- listings
// -------------------------------------------------------------------------------------

bool counts_as_folder(const Entry& entry) {
  return entry.folder && entry.name[0] != '.';
}

void list_entries(Interpreter& in, bool folders) {
  std::string patterns = in.PopArgumentValue();
  if (text::trim(patterns).empty()) return;
  std::string out;
  for (const std::string& pattern_text : split_patterns(patterns)) {
    Pattern pattern = split_pattern(pattern_text);
    for (const Entry& entry : read_folder(pattern.folder))
      if (counts_as_folder(entry) == folders && mask_matches(entry.name, pattern.mask))
        out += entry.name + kCrLf;
  }
  set_text(in, std::move(out));
}

void list_files(Interpreter& in) {
  list_entries(in, false);
}
void list_folders(Interpreter& in) {
  list_entries(in, true);
}

void walk(const std::string& folder, const std::string& mask, bool folders, int depth,
          std::string& out) {
  if (depth > kMaxFolderDepth) return;
  std::vector<Entry> entries = read_folder(folder);
  for (const Entry& entry : entries)
    if (counts_as_folder(entry) == folders && mask_matches(entry.name, mask))
      out += folder + entry.name + kCrLf;
  for (const Entry& entry : entries)
    if (entry.walkable) walk(folder + entry.name + "/", mask, folders, depth + 1, out);
}

void list_all_entries(Interpreter& in, bool folders) {
  std::string patterns = in.PopArgumentValue();
  if (text::trim(patterns).empty()) return;
  std::string out;
  for (const std::string& pattern_text : split_patterns(patterns)) {
    Pattern pattern = split_pattern(pattern_text);
    std::string folder = pattern.folder.empty() ? current_folder() : pattern.folder;
    walk(folder, pattern.mask, folders, 0, out);
  }
  set_text(in, std::move(out));
}

void list_all_files(Interpreter& in) {
  list_all_entries(in, false);
}
void list_all_folders(Interpreter& in) {
  list_all_entries(in, true);
}

// ---- tests
// ----------------------------------------------------------------------------------------

void is_folder_command(Interpreter& in) {
  set_flag(in, is_folder(text::trim(in.PopArgumentValue())));
}

void is_file_command(Interpreter& in) {
  std::string path = text::trim(in.PopArgumentValue());
  set_flag(in, exists(path) && !is_folder(path));
}

// A path ending in a separator is asked about as a folder, any other only as a file.
void exists_command(Interpreter& in) {
  std::string path = in.PopArgumentValue();
  if (text::ends_with_separator(path)) {
    set_flag(in, is_folder(path));
  } else {
    set_flag(in, exists(path) && !is_folder(path));
  }
}

// ---- shell operations
// -------------------------------------------------------------------------------

std::string percent_encoded(const std::string& utf8) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : utf8) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string local_time_text(std::time_t t, const char* format) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buffer[64];
  std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
  return std::string(buffer, n);
}

fs::path trash_folder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data) return fs::path(data) / "Trash";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".local/share/Trash";
}

// Moves a file or a folder, also across file systems.
bool move_entry(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return true;
  if (ec != std::errc::cross_device_link) return false;
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  if (ec) {
    fs::remove_all(to, ec);
    return false;
  }
  return fs::remove_all(from, ec) != static_cast<std::uintmax_t>(-1) && !ec;
}

// Reserves a name in the trash by creating its .trashinfo exclusively; returns the name.
std::optional<std::string> reserve_trash_name(const fs::path& info, const std::string& base,
                                              const std::string& info_text) {
  for (int n = 1; n < 10000; ++n) {
    std::string name = n == 1 ? base : base + "." + std::to_string(n);
    fs::path file = info / (name + ".trashinfo");
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return std::nullopt;
    }
    bool ok =
        ::write(fd, info_text.data(), info_text.size()) == static_cast<ssize_t>(info_text.size());
    ::close(fd);
    if (!ok) return std::nullopt;
    return name;
  }
  return std::nullopt;
}

// The freedesktop trash: the entry goes to Trash/files, with a .trashinfo that records where it
// came from and when.
bool move_to_trash(const fs::path& target) {
  std::error_code ec;
  fs::path absolute = fs::absolute(target, ec).lexically_normal();
  if (ec || !fs::exists(fs::symlink_status(absolute, ec))) return false;
  fs::path trash = trash_folder();
  fs::create_directories(trash / "files", ec);
  fs::create_directories(trash / "info", ec);
  std::string info_text =
      "[Trash Info]\nPath=" + percent_encoded(absolute.native()) +
      "\nDeletionDate=" + local_time_text(std::time(nullptr), "%Y-%m-%dT%H:%M:%S") + "\n";
  std::optional<std::string> name =
      reserve_trash_name(trash / "info", absolute.filename().native(), info_text);
  if (!name) return false;
  if (move_entry(absolute, trash / "files" / *name)) return true;
  fs::remove(trash / "info" / (*name + ".trashinfo"), ec);
  return false;
}

void delete_to_trash(Interpreter& in) {
  std::string path = inside_script_folder(in, text::trim(in.PopArgumentValue()));
  if (refused(in, path, text::sjis("ファイル") + in_quotes(path) + text::sjis("を、削除します。")))
    return;
  if (text::has_wildcard(path)) {
    for (const std::string& match : all_matches(path)) move_to_trash(native_path(match));
  } else {
    move_to_trash(native_path(path));
  }
}

void delete_completely(Interpreter& in) {
  std::string path = inside_script_folder(in, resolve_read_path(in, in.PopArgumentValue()));
  if (refused(in, path,
              text::sjis("ファイル") + in_quotes(path) + text::sjis("を、完全に削除します。")))
    return;
  fs::path native = native_path(path);
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(native, ec))) fs::remove(native, ec);
}

void rename_file(Interpreter& in) {
  std::string to = in.PopArgumentValue();
  std::string from = in.PopArgumentValue();
  std::string message = text::sjis("ファイル名") + in_quotes(from) + text::sjis("を、\r\n") +
                        in_quotes(to) + text::sjis("に、改名します。");
  if (refused(in, to, message)) return;
  std::error_code ec;
  fs::rename(native_path(from), native_path(to), ec);
  if (ec) {
    throw in.Error(text::sjis("ファイル") + in_quotes(from) +
                   text::sjis("の、読み込みか書き込みに、失敗しました。ファイル名の変更"));
  }
}

// Where an entry goes when copied or moved to `destination`: into it when it is a folder (or
// written as one), else to that very name. Missing folders on the way are made.
fs::path place_in(const fs::path& source, const std::string& destination, bool into_folder) {
  fs::path dest = native_path(destination);
  std::error_code ec;
  if (into_folder || text::ends_with_separator(destination) || fs::is_directory(dest, ec)) {
    fs::create_directories(dest, ec);
    return dest / source.filename();
  }
  if (dest.has_parent_path()) fs::create_directories(dest.parent_path(), ec);
  return dest;
}

// True when `inner` lies inside the folder `outer`: copying a folder into itself never ends.
bool lies_inside(const fs::path& inner, const fs::path& outer) {
  std::error_code ec;
  std::string a = fs::weakly_canonical(fs::absolute(inner, ec), ec).native();
  std::string b = fs::weakly_canonical(fs::absolute(outer, ec), ec).native() + "/";
  return a.compare(0, b.size(), b) == 0;
}

bool copy_entry(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  if (fs::equivalent(source, target, ec)) return true;
  if (lies_inside(target, source)) return false;
  fs::copy(source, target,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing |
               fs::copy_options::copy_symlinks,
           ec);
  return !ec;
}

std::vector<std::string> sources_of(const std::string& source) {
  if (text::has_wildcard(source)) return all_matches(source);
  return exists(source) ? std::vector<std::string>{source} : std::vector<std::string>{};
}

void copy_file(Interpreter& in) {
  std::string to = text::trim(in.PopArgumentValue());
  std::string from = resolve_with_packed(in, text::trim(in.PopArgumentValue()));
  std::vector<std::string> sources = sources_of(from);
  bool ok = !sources.empty();
  for (const std::string& source : sources) {
    fs::path native = native_path(source);
    ok = copy_entry(native, place_in(native, to, text::has_wildcard(from))) && ok;
  }
  if (!ok) {
    throw GeneralError(text::sjis("ファイルのコピーに失敗しました。\r\nコピー元: ") + from + kCrLf +
                       text::sjis("コピー先: ") + to);
  }
}

void move_file(Interpreter& in) {
  std::string to = text::trim(in.PopArgumentValue());
  std::string from = resolve_read_path(in, text::trim(in.PopArgumentValue()));
  if (refused(in, to,
              in_quotes(from) + text::sjis("を,") + in_quotes(to) + text::sjis("へ移動しますか？")))
    return;
  for (const std::string& source : sources_of(from)) {
    fs::path native = native_path(source);
    move_entry(native, place_in(native, to, text::has_wildcard(from)));
  }
}

// The desktop's link file takes the place of the shell link.
void make_shortcut(Interpreter& in) {
  std::string place = text::trim(in.PopArgumentValue());
  std::string target = resolve_read_path(in, in.PopArgumentValue());
  if (place.empty() || text::ends_with_separator(place)) place += text::extract_file_name(target);
  static const std::string kExtension = ".desktop";
  if (place.size() < kExtension.size() ||
      place.compare(place.size() - kExtension.size(), kExtension.size(), kExtension) != 0)
    place = text::change_extension(place, kExtension);
  std::error_code ec;
  fs::path full = fs::absolute(native_path(target), ec).lexically_normal();
  std::string entry = "[Desktop Entry]\nType=Link\nName=" + full.filename().native() +
                      "\nURL=file://" + percent_encoded(full.native()) + "\n";
  if (!write_file(place, entry, false)) throw read_write_failure(in, place);
  fs::permissions(native_path(place), fs::perms::owner_exec, fs::perm_options::add, ec);
}

// ---- folders
// -----------------------------------------------------------------------------------------

void change_folder(Interpreter& in, const std::string& folder) {
  std::error_code ec;
  fs::current_path(native_path(text::trim(folder)), ec);
  if (ec) {
    throw in.Error(in_quotes(in.CurrentCommandName()) +
                   text::sjis("で作業フォルダの変更に失敗。理由は、") +
                   text::from_utf8(ec.message()));
  }
}

void change_folder_command(Interpreter& in) {
  change_folder(in, in.PopArgumentValue());
}

void working_folder(Interpreter& in) {
  if (in.State().Arguments.Count() == 0) return;
  if (in.ImplicitSore()) {
    in.PopArgumentText();
    set_text(in, current_folder());
    return;
  }
  change_folder(in, in.PopArgumentValue());
}

void make_folder(Interpreter& in) {
  std::string folder = text::trim(in.PopArgumentValue());
  if (folder.empty()) throw in.ArgumentError(text::sjis("引数を指定してください。"));
  if (refused(in, folder, in_quotes(folder) + text::sjis(" にフォルダを作成します。"))) return;
  std::error_code ec;
  fs::create_directories(native_path(folder), ec);
}

// Depth first: subfolders, then files, then the folder. Links are removed, never followed.
void remove_tree(const fs::path& folder, int depth) {
  std::error_code ec;
  if (depth > kMaxFolderDepth) return;
  std::vector<fs::path> folders, files;
  fs::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code entry_ec;
    bool real_folder = it->is_directory(entry_ec) && !it->is_symlink(entry_ec);
    std::string name = it->path().filename().native();
    if (real_folder && name[0] != '.') {
      folders.push_back(it->path());
    } else if (!real_folder) {
      files.push_back(it->path());
    }
  }
  for (const fs::path& sub : folders) remove_tree(sub, depth + 1);
  for (const fs::path& file : files) fs::remove(file, ec);
  fs::remove(folder, ec);
}

void remove_folder(Interpreter& in) {
  fs::path folder = native_path(text::trim(in.PopArgumentValue()));
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(folder, ec))) remove_tree(folder, 0);
}

// ---- attributes, dates, sizes
// ---------------------------------------------------------------------
//
// The attribute numbers on POSIX:
//   1 read-only   <-> the owner may not write (setting it clears every write permission,
//                     clearing it gives the owner write permission back)
//   2 hidden      <-> the name starts with "." (read only: names are not changed)
//   4 system      <-  neither a regular file nor a folder (devices, sockets, pipes)
//   16 folder     <-  a folder
//   32 archive    <-  every regular file (a file written since the last backup, as always)
//   128 normal    ->  on setting, the same as clearing read-only

constexpr int kReadOnly = 1, kHidden = 2, kSystem = 4, kFolder = 16, kArchive = 32, kNormal = 128;

int attributes_of(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  int attributes = 0;
  if (S_ISDIR(st.st_mode)) {
    attributes |= kFolder;
  } else if (S_ISREG(st.st_mode)) {
    attributes |= kArchive;
  } else {
    attributes |= kSystem;
  }
  if (!(st.st_mode & S_IWUSR)) attributes |= kReadOnly;
  std::string name = path.filename().native();
  if (!name.empty() && name[0] == '.') attributes |= kHidden;
  return attributes;
}

void set_attributes(const fs::path& path, std::int64_t attributes) {
  std::error_code ec;
  if (attributes & kReadOnly) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, ec);
  } else if (attributes == 0 || (attributes & (kNormal | kArchive))) {
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
  }
}

void get_attributes(Interpreter& in) {
  std::string path = resolve_read_path(in, in.PopArgumentValue());
  int attributes = attributes_of(native_path(path));
  if (attributes < 0)
    throw GeneralError(text::sjis("ファイル『") + path + text::sjis("』が見つかりません。"));
  in.SetResult(std::to_string(attributes), "e");
}

void change_attributes(Interpreter& in) {
  std::string number = in.PopArgumentValue();
  std::string name = in.PopArgumentValue();
  std::int64_t attributes = 0;
  if (!expr::ToInteger(number, attributes)) return;
  std::string path = resolve_read_path(in, name);
  if (refused(in, path, in_quotes(path) + text::sjis("のファイル属性変更をしますか？"))) return;
  set_attributes(native_path(path), attributes);
}

std::optional<struct stat> stat_of_first_match(const std::string& path) {
  std::optional<std::string> match = first_match(path);
  struct stat st {};
  if (!match || ::stat(native_path(*match).c_str(), &st) != 0) return std::nullopt;
  return st;
}

void file_date(Interpreter& in) {
  std::string path = in.PopArgumentValue();
  std::optional<struct stat> st = stat_of_first_match(path);
  if (!st) throw read_write_failure(in, path);
  set_text(in, local_time_text(st->st_mtime, "%Y/%m/%d %H:%M:%S"));
}

void file_size(Interpreter& in) {
  std::string path = in.PopArgumentValue();
  std::optional<struct stat> st = stat_of_first_match(path);
  if (!st) throw read_write_failure(in, path);
  // The size is reported as the signed 32-bit number it always was.
  auto size = static_cast<std::int32_t>(static_cast<std::uint32_t>(st->st_size));
  set_text(in, std::to_string(size));
}

// ---- drives and names
// -------------------------------------------------------------------------------

// A drive letter ("C", "C:", "C:\") stands for the root of the one file tree.
std::string drive_root(const std::string& drive) {
  bool letter = !drive.empty() && std::isalpha(static_cast<unsigned char>(drive[0]));
  if (letter && (drive.size() == 1 || (drive[1] == ':' && drive.size() <= 3))) return "/";
  return drive;
}

void drive_kind(Interpreter& in) {
  std::string root = drive_root(text::trim(in.PopArgumentValue()));
  struct statfs info {};
  if (root.empty() || ::statfs(native_path(root).c_str(), &info) != 0) {
    set_text(in, text::sjis("存在しない"));
    return;
  }
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0x6969UL:      // NFS
    case 0x517BUL:      // SMB
    case 0xFF534D42UL:  // CIFS
    case 0xFE534D42UL:  // SMB2
      set_text(in, text::sjis("リモート"));
      break;
    case 0x9660UL:      // ISO 9660
    case 0x15013346UL:  // UDF
      set_text(in, "CD-ROM");
      break;
    case 0x01021994UL:  // tmpfs
    case 0x858458F6UL:  // ramfs
      set_text(in, text::sjis("RAMディスク"));
      break;
    default:
      set_text(in, text::sjis("固定"));
  }
}

std::string cut_to_bytes(const std::string& s, std::size_t limit) {
  std::size_t end = 0;
  while (end < s.size() && end + text::char_len(s, end) <= limit) end += text::char_len(s, end);
  return s.substr(0, end);
}

fs::path absolute_native(const std::string& sjis_path) {
  std::error_code ec;
  return fs::absolute(native_path(sjis_path), ec).lexically_normal();
}

// There are no 8.3 names here: the short form is the full path, cut to the old limit.
void short_name(Interpreter& in) {
  std::string path = resolve_read_path(in, in.PopArgumentValue());
  set_text(in, cut_to_bytes(script_path_of(absolute_native(path)), 255));
}

std::string upper_ascii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The name the folder stores for `name` when it differs only in letter case.
std::string stored_name(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(folder / name, ec))) return name;
  fs::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec))
    if (upper_ascii(it->path().filename().native()) == upper_ascii(name))
      return it->path().filename().native();
  return name;
}

void long_name(Interpreter& in) {
  fs::path path = absolute_native(resolve_read_path(in, in.PopArgumentValue()));
  fs::path out;
  for (const fs::path& part : path) {
    if (part == path.root_path()) {
      out = part;
      continue;
    }
    out /= stored_name(out, part.native());
  }
  set_text(in, script_path_of(out));
}

// ---- path texts
// -------------------------------------------------------------------------------------

void cut_path(Interpreter& in) {
  set_text(in, text::extract_path(in.PopArgumentValue()));
}
void cut_file_name(Interpreter& in) {
  set_text(in, text::extract_file_name(in.PopArgumentValue()));
}
void cut_extension(Interpreter& in) {
  set_text(in, text::extract_extension(in.PopArgumentValue()));
}

void change_extension_command(Interpreter& in) {
  std::string extension = in.PopArgumentValue();
  set_text(in, text::change_extension(in.PopArgumentValue(), extension));
}

void expand_path(Interpreter& in) {
  std::string base = in.PopArgumentValue();
  set_text(in, text::expand_absolute_path(in.PopArgumentValue(), base));
}

// The shell folder numbers scripts use, as the folders of this desktop.
std::string special_folder_of(std::int64_t number) {
  auto named = [](const char* utf8_name) { return special_folder_path(text::sjis(utf8_name)); };
  auto env_folder = [](const char* name, const char* home_relative) {
    const char* value = std::getenv(name);
    const char* home = std::getenv("HOME");
    std::string folder =
        value && *value ? value : std::string(home ? home : "/tmp") + home_relative;
    return with_separator(script_path_of(fs::path(folder)));
  };
  switch (number) {
    case 0:
    case 16:
      return named("デスクトップのパス");
    case 2:
    case 11:
      return named("スタートメニューのパス");
    case 5:
      return named("マイドキュメントのパス");
    case 6:
      return named("お気に入りのパス");
    case 7:
      return named("スタートアップのパス");
    case 8:
      return named("最近使ったファイルのパス");
    case 9:
      return named("SENDTOのパス");
    case 13:
      return named("マイミュージックのパス");
    case 20:
      return named("フォントパス");
    case 36:
      return named("WINDOWSのパス");
    case 37:
      return named("SYSTEMのパス");
    case 39:
      return named("マイピクチャーのパス");
    case 26:
    case 28:
    case 35:
      return env_folder("XDG_DATA_HOME", "/.local/share");
    case 32:
      return env_folder("XDG_CACHE_HOME", "/.cache");
    case 40:
      return env_folder("HOME", "");
    case 38:
      return "/opt/";
    default:
      return {};
  }
}

void special_folder(Interpreter& in) {
  long double number = in.PopArgumentNumber();
  std::int64_t id = -1;
  if (!expr::TruncateToInt64(number, id) || id < 0 || id > 65535) throw in.ArgumentError();
  set_text(in, special_folder_of(id));
}

// ---- handles
// --------------------------------------------------------------------------------------

const std::string kHandleMarker = "(TTextFileStream)";

std::string handle_word_name(Interpreter& in) {
  std::string raw = in.PopArgumentText();
  if (raw.size() >= 2 && raw.front() == '`' && raw.back() == '`') return in.EvalArgument(raw);
  return raw;
}

TTextFileStream* stream_of(Interpreter& in, const words::THashNode* word) {
  if (!word || word->GetValue() != kHandleMarker) return nullptr;
  auto* link = dynamic_cast<StreamLink*>(word->Obj.get());
  return link ? OpenStreams::Of(in.State()).At(link->Index) : nullptr;
}

void open_handle(Interpreter& in, const std::string& path, words::THashNode& word, int flags) {
  auto stream = std::make_unique<TTextFileStream>(native_path(path), flags);
  if (!stream->IsOpen()) throw read_write_failure(in, path);
  std::size_t index = OpenStreams::Of(in.State()).Add(std::move(stream));
  word.SetValue(kHandleMarker);
  word.Obj = std::make_shared<StreamLink>(index);
}

words::THashNode& handle_variable(Interpreter& in, const std::string& name) {
  words::THashNode* word = in.FindWord(name);
  if (!word) word = &in.CreateVariable(name);
  if (word->Reserved) throw in.Error(in_quotes(name) + text::sjis("は、読取専用です。"));
  return *word;
}

std::string handle_message(const std::string& path) {
  return text::sjis("ファイル") + in_quotes(path) +
         text::sjis("を操作しようとしています。よろしいですか？");
}

void open_handle_command(Interpreter& in) {
  std::string path = in.PopArgumentValue();
  words::THashNode& word = handle_variable(in, handle_word_name(in));
  if (refused(in, path, handle_message(path))) return;
  open_handle(in, path, word, O_RDWR | O_CREAT);
}

// The open mode number: the low bits choose reading, writing or both; 0xFFFF (or 0xFF00 in the
// high byte) creates or empties the file. The sharing bits have nothing to do here.
int open_flags(std::int64_t mode) {
  if (mode == 0xFFFF || (mode & 0xFF00) == 0xFF00) return O_RDWR | O_CREAT | O_TRUNC;
  switch (mode & 3) {
    case 1:
      return O_WRONLY;
    case 2:
      return O_RDWR;
    default:
      return O_RDONLY;
  }
}

void open_handle_detailed(Interpreter& in) {
  long double mode = in.PopArgumentNumber();
  std::string path = in.PopArgumentValue();
  words::THashNode& word = handle_variable(in, handle_word_name(in));
  if (refused(in, path, handle_message(path))) return;
  std::int64_t mode_number = 0;
  expr::TruncateToInt64(mode, mode_number);
  open_handle(in, path, word, open_flags(mode_number));
}

// The line commands insist on a handle.
TTextFileStream& line_stream(Interpreter& in, const std::string& name) {
  TTextFileStream* stream = stream_of(in, in.FindWord(name));
  if (!stream) throw missing_file(in, text::sjis("ハンドル:") + name);
  return *stream;
}

void read_line(Interpreter& in) {
  std::string name = handle_word_name(in);
  words::THashNode* target = in.PopArgumentVariable(true);
  std::string line = line_stream(in, name).ReadLine();
  target->SetValue(std::move(line));
  target->TypeMark = "s";
}

void write_line(Interpreter& in) {
  std::string name = handle_word_name(in);
  std::string line = in.PopArgumentValue();
  TTextFileStream& stream = line_stream(in, name);
  constexpr int kEverythingRefused = 2;
  if (in.State().SecurityLevel == kEverythingRefused) return;
  if (!stream.WriteLine(line)) throw read_write_failure(in, text::sjis("ハンドル:") + name);
}

engine::EMorv not_a_handle(Interpreter& in, const std::string& name) {
  return in.Error(text::sjis("変数") + in_quotes(name) + text::sjis("が見つかりません。"));
}

// Closing and the end test do nothing for a missing variable.
TTextFileStream* optional_stream(Interpreter& in, const std::string& name) {
  words::THashNode* word = in.FindWord(name);
  if (!word) return nullptr;
  TTextFileStream* stream = stream_of(in, word);
  if (!stream) throw not_a_handle(in, name);
  return stream;
}

// Moves and byte commands insist on the variable.
TTextFileStream& required_stream(Interpreter& in, const std::string& name) {
  words::THashNode* word = in.FindWord(name);
  if (!word)
    throw in.Error(text::sjis("部品") + in_quotes(name) + text::sjis("が特定できません。"));
  TTextFileStream* stream = stream_of(in, word);
  if (!stream) throw not_a_handle(in, name);
  return *stream;
}

void close_handle(Interpreter& in) {
  std::string name = handle_word_name(in);
  if (!optional_stream(in, name)) return;
  words::THashNode* word = in.FindWord(name);
  OpenStreams::Of(in.State()).Close(static_cast<StreamLink&>(*word->Obj).Index);
  word->SetValue({});
  word->Obj.reset();
  // A local handle variable goes with its scope; only a global one is removed here.
  if (in.State().Words.Find(name) == word) in.State().Words.Delete(name);
}

void handle_at_end(Interpreter& in) {
  TTextFileStream* stream = optional_stream(in, handle_word_name(in));
  if (stream) set_flag(in, stream->AtEnd());
}

void handle_to_start(Interpreter& in) {
  required_stream(in, handle_word_name(in)).SeekStart();
}
void handle_to_end(Interpreter& in) {
  required_stream(in, handle_word_name(in)).SeekEnd();
}

void handle_seek(Interpreter& in) {
  long double position = in.PopArgumentNumber();
  TTextFileStream& stream = required_stream(in, handle_word_name(in));
  std::int64_t offset = 0;
  expr::TruncateToInt64(position, offset);
  stream.Seek(offset);
}

std::int64_t pop_byte_count(Interpreter& in) {
  std::int64_t n = 0;
  expr::TruncateToInt64(in.PopArgumentNumber(), n);
  return n;
}

void handle_write_bytes(Interpreter& in) {
  std::int64_t n = pop_byte_count(in);
  TTextFileStream& stream = required_stream(in, handle_word_name(in));
  std::string bytes = in.PopArgumentValue();
  if (n <= 0) return;
  if (n > kMaxByteCount) throw in.ArgumentError();
  bytes.resize(static_cast<std::size_t>(n), '\0');
  if (!stream.WriteBytes(bytes)) throw read_write_failure(in, text::sjis("ハンドル"));
}

void handle_read_bytes(Interpreter& in) {
  std::int64_t n = pop_byte_count(in);
  TTextFileStream& stream = required_stream(in, handle_word_name(in));
  words::THashNode* target = in.PopArgumentVariable(true);
  if (n <= 0) return;
  if (n > kMaxByteCount) throw in.ArgumentError();
  target->SetValue(stream.ReadBytes(static_cast<std::size_t>(n)));
  target->TypeMark = "s";
}

}  // namespace

void register_files(HandlerTable& table) {
  table.Set(37, read_whole_file);
  table.Set(38, write_whole_file);
  table.Set(297, append_to_file);
  table.Set(58, copy_file);
  table.Set(59, delete_to_trash);
  table.Set(385, delete_completely);
  table.Set(60, rename_file);
  table.Set(61, move_file);
  table.Set(66, make_shortcut);
  table.Set(62, change_folder_command);
  table.Set(89, working_folder);
  table.Set(63, make_folder);
  table.Set(64, remove_folder);
  table.Set(65, change_attributes);
  table.Set(382, get_attributes);
  table.Set(185, file_date);
  table.Set(186, file_size);
  table.Set(67, list_files);
  table.Set(168, list_folders);
  table.Set(268, list_all_files);
  table.Set(446, list_all_folders);
  table.Set(68, is_folder_command);
  table.Set(69, is_file_command);
  table.Set(81, exists_command);
  table.Set(353, drive_kind);
  table.Set(383, short_name);
  table.Set(384, long_name);
  table.Set(170, cut_path);
  table.Set(176, cut_extension);
  table.Set(269, cut_file_name);
  table.Set(314, change_extension_command);
  table.Set(524, expand_path);
  table.Set(532, special_folder);
  table.Set(331, open_handle_command);
  table.Set(422, open_handle_detailed);
  table.Set(332, read_line);
  table.Set(333, write_line);
  table.Set(334, close_handle);
  table.Set(335, handle_at_end);
  table.Set(336, handle_to_start);
  table.Set(337, handle_to_end);
  table.Set(419, handle_seek);
  table.Set(420, handle_write_bytes);
  table.Set(421, handle_read_bytes);
}

}  // namespace morivel::commands
