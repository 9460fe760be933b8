// Commands: INIファイル開く, 閉じる, 書く and 読む. Every write rewrites the file beside itself and
// renames it over the old one, so a crash leaves the old file or the new one, never half of one;
// the file stays locked from reading to renaming, so programs writing at once lose nothing.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "automation/families.h"
#include "automation/owned.h"
#include "automation/settings_policy.h"
#include "commands/file_handles.h"
#include "engine/interpreter.h"
#include "formats/ini.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::automation {
namespace {

namespace fs = std::filesystem;
using engine::Interpreter;

constexpr int kHigh = 2;

class OpenIni : public words::OwnedObject {
 public:
  std::optional<std::string> path;  // as the script named it
};

OpenIni& open_ini(Interpreter& in) {
  return OwnedOf<OpenIni>(in.State());
}

std::optional<std::string> read_bytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return bytes;
}

// Only when there is no file yet: another program may have made it, and written to it, since
// this one looked.
bool create_empty(const fs::path& path) {
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  if (file) return std::fclose(file) == 0;
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

engine::EMorv open_failure(Interpreter& in, const std::string& path) {
  return in.Error(text::sjis("ファイル") + Quoted(path) +
                  text::sjis("の、読み込みか書き込みに、失敗しました。"));
}

engine::EMorv access_failure(Interpreter& in, const std::string& file, const std::string& section,
                             const std::string& key) {
  return in.Error(text::sjis("INIファイル書き込みに失敗。ファイル名=") + file +
                  text::sjis(" キー名=") + key + text::sjis(" セクション=") + section);
}

const std::string& require_open(Interpreter& in) {
  OpenIni& ini = open_ini(in);
  if (!ini.path)
    throw in.Error(Quoted(in.CurrentCommandName()) +
                   text::sjis("予めINIファイルを開いておく必要があります。"));
  return *ini.path;
}

void open_file(Interpreter& in) {
  std::string name = in.PopArgumentValue();
  if (text::trim(name).empty()) throw in.ArgumentError();
  OpenIni& ini = open_ini(in);
  ini.path.reset();
  fs::path native = commands::native_path(name);
  std::error_code ec;
  if (!fs::exists(native, ec)) {
    std::string message = text::sjis("設定ファイル") + Quoted(name) + text::sjis("を作成します。");
    if (SettingsChangeRefused(in, native, message)) return;
    if (!create_empty(native)) throw open_failure(in, name);
  } else if (!fs::is_regular_file(native, ec) || !read_bytes(native)) {
    throw open_failure(in, name);
  }
  ini.path = name;
}

void close_file(Interpreter& in) {
  open_ini(in).path.reset();
}

void write_entry(Interpreter& in) {
  std::string key = in.PopArgumentValue();
  std::string section = in.PopArgumentValue();
  std::string value = in.PopArgumentValue();
  if (SecurityLevel(in) == kHigh) return;
  std::string file = require_open(in);
  std::string message = text::sjis("設定ファイル") + Quoted(file) + text::sjis("にある[") +
                        section + text::sjis("]の") + Quoted(key) +
                        text::sjis("に値を書き込みます。");
  fs::path native = commands::native_path(file);
  if (SettingsChangeRefused(in, native, message)) return;
  bool written = formats::UpdateIniFile(
      native, [&](formats::IniDocument& doc) { doc.Write(section, key, value); });
  if (!written) throw access_failure(in, file, section, key);
}

void read_entry(Interpreter& in) {
  std::string key = in.PopArgumentValue();
  std::string section = in.PopArgumentValue();
  words::THashNode* target = in.PopArgumentVariable(true);
  if (SecurityLevel(in) == kHigh) {
    in.SetResult("", "");
    return;
  }
  std::string file = require_open(in);
  std::optional<formats::IniDocument> doc = formats::ReadIniFile(commands::native_path(file));
  if (!doc) throw access_failure(in, file, section, key);
  target->SetValue(doc->Read(section, key).value_or(""));
  target->GuessType();
}

}  // namespace

void RegisterIniCommands(commands::HandlerTable& table) {
  table.Set(271, open_file);
  table.Set(272, close_file);
  table.Set(273, write_entry);
  table.Set(274, read_entry);
}

}  // namespace morivel::automation
