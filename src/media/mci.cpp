// MCI command strings over the media player: open, play, stop, pause, resume, close, seek, status
// and set, answered the way MCI answers them.
#include <algorithm>
#include <string>
#include <vector>

#include "commands/file_handles.h"
#include "media/media_player.h"
#include "text/encoding.h"

namespace morivel::media {
namespace {

// A "wait" never blocks longer than this past the file's length.
constexpr qint64 kWaitMarginMs = 2000;

class MciFailure {
 public:
  explicit MciFailure(const char* utf8_reason) : reason(utf8_reason) {}
  std::string reason;
};

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Words split at blanks; a double-quoted part is one word without its quotes.
std::vector<std::string> mci_words(const std::string& command) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < command.size()) {
    if (command[i] == ' ' || command[i] == '\t' || command[i] == '\r' || command[i] == '\n') {
      ++i;
      continue;
    }
    std::string word;
    if (command[i] == '"') {
      std::size_t end = command.find('"', i + 1);
      if (end == std::string::npos) throw MciFailure("引用符が閉じていません。");
      word = command.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      std::size_t end = command.find_first_of(" \t\r\n", i);
      if (end == std::string::npos) end = command.size();
      word = command.substr(i, end - i);
      i = end;
    }
    words.push_back(word);
  }
  return words;
}

qint64 number_word(const std::string& word) {
  if (word.empty() || word.size() > 12 ||
      !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
    throw MciFailure("数値が正しくありません。");
  return std::stoll(word);
}

class Mci {
 public:
  Mci(MediaPlayer& player, std::vector<std::string> words)
      : player_(player), words_(std::move(words)) {}

  std::string Run() {
    if (words_.empty()) throw MciFailure("コマンドがありません。");
    std::string verb = lower(words_[0]);
    if (verb == "open") return Open();
    if (words_.size() < 2) throw MciFailure("デバイス名がありません。");
    if (verb == "close" && lower(words_[1]) == "all") {
      player_.Close();
      return {};
    }
    RequireDevice();
    if (verb == "play") return Play();
    if (verb == "stop") return Simple([this] { player_.Stop(); });
    if (verb == "pause") return Simple([this] { player_.Pause(); });
    if (verb == "resume") return Simple([this] { player_.Resume(); });
    if (verb == "close") return Simple([this] { player_.Close(); });
    if (verb == "seek") return Seek();
    if (verb == "status") return Status();
    if (verb == "set") return Set();
    throw MciFailure("このコマンドには対応していません。");
  }

 private:
  bool Flag(const char* name) const {
    for (std::size_t i = 2; i < words_.size(); ++i)
      if (lower(words_[i]) == name) return true;
    return false;
  }
  // The word after `name`, or "" when `name` is not there.
  std::string Value(const char* name) const {
    for (std::size_t i = 2; i + 1 < words_.size(); ++i)
      if (lower(words_[i]) == name) return words_[i + 1];
    return {};
  }

  void RequireDevice() const {
    const std::string device = lower(words_[1]);
    if (!player_.HasFile() || (device != lower(player_.Alias) && device != "1"))
      throw MciFailure("指定されたデバイスは開かれていません。");
  }

  template <typename Action>
  std::string Simple(Action action) {
    action();
    return {};
  }

  std::string Open() {
    if (words_.size() < 2) throw MciFailure("ファイル名がありません。");
    std::string alias = Value("alias");
    std::string path = commands::native_path(words_[1]).string();
    if (!player_.Open(path)) throw MciFailure("ファイルを開けません。");
    player_.Alias = alias.empty() ? words_[1] : alias;
    return "1";
  }

  std::string Play() {
    std::string from = Value("from"), to = Value("to");
    if (!from.empty()) player_.Seek(number_word(from));
    player_.SetStopAt(to.empty() ? -1 : number_word(to));
    player_.Play();
    if (Flag("wait")) player_.WaitWhilePlaying(player_.Length() + kWaitMarginMs);
    return {};
  }

  std::string Seek() {
    std::string to = lower(Value("to"));
    if (to.empty()) throw MciFailure("seek には to が必要です。");
    player_.Seek(to == "start" ? 0 : to == "end" ? player_.Length() : number_word(to));
    return {};
  }

  std::string Status() {
    if (words_.size() < 3) throw MciFailure("status の項目がありません。");
    std::string item = lower(words_[2]);
    if (item == "mode") return ModeName();
    if (item == "position") return std::to_string(player_.Position());
    if (item == "length") return std::to_string(player_.Length());
    if (item == "ready") return player_.HasFile() ? "true" : "false";
    if (item == "time") return "milliseconds";  // "status x time format"
    throw MciFailure("この status 項目には対応していません。");
  }

  std::string ModeName() const {
    switch (player_.GetMode()) {
      case MediaPlayer::Mode::Playing:
        return "playing";
      case MediaPlayer::Mode::Paused:
        return "paused";
      case MediaPlayer::Mode::Stopped:
      case MediaPlayer::Mode::Open:
        return "stopped";
      case MediaPlayer::Mode::Seeking:
        return "seeking";
      default:
        return "not ready";
    }
  }

  std::string Set() {
    if (lower(Value("time")) == "format") {
      std::string format = words_.size() > 4 ? lower(words_[4]) : "";
      if (format == "milliseconds" || format == "ms") return {};
      throw MciFailure("時間形式はミリ秒(milliseconds)だけに対応しています。");
    }
    throw MciFailure("この set 項目には対応していません。");
  }

  MediaPlayer& player_;
  std::vector<std::string> words_;
};

}  // namespace

std::string mci_send(MediaPlayer& player, const std::string& command) {
  try {
    return Mci(player, mci_words(command)).Run();
  } catch (const MciFailure& failure) {
    return text::sjis("MCIエラー:") + text::sjis(failure.reason);
  } catch (const std::exception& e) {
    return text::sjis("MCIエラー:") + text::from_utf8(e.what());
  }
}

}  // namespace morivel::media
