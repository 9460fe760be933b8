// Special folders: the Windows shell folders scripts ask for, mapped onto XDG user folders.
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "commands/registry.h"
#include "text/encoding.h"

namespace morivel::commands {
namespace {

std::string env_or(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : fallback;
}

std::string home() {
  return env_or("HOME", "/tmp");
}

std::string with_slash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// Reads XDG_<KEY>_DIR from the user-dirs file, which writes "$HOME/..." paths.
std::string xdg_user_dir(const std::string& key, const std::string& fallback) {
  std::string config = env_or("XDG_CONFIG_HOME", home() + "/.config");
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line, prefix = "XDG_" + key + "_DIR=";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::string value = line.substr(prefix.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home() + value.substr(5);
    if (!value.empty()) return value;
  }
  return home() + "/" + fallback;
}

std::string data_home() {
  return env_or("XDG_DATA_HOME", home() + "/.local/share");
}

std::string native_folder(const std::string& utf8_name) {
  if (utf8_name == "デスクトップのパス" || utf8_name == "デスクトップ")
    return xdg_user_dir("DESKTOP", "Desktop");
  if (utf8_name == "マイドキュメントのパス" || utf8_name == "マイドキュメント")
    return xdg_user_dir("DOCUMENTS", "Documents");
  if (utf8_name == "マイミュージックのパス") return xdg_user_dir("MUSIC", "Music");
  if (utf8_name == "マイピクチャーのパス") return xdg_user_dir("PICTURES", "Pictures");
  if (utf8_name == "スタートメニューのパス") return data_home() + "/applications";
  if (utf8_name == "スタートアップのパス")
    return env_or("XDG_CONFIG_HOME", home() + "/.config") + "/autostart";
  if (utf8_name == "SENDTOのパス") return data_home() + "/morivel/sendto";
  if (utf8_name == "WINDOWSのパス") return "/etc";
  if (utf8_name == "SYSTEMのパス") return "/usr/lib";
  if (utf8_name == "TEMPのパス") return env_or("TMPDIR", "/tmp");
  if (utf8_name == "お気に入りのパス") return data_home() + "/morivel/favorites";
  if (utf8_name == "最近使ったファイルのパス") return data_home() + "/recent";
  if (utf8_name == "フォントパス") return data_home() + "/fonts";
  return {};
}

}  // namespace

std::string special_folder_path(const std::string& sjis_name) {
  std::string native = native_folder(text::to_utf8(sjis_name));
  if (native.empty()) return {};
  return text::from_utf8(with_slash(native));
}

}  // namespace morivel::commands
