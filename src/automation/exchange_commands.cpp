// Commands: コピー and クリップボード取得 (the window system's clipboard; the console's own one
// under the offscreen platform), 共有保存 and 共有読込 (named 256-byte blocks of POSIX shared
// memory), DDE送信 and DDEサーバー作成 (local-socket messages between Morivel programs).
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "automation/dde_channel.h"
#include "automation/families.h"
#include "automation/launch.h"
#include "automation/owned.h"
#include "automation/settings_policy.h"
#include "engine/host.h"
#include "engine/interpreter.h"
#include "gui/event_host.h"
#include "source/labels.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::automation {
namespace {

using engine::Interpreter;

constexpr std::size_t kBlockSize = 256;
constexpr std::size_t kMaxServers = 10;
constexpr int kStartTries = 100;
constexpr double kStartPollSeconds = 0.1;

// ---- clipboard ---------------------------------------------------------------------------------

void copy_text(Interpreter& in) {
  in.GetHost().SetClipboardText(in.PopArgumentValue());
}

void clipboard_text(Interpreter& in) {
  in.SetResult(in.GetHost().ClipboardText().value_or(std::string()), "s");
}

// ---- shared memory -----------------------------------------------------------------------------

// The object name: the user's id and the block name, every byte outside [0-9A-Za-z] as hex.
std::string shm_name(const std::string& block) {
  static const char* hex = "0123456789abcdef";
  std::string name = "/morivel-" + std::to_string(::getuid()) + "-";
  for (unsigned char c : block) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
      name += static_cast<char>(c);
    else
      name += std::string("_") + hex[c >> 4] + hex[c & 15];
  }
  return name;
}

class Mapping {
 public:
  Mapping(int fd, int protection) {
    void* p = ::mmap(nullptr, kBlockSize, protection, MAP_SHARED, fd, 0);
    data_ = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
  }
  ~Mapping() {
    if (data_) ::munmap(data_, kBlockSize);
  }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  char* Data() const { return data_; }

 private:
  char* data_ = nullptr;
};

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// The blocks this run wrote stay until it ends, as the mappings of the desktop this came from
// lived while their writer held them.
class WrittenBlocks : public words::OwnedObject {
 public:
  WrittenBlocks() = default;
  WrittenBlocks(const WrittenBlocks&) = delete;
  WrittenBlocks& operator=(const WrittenBlocks&) = delete;
  ~WrittenBlocks() override {
    for (const std::string& name : names_) ::shm_unlink(name.c_str());
  }
  void Add(const std::string& name) {
    for (const std::string& known : names_)
      if (known == name) return;
    names_.push_back(name);
  }

 private:
  std::vector<std::string> names_;
};

void shared_save(Interpreter& in) {
  std::string block = in.PopArgumentValue();
  const words::THashNode* sore = in.State().Sys.Sore;
  std::string value = sore ? sore->GetValue() : std::string();
  std::string name = shm_name(block);
  Fd fd(::shm_open(name.c_str(), O_RDWR | O_CREAT, 0600));
  if (fd.Get() < 0 || ::ftruncate(fd.Get(), kBlockSize) != 0)
    throw in.Error(block + text::sjis("を開けません。"));
  Mapping map(fd.Get(), PROT_READ | PROT_WRITE);
  if (!map.Data()) throw in.Error(block + text::sjis("を開けません。"));
  std::array<char, kBlockSize> buffer{};
  std::memcpy(buffer.data(), value.data(), std::min(value.size(), kBlockSize));
  std::memcpy(map.Data(), buffer.data(), kBlockSize);
  OwnedOf<WrittenBlocks>(in.State()).Add(name);
}

void shared_load(Interpreter& in) {
  std::string block = in.PopArgumentValue();
  std::string value;
  Fd fd(::shm_open(shm_name(block).c_str(), O_RDONLY, 0));
  if (fd.Get() >= 0) {
    Mapping map(fd.Get(), PROT_READ);
    if (map.Data()) value.assign(map.Data(), ::strnlen(map.Data(), kBlockSize));
  }
  bool number = !value.empty() && (value[0] == '$' || (value[0] >= '0' && value[0] <= '9'));
  in.SetResult(value, number ? "e" : "s");
}

// ---- DDE ---------------------------------------------------------------------------------------

std::string dde_error(const std::string& server, const std::string& topic) {
  return text::sjis("サーバー") + Quoted(server) + text::sjis("トピック") + Quoted(topic) +
         text::sjis("でエラー。");
}

std::string system_value(Interpreter& in, const char* utf8_name) {
  const words::THashNode* word = in.FindWord(text::sjis(utf8_name));
  return word ? word->GetValue() : std::string();
}

void dde_send(Interpreter& in) {
  std::string command = in.PopArgumentValue();
  std::string topic = in.PopArgumentValue();
  std::string server = in.PopArgumentValue();
  DdeSendResult result = DdeSend(server, topic, command);
  std::string starter = text::trim(system_value(in, "DDEファイル名"));
  if (result == DdeSendResult::NoLink && !starter.empty()) {
    LaunchCommandLine(in, starter);
    for (int i = 0; i < kStartTries && result == DdeSendResult::NoLink; ++i) {
      in.GetHost().Wait(kStartPollSeconds);
      result = DdeSend(server, topic, command);
    }
  }
  if (result == DdeSendResult::NoLink)
    throw in.Error(dde_error(server, topic) + text::sjis("リンク出来ませんでした。"));
  if (result == DdeSendResult::NotSent)
    throw in.Error(dde_error(server, topic) + text::sjis("コマンドの送信に失敗"));
}

class DdeServers : public words::OwnedObject {
 public:
  std::vector<std::unique_ptr<DdeServer>> servers;
  std::shared_ptr<void> alive;  // keeps the console run waiting for messages
};

std::shared_ptr<source::LabelInfo> label_named(Interpreter& in, const std::string& name) {
  const words::THashNode* word = in.FindWord(name);
  if (!word || word->Kind != words::kLabel) return nullptr;
  return std::dynamic_pointer_cast<source::LabelInfo>(word->Obj);
}

std::string pop_label_name(Interpreter& in) {
  std::string raw = text::trim(in.PopArgumentText());
  if (!raw.empty() && (raw[0] == '`' || raw[0] == '"' || raw[0] == '\''))
    return text::trim(in.EvalArgument(raw));
  return raw;
}

void set_dde_string(Interpreter& in, const std::string& value) {
  words::THashNode* word = in.FindWord(text::sjis("DDE文字列"));
  if (!word) return;
  word->SetValue(value);
  word->TypeMark = "s";
}

void dde_server(Interpreter& in) {
  std::string topic = in.PopArgumentValue();
  std::string label_name = pop_label_name(in);
  std::string self = dde_error(text::sjis("自身"), topic);
  std::shared_ptr<source::LabelInfo> label = label_named(in, label_name);
  if (!label) throw in.Error(self + text::sjis("ジャンプ先ラベルが見つかりません。"));
  DdeServers& servers = OwnedOf<DdeServers>(in.State());
  if (servers.servers.size() >= kMaxServers)
    throw in.Error(self + text::sjis("これ以上サーバーを立ち上げられません。"));
  auto receive = [&in, label](const std::string& received) {
    set_dde_string(in, received);
    try {
      in.RunEvent(label->position, nullptr, label->file_name);
    } catch (const std::exception&) {
      // The run's error handling has had its say; nothing may escape into Qt's event delivery.
    }
  };
  auto server =
      std::make_unique<DdeServer>(ServiceNameOf(in.State().ScriptFileName), topic, receive);
  if (!server->Listen()) throw in.Error(self + text::sjis("サーバー作成に失敗"));
  servers.servers.push_back(std::move(server));
  if (auto* host = dynamic_cast<gui::EventHost*>(&in.GetHost()); host && !servers.alive)
    servers.alive = host->KeepAlive();
}

}  // namespace

void RegisterExchangeCommands(commands::HandlerTable& table) {
  table.Set(429, copy_text);
  table.Set(430, clipboard_text);
  table.Set(87, shared_save);
  table.Set(88, shared_load);
  table.Set(208, dde_send);
  table.Set(209, dde_server);
}

}  // namespace morivel::automation
