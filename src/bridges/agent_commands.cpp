// The agent commands (エージェント...): one character window per run.
#include <algorithm>
#include <memory>

#include "bridges/agent.h"
#include "bridges/families.h"
#include "commands/coordinates.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "gui/qt_text.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::bridges {

namespace {

using engine::Interpreter;

constexpr int kMaxAgentSide = 8192;

class AgentSession : public words::OwnedObject {
 public:
  std::unique_ptr<AgentWindow> window;
};

AgentSession& session_of(Interpreter& in) {
  auto& owned = in.State().OwnedObjects;
  for (const auto& object : owned)
    if (auto* session = dynamic_cast<AgentSession*>(object.get())) return *session;
  owned.push_back(std::make_unique<AgentSession>());
  return static_cast<AgentSession&>(*owned.back());
}

void load_character(Interpreter& in, const QString& name) {
  AgentSession& session = session_of(in);
  session.window = std::make_unique<AgentWindow>(name);
}

// The current character, the default one when none is loaded.
AgentWindow& character(Interpreter& in) {
  AgentSession& session = session_of(in);
  if (!session.window) load_character(in, QStringLiteral("Merlin"));
  return *session.window;
}

QString animation_name(const std::string& word) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"混乱", "Confused"}, {"祝福", "Congratulate"}, {"説明", "Explain"},
      {"挨拶", "Greet"},    {"発表", "Announce"},     {"読", "Read"},
      {"書", "Write"},      {"休", "RestPose"},       {"驚", "Surprised"}};
  for (const auto& [japanese, name] : kNames)
    if (word == text::sjis(japanese)) return QString::fromLatin1(name);
  return gui::to_qstring(word);
}

int language_number(const std::string& word) {
  static const std::pair<const char*, int> kLanguages[] = {
      {"日本語", 1041}, {"英語", 1033}, {"中国語", 2052}, {"韓国語", 1042}};
  for (const auto& [name, id] : kLanguages)
    if (word == text::sjis(name)) return id;
  std::int64_t id = 0;
  if (!expr::ToInteger(word, id) || id <= 0 || id > 0xFFFF) return 1041;
  return static_cast<int>(id);
}

std::pair<int, int> coordinate_pair(Interpreter& in) {
  std::vector<long long> values = commands::CoordinateValues(in, in.PopArgumentText());
  if (values.size() < 2) throw in.ArgumentError();
  auto clamp = [](long long v) {
    return static_cast<int>(std::clamp<long long>(v, -kMaxAgentSide, kMaxAgentSide));
  };
  return {clamp(values[0]), clamp(values[1])};
}

void call_merlin(Interpreter& in) {
  load_character(in, QStringLiteral("Merlin"));
  character(in).show();
}

void finish(Interpreter& in) {
  session_of(in).window.reset();
}

void load(Interpreter& in) {
  in.PopArgumentValue();  // the character file: the figure is drawn, no file is read
  std::string name = text::trim(in.PopArgumentValue());
  load_character(in, gui::to_qstring(name.empty() ? std::string("Merlin") : name));
}

void unload(Interpreter& in) {
  session_of(in).window.reset();
}

void show(Interpreter& in) {
  AgentWindow& window = character(in);
  window.show();
  window.raise();
}

void hide(Interpreter& in) {
  character(in).hide();
}

void play(Interpreter& in) {
  QString animation = animation_name(text::trim(in.PopArgumentValue()));
  character(in).Play(animation);
}

void say(Interpreter& in) {
  QString words = gui::lines_to_qstring(in.PopArgumentValue());
  character(in).Say(words);
}

void move_to(Interpreter& in) {
  auto [x, y] = coordinate_pair(in);
  character(in).move(x, y);
}

void change_language(Interpreter& in) {
  Speaker::Instance().SetLanguage(language_number(text::trim(in.PopArgumentValue())));
}

void stop(Interpreter& in) {
  character(in).StopSpeaking();
}

void wait_for_speech(Interpreter& in) {
  AgentWindow& window = character(in);
  while (window.Busy()) in.GetHost().Wait(0.1);
}

void resize(Interpreter& in) {
  auto [width, height] = coordinate_pair(in);
  character(in).resize(std::max(width, 16), std::max(height, 16));
}

}  // namespace

void register_agent(commands::HandlerTable& table) {
  table.Set(571, call_merlin);
  table.Set(572, finish);
  table.Set(573, load);
  table.Set(574, unload);
  table.Set(575, show);
  table.Set(576, hide);
  table.Set(577, play);
  table.Set(578, say);
  table.Set(579, move_to);
  table.Set(580, change_language);
  table.Set(581, stop);
  table.Set(582, wait_for_speech);
  table.Set(585, resize);
}

}  // namespace morivel::bridges
