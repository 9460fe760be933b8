// Commands: 演奏, 繰り返し演奏, 演奏停止, 演奏状態, MCI送信, BEEP and MML演奏.
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <filesystem>
#include <fstream>

#include "commands/file_handles.h"
#include "commands/packing.h"
#include "engine/interpreter.h"
#include "media/commands.h"
#include "media/media_player.h"
#include "media/mml.h"
#include "text/encoding.h"
#include "text/paths.h"
#include "text/sjis.h"

namespace morivel::media {
namespace {

namespace fs = std::filesystem;
using engine::Interpreter;

const std::string& repeat_word_name() {
  static const std::string name = text::sjis("演奏繰り返し");
  return name;
}

std::string repeat_value(Interpreter& in) {
  const words::THashNode* word = in.FindWord(repeat_word_name());
  return word ? word->GetValue() : "0";
}

std::string script_folder(Interpreter& in) {
  const words::THashNode* folder = in.State().Sys.ScriptFolder;
  return folder ? folder->GetValue() : std::string();
}

// A packed copy first; a name without ":" or a root is taken inside the script's folder.
std::string playable_path(Interpreter& in, const std::string& name) {
  std::string packed = commands::ResolvePackedFile(in, name);
  if (!packed.empty()) return packed;
  bool absolute =
      name.find(':') != std::string::npos || (!name.empty() && text::is_path_separator_at(name, 0));
  return absolute ? name : script_folder(in) + name;
}

std::string lower_extension(const std::string& path) {
  std::string ext = text::extract_extension(path);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

void play_file(Interpreter& in, const std::string& name) {
  MediaPlayer& player = MediaPlayer::Of(in.State());
  player.ClearEndNotification();
  std::string path = playable_path(in, name);
  fs::path native = commands::native_path(path);
  std::error_code ec;
  if (!fs::is_regular_file(native, ec))
    throw in.Error(text::sjis("ファイル\"") + name + text::sjis("\"が、ありません。"));
  if (lower_extension(path) == ".wav") {
    player.PlayWave(native.string(), repeat_value(in) != "0");
    return;
  }
  bool repeat = repeat_value(in) == "1";
  player.Close();
  if (!player.Open(native.string())) throw in.Error(text::from_utf8(player.Error()));
  player.Play();
  player.InstallEndNotification(repeat);
}

void play(Interpreter& in) {
  play_file(in, in.PopArgumentValue());
}

void play_repeatedly(Interpreter& in) {
  std::string name = in.PopArgumentValue();
  words::THashNode* word = in.FindWord(repeat_word_name());
  std::string previous = word ? word->GetValue() : "0";
  if (word) word->SetValue("1");
  try {
    play_file(in, name);
  } catch (...) {
    if (word) word->SetValue(previous);
    throw;
  }
  if (word) word->SetValue(previous);
}

void stop_playing(Interpreter& in) {
  MediaPlayer& player = MediaPlayer::Of(in.State());
  if (player.GetMode() == MediaPlayer::Mode::Playing) {
    player.Seek(0);
    player.Stop();
  } else {
    player.StopWave();
  }
  player.Close();
}

std::string state_text(MediaPlayer::Mode mode) {
  switch (mode) {
    case MediaPlayer::Mode::Stopped:
      return text::sjis("停止中");
    case MediaPlayer::Mode::Playing:
      return text::sjis("演奏中");
    case MediaPlayer::Mode::Seeking:
      return text::sjis("準備中");
    case MediaPlayer::Mode::Paused:
      return text::sjis("一時停止");
    case MediaPlayer::Mode::Open:
      return text::sjis("再生待ち");
    default:
      return text::sjis("未設定");
  }
}

void playing_state(Interpreter& in) {
  in.SetResult(state_text(MediaPlayer::Of(in.State()).GetMode()), "s");
}

void send_mci(Interpreter& in) {
  std::string command = in.PopArgumentValue();
  in.SetResult(mci_send(MediaPlayer::Of(in.State()), command), "s");
}

// The terminal bell in the console, the window system's beep in windows.
void beep(Interpreter&) {
  if (QGuiApplication::platformName() != "offscreen") {
    QApplication::beep();
  } else if (::isatty(STDOUT_FILENO)) {
    [[maybe_unused]] ssize_t written = ::write(STDOUT_FILENO, "\a", 1);
  }
}

// The converter's own error texts come after this prefix, as with the external converter.
std::string converter_error(const std::string& reason) {
  return text::sjis("dTavela.dllのエラー。") + reason;
}

void play_mml(Interpreter& in) {
  std::string mml = in.PopArgumentValue();
  std::string midi;
  try {
    midi = mml_to_midi(mml);
  } catch (const MmlError& e) {
    throw in.Error(converter_error(e.what()));
  }
  fs::path out = fs::temp_directory_path() / "~morivel_with_tavela_play.mid";
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(midi.data(), static_cast<std::streamsize>(midi.size()));
  file.close();
  if (!file) throw in.Error(converter_error(text::sjis("MIDIファイルが書けません。")));
  play_file(in, commands::script_path_of(out));
}

}  // namespace

void register_media_commands(commands::HandlerTable& table) {
  table.Set(22, play);
  table.Set(318, play_repeatedly);
  table.Set(23, stop_playing);
  table.Set(210, playing_state);
  table.Set(338, send_mci);
  table.Set(409, beep);
  table.Set(485, play_mml);
}

}  // namespace morivel::media
