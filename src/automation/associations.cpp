// Commands: 関連付ける and 関連付けを削除, on the desktop's MIME database: a MIME type for the
// extension, a .desktop file that opens it with the program, and the default in mimeapps.list.
// Everything written is named after the extension, so removing it undoes it completely.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "automation/families.h"
#include "automation/processes.h"
#include "automation/settings_policy.h"
#include "commands/file_handles.h"
#include "engine/interpreter.h"
#include "formats/ini.h"
#include "startup/archive.h"
#include "text/encoding.h"
#include "text/paths.h"
#include "text/sjis.h"

namespace morivel::automation {
namespace {

namespace fs = std::filesystem;
using engine::Interpreter;

const char* kDefaults = "Default Applications";

fs::path xdg_folder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && *value == '/') return value;
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : ".") / fallback;
}

struct AssociationFiles {
  std::string mime_type;  // ASCII
  fs::path mime_package, desktop_file, mimeapps, mime_root, applications;
};

// The extension as a MIME subtype and file name token: ASCII letters and digits as they are
// (lower case), every other byte as "_" and two hex digits, so no name can leave its folder.
std::string token_of(const std::string& ext) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned char c : ext) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))
      out += static_cast<char>(c);
    else if (c >= 'A' && c <= 'Z')
      out += static_cast<char>(c - 'A' + 'a');
    else
      out += std::string("_") + hex[c >> 4] + hex[c & 15];
  }
  return out;
}

AssociationFiles files_for(const std::string& ext) {
  AssociationFiles f;
  std::string token = token_of(ext);
  fs::path data = xdg_folder("XDG_DATA_HOME", ".local/share");
  f.mime_type = "application/x-morivel-" + token;
  f.mime_root = data / "mime";
  f.applications = data / "applications";
  f.mime_package = f.mime_root / "packages" / ("morivel-" + token + ".xml");
  f.desktop_file = f.applications / ("morivel-" + token + ".desktop");
  f.mimeapps = xdg_folder("XDG_CONFIG_HOME", ".config") / "mimeapps.list";
  return f;
}

std::string xml_escaped(const std::string& utf8) {
  std::string out;
  for (char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// One argument of an Exec line: quoted, with the desktop entry's two levels of escaping.
std::string exec_argument(const std::string& utf8) {
  std::string quoted = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += "\\\\";
    if (c == '%') quoted += '%';
    quoted += c;
  }
  return quoted + "\"";
}

// Line breaks would start new keys; a desktop entry value keeps them escaped.
std::string entry_value(const std::string& utf8) {
  std::string out;
  for (char c : utf8) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

std::string mime_package_text(const AssociationFiles& f, const std::string& ext_utf8,
                              const std::string& comment_utf8) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
         "  <mime-type type=\"" +
         f.mime_type +
         "\">\n"
         "    <comment>" +
         xml_escaped(comment_utf8) +
         "</comment>\n"
         "    <glob pattern=\"*." +
         xml_escaped(ext_utf8) +
         "\"/>\n"
         "  </mime-type>\n"
         "</mime-info>\n";
}

std::string desktop_text(const AssociationFiles& f, const fs::path& program, const fs::path& icon,
                         const std::string& name_utf8) {
  return "[Desktop Entry]\nType=Application\nName=" + entry_value(name_utf8) +
         "\nExec=" + exec_argument(program.string()) + " %f\nIcon=" + entry_value(icon.string()) +
         "\nMimeType=" + f.mime_type + ";\nNoDisplay=true\n";
}

std::optional<std::string> read_bytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

bool write_file(const fs::path& path, const std::string& bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  return startup::WriteWholeFile(path, bytes);
}

// mimeapps.list with the type's default set, or removed when `desktop_name` is empty.
bool update_mimeapps(const AssociationFiles& f, const std::string& desktop_name) {
  std::string bytes = read_bytes(f.mimeapps).value_or("");
  std::string kept;
  // The entry is dropped line by line, so nothing else in the file changes.
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    end = end == std::string::npos ? bytes.size() : end + 1;
    std::string line = bytes.substr(start, end - start);
    if (line.rfind(f.mime_type + "=", 0) != 0) kept += line;
    start = end;
  }
  if (desktop_name.empty()) return write_file(f.mimeapps, kept);
  formats::IniDocument doc = formats::IniDocument::Parse(kept);
  doc.Write(kDefaults, f.mime_type, desktop_name);
  std::string text = doc.Text();
  // The desktop's own file uses LF line ends.
  std::string lf;
  for (char c : text)
    if (c != '\r') lf += c;
  return write_file(f.mimeapps, lf);
}

// The desktop rebuilds its caches when the tools are there; the files are right without them.
void notify_desktop(const AssociationFiles& f) {
  std::pair<const char*, fs::path> tools[] = {{"update-mime-database", f.mime_root},
                                              {"update-desktop-database", f.applications}};
  for (const auto& [tool, folder] : tools) {
    std::optional<fs::path> program = FindProgram(tool, {});
    if (!program) continue;
    if (std::optional<pid_t> pid = Spawn(*program, {folder.string()}))
      while (!PollExit(*pid)) usleep(10'000);
  }
}

std::string bare_extension(const std::string& ext) {
  std::string t = text::trim(ext);
  return !t.empty() && t[0] == '.' ? t.substr(1) : t;
}

bool valid_extension(const std::string& ext) {
  if (ext.empty()) return false;
  for (unsigned char c : ext)
    if (c < 0x20 || c == '/' || c == '\\' || c == '*' || c == '?') return false;
  return true;
}

void associate(Interpreter& in) {
  std::string description = text::trim(in.PopArgumentValue());
  std::string program = text::trim(in.PopArgumentValue());
  std::string given_ext = text::trim(in.PopArgumentValue());
  if (program.empty() || given_ext.empty()) return;
  fs::path native = commands::native_path(program);
  std::error_code ec;
  if (!fs::exists(native, ec))
    throw in.ArgumentError(":" + Quoted(program) + text::sjis("が存在しません。"));
  std::string ext = bare_extension(given_ext);
  if (!valid_extension(ext)) throw in.ArgumentError();
  AssociationFiles f = files_for(ext);
  std::string message =
      (fs::exists(f.desktop_file, ec) ? text::sjis("既に関連付けされている拡張子")
                                      : text::sjis("拡張子")) +
      Quoted(ext) + text::sjis("を、") + Quoted(program) +
      text::sjis(fs::exists(f.desktop_file, ec) ? "へ関連付けを変更します。" : "へ関連付けます。");
  if (SettingsChangeRefused(in, f.mimeapps, message)) return;
  fs::path absolute = fs::absolute(native, ec);
  fs::path icon = absolute;
  icon.replace_extension(".ico");
  if (!fs::exists(icon, ec)) icon = absolute;
  std::string name = text::to_utf8(description.empty() ? ext + "File" : description);
  bool ok = write_file(f.mime_package, mime_package_text(f, text::to_utf8(ext), name)) &&
            write_file(f.desktop_file, desktop_text(f, absolute, icon, name)) &&
            update_mimeapps(f, f.desktop_file.filename().string());
  if (!ok)
    throw in.Error(text::sjis("拡張子") + Quoted(ext) + text::sjis("の関連付けに失敗しました。"));
  notify_desktop(f);
}

void remove_association(Interpreter& in) {
  std::string ext = bare_extension(in.PopArgumentValue());
  if (!valid_extension(ext)) return;
  AssociationFiles f = files_for(ext);
  std::string message = text::sjis("拡張子") + Quoted(ext) + text::sjis("の関連付けを削除します。");
  if (SettingsChangeRefused(in, f.mimeapps, message)) return;
  std::error_code ec;
  if (!fs::exists(f.desktop_file, ec)) return;
  fs::remove(f.desktop_file, ec);
  fs::remove(f.mime_package, ec);
  if (!update_mimeapps(f, "")) throw in.Error(Quoted(ext) + text::sjis("が削除できません。"));
  notify_desktop(f);
}

}  // namespace

void RegisterAssociationCommands(commands::HandlerTable& table) {
  table.Set(295, associate);
  table.Set(296, remove_association);
}

}  // namespace morivel::automation
