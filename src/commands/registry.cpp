// Registers the command words, the system variables and constants, and the main window word.
#include "commands/registry.h"

#include <stdexcept>

#include "commands/vocabulary.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::commands {

void register_all_handlers(HandlerTable& table);

void HandlerTable::Set(int id, Handler handler) {
  slots_.at(static_cast<std::size_t>(id)) = handler;
}

Handler HandlerTable::Get(int id) const {
  if (id < 0 || id >= kHandlerSlots) throw std::out_of_range("command id");
  return slots_[static_cast<std::size_t>(id)];
}

const HandlerTable& handler_table() {
  static const HandlerTable table = [] {
    HandlerTable t;
    register_all_handlers(t);
    return t;
  }();
  return table;
}

void ManagementNumbers::Claim(const std::string& sjis_name, int number) {
  if (number < 0 || number > 255) throw std::out_of_range("management number");
  if (used_[static_cast<std::size_t>(number)])
    throw GeneralError(sjis_name + text::sjis("は既に使われている管理番号") +
                       std::to_string(number) + text::sjis("が指定されてます。"));
  used_[static_cast<std::size_t>(number)] = true;
}

PlatformInfo::PlatformInfo() {
  // Fallback colours for a machine without a display: a light desktop theme.
  system_colors.fill(0xC0C0C0);
  system_colors[1] = 0x6B4A3A;   // desktop
  system_colors[2] = 0xD77800;   // active caption
  system_colors[3] = 0xBFBFBF;   // inactive caption
  system_colors[4] = 0xF0F0F0;   // menu
  system_colors[5] = 0xFFFFFF;   // window
  system_colors[13] = 0xD77800;  // highlight
}

namespace {

// Shift-JIS forms of many UTF-8 texts by one conversion: converting each text on its own took
// most of the instructions of a short run's start.
std::vector<std::string> sjis_all(const std::vector<std::string_view>& utf8_texts) {
  std::string joined;
  for (std::string_view t : utf8_texts) {
    joined.append(t);
    joined.push_back('\0');
  }
  std::string converted = text::from_utf8(joined);
  std::vector<std::string> out;
  out.reserve(utf8_texts.size());
  std::size_t start = 0;
  for (std::size_t end = converted.find('\0'); end != std::string::npos;
       start = end + 1, end = converted.find('\0', start))
    out.emplace_back(converted, start, end - start);
  return out;
}

}  // namespace

const std::vector<SjisCommandEntry>& sjis_command_entries() {
  static const std::vector<SjisCommandEntry> entries = [] {
    std::vector<std::string_view> texts;
    for (const CommandEntry& entry : command_entries()) {
      texts.push_back(entry.name);
      texts.push_back(entry.templ);
    }
    std::vector<std::string> sjis = sjis_all(texts);
    std::vector<SjisCommandEntry> out;
    for (std::size_t i = 0; i + 1 < sjis.size(); i += 2)
      out.push_back({std::move(sjis[i]), std::move(sjis[i + 1])});
    return out;
  }();
  return entries;
}

namespace {

std::string initial_value(const SystemWordEntry& entry, const std::string& sjis_name,
                          const std::string& sjis_value, const PlatformInfo& platform) {
  switch (entry.source) {
    case InitialValue::Literal:
      return sjis_value;
    case InitialValue::SystemColor:
      return std::to_string(platform.system_colors.at(static_cast<std::size_t>(entry.detail)));
    case InitialValue::ScriptFolder:
      return platform.script_folder;
    case InitialValue::RuntimeFolder:
      return platform.runtime_folder;
    case InitialValue::SpecialFolder:
      return special_folder_path(sjis_name);
    case InitialValue::DesktopWidth:
      return std::to_string(platform.desktop_width);
    case InitialValue::DesktopHeight:
      return std::to_string(platform.desktop_height);
    case InitialValue::CommandLine:
      return platform.command_line;
    case InitialValue::OsName:
      return "Linux";
  }
  return {};
}

void keep_reference(words::SystemWordRefs& refs, const std::string& name, words::THashNode* word) {
  static const std::string kSore = text::sjis("それ"), kSo = text::sjis("そ"),
                           kSoshite = text::sjis("そして"), kKaisu = text::sjis("回数"),
                           kErrorMessage = text::sjis("エラーメッセージ"),
                           kErrorLine = text::sjis("エラー行"), kFolder = text::sjis("母艦のパス"),
                           kMatch = text::sjis("マッチ数"), kEndRefused = text::sjis("終了不可能");
  if (name == kSore) refs.Sore = word;
  if (name == kSo) refs.So = word;
  if (name == kSoshite) refs.Soshite = word;
  if (name == kKaisu) refs.Kaisu = word;
  if (name == kErrorMessage) refs.ErrorMessage = word;
  if (name == kErrorLine) refs.ErrorLine = word;
  if (name == kFolder) refs.ScriptFolder = word;
  if (name == kMatch) refs.MatchCount = word;
  if (name == kEndRefused) refs.EndRefused = word;
}

void register_commands(words::TMorvBase& state) {
  const std::span<const CommandEntry> entries = command_entries();
  const std::vector<SjisCommandEntry>& sjis = sjis_command_entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::string key = text::strip_okurigana(sjis[i].name);
    state.Words.Add(std::make_unique<words::THashNode>(key, true, nullptr, words::kCommand,
                                                       entries[i].id, "", "", sjis[i].templ));
  }
}

void register_system_words(words::TMorvBase& state, const PlatformInfo& platform) {
  ManagementNumbers numbers;
  const auto entries = system_word_entries();
  std::vector<std::string_view> texts;
  for (const SystemWordEntry& entry : entries) {
    texts.push_back(entry.name);
    texts.push_back(entry.value);
  }
  const std::vector<std::string> sjis = sjis_all(texts);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const SystemWordEntry& entry = entries[i];
    const std::string& name = sjis[2 * i];
    numbers.Claim(name, entry.number);
    auto word = words::THashNode::CreateVariable(
        name, entry.read_only, -1, initial_value(entry, name, sjis[2 * i + 1], platform));
    word->TypeMark = entry.type_mark;
    words::THashNode* raw = word.get();
    state.Words.Add(std::move(word));
    keep_reference(state.Sys, name, raw);
  }
}

void register_main_window(words::TMorvBase& state) {
  static constexpr int kFormKind = 7;
  std::string name = text::sjis("母艦");
  if (state.Parts.Count() == 0)
    state.Parts.Add(std::make_unique<words::TObjNode>(name, nullptr, 0, kFormKind));
  state.Words.Add(std::make_unique<words::THashNode>(name, true, nullptr, words::kPart, 0,
                                                     text::sjis("メインフォーム"), "", ""));
  if (state.Sys.So) state.Sys.So->Tag = -1;
}

}  // namespace

void RegisterVocabulary(words::TMorvBase& state, const PlatformInfo& platform) {
  register_commands(state);
  register_system_words(state, platform);
  register_main_window(state);
}

BuiltinVocabulary::BuiltinVocabulary(PlatformInfo platform)
    : platform_(std::move(platform)), handlers_(handler_table()) {}

void BuiltinVocabulary::Register(words::TMorvBase& state) const {
  RegisterVocabulary(state, platform_);
}

Handler BuiltinVocabulary::HandlerFor(int id) const {
  return handlers_.Get(id);
}

const std::vector<std::string>* BuiltinVocabulary::FullNames(const std::string& key) const {
  static const auto names = [] {
    std::map<std::string, std::vector<std::string>> m;
    for (const auto& entry : command_entries()) {
      std::string full = text::sjis(entry.name);
      m[text::strip_okurigana(full)].push_back(full);
    }
    return m;
  }();
  auto it = names.find(key);
  return it == names.end() ? nullptr : &it->second;
}

}  // namespace morivel::commands
