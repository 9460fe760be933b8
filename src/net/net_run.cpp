// The per-run network state and the helpers the network commands share.
#include "net/net_run.h"

#include "engine/interpreter.h"
#include "gui/event_host.h"
#include "gui/front_end.h"
#include "net/ftp_session.h"
#include "net/tcp.h"
#include "source/labels.h"
#include "text/encoding.h"
#include "words/errors.h"

namespace morivel::net {

NetRun::NetRun() = default;

NetRun::~NetRun() = default;

NetRun& NetRun::Of(engine::Interpreter& in) {
  words::TMorvBase& state = in.State();
  for (const auto& owned : state.OwnedObjects)
    if (auto* run = dynamic_cast<NetRun*>(owned.get())) return *run;
  state.OwnedObjects.push_back(std::make_unique<NetRun>());
  return static_cast<NetRun&>(*state.OwnedObjects.back());
}

std::string system_value(engine::Interpreter& in, const char* utf8_name) {
  const words::THashNode* word = in.FindWord(text::sjis(utf8_name));
  return word ? word->GetValue() : std::string();
}

void set_system_value(engine::Interpreter& in, const char* utf8_name, const std::string& value) {
  if (words::THashNode* word = in.FindWord(text::sjis(utf8_name))) word->SetValue(value);
}

std::shared_ptr<source::LabelInfo> label_argument(engine::Interpreter& in,
                                                  const std::string& name) {
  if (name.empty()) return nullptr;
  const words::THashNode* word = in.FindWord(name);
  std::shared_ptr<source::LabelInfo> info;
  if (word && word->Kind == words::kLabel)
    info = std::dynamic_pointer_cast<source::LabelInfo>(word->Obj);
  if (!info)
    throw GeneralError(text::sjis("未定義のラベル\"") + name +
                       text::sjis("\"に、ジャンプしようとしました。"));
  return info;
}

void fire_label(engine::Interpreter& in, const std::shared_ptr<source::LabelInfo>& label) {
  if (!label) return;
  try {
    in.RunEvent(label->position, nullptr, label->file_name);
  } catch (const std::exception&) {
    // The run's error handling has had its say; nothing may escape into Qt's event delivery.
  }
}

std::shared_ptr<void> keep_alive(engine::Interpreter& in) {
  auto* host = dynamic_cast<gui::EventHost*>(&in.GetHost());
  return host ? host->KeepAlive() : nullptr;
}

}  // namespace morivel::net
