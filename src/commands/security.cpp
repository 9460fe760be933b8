// Security policy: inside the script's folder silently, elsewhere after asking, at the middle
// level.
#include "commands/security.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/interpreter.h"
#include "formats/ini.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::commands {

namespace fs = std::filesystem;

namespace {

constexpr int kLow = 0, kMiddle = 1, kHigh = 2;

// A script's path text as a native path: "\" separators become "/" (never a trail byte).
fs::path native_path(const std::string& sjis) {
  std::string s;
  for (std::size_t i = 0; i < sjis.size(); i += text::char_len(sjis, i)) {
    std::size_t len = text::char_len(sjis, i);
    s += (len == 1 && sjis[i] == '\\') ? std::string("/") : sjis.substr(i, len);
  }
  return fs::path(text::to_utf8(s));
}

std::string script_folder(engine::Interpreter& in) {
  const words::THashNode* folder = in.State().Sys.ScriptFolder;
  return folder ? folder->GetValue() : std::string();
}

std::optional<std::string> read_policy(const fs::path& file, const std::string& section) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return formats::IniDocument::Parse(text).Read(section, "security");
}

bool is_inside(const fs::path& target, const fs::path& base) {
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::absolute(target, ec), ec);
  fs::path folder = fs::weakly_canonical(base, ec);
  std::string f = folder.string(), t = full.string();
  if (!f.empty() && f.back() != '/') f += '/';
  return t.compare(0, f.size(), f) == 0;
}

}  // namespace

int LoadSecurityLevel(engine::Interpreter& in) {
  std::error_code ec;
  fs::path folder = native_path(script_folder(in));
  fs::path script = native_path(in.State().ScriptFileName);
  std::optional<std::string> value;
  if (fs::is_regular_file(folder / "security.ini", ec)) {
    value = read_policy(folder / "security.ini", text::from_utf8(script.filename().string()));
  } else {
    fs::path own = fs::read_symlink("/proc/self/exe", ec).parent_path() / "security.ini";
    if (fs::is_regular_file(own, ec))
      value = read_policy(own, text::from_utf8(fs::absolute(script, ec).string()));
  }
  char first = value && !value->empty() ? (*value)[0] : 'M';
  if (first == 'H' || first == 'h') return kHigh;
  if (first == 'L' || first == 'l') return kLow;
  return kMiddle;
}

bool CheckFileOperation(engine::Interpreter& in, const std::string& target,
                        const std::string& message) {
  int& level = in.State().SecurityLevel;
  if (level == -1) level = LoadSecurityLevel(in);
  if (level == kHigh) return true;
  fs::path path = native_path(target);
  std::string name = path.filename().string();
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name == "SECURITY.INI") {
    in.GetHost().ShowMessage(text::sjis("このプログラムは、\"security.ini\"を、操作出来ません！"));
    return true;
  }
  bool wildcard = target.find('*') != std::string::npos;
  // A relative name is taken against the working folder, where the write goes, and symbolic
  // links are resolved: only what really lies in the script folder goes without a question.
  bool inside = is_inside(path, native_path(script_folder(in)));
  if ((!wildcard && inside) || level == kLow) return false;
  std::string choice =
      in.GetHost().ChooseButton(message, text::sjis("はい\r\nいいえ\r\n全てはい\r\n全ていいえ"));
  if (choice == text::sjis("はい")) return false;
  if (choice == text::sjis("全てはい")) {
    level = kLow;
    return false;
  }
  if (choice == text::sjis("全ていいえ")) level = kHigh;
  return true;
}

}  // namespace morivel::commands
