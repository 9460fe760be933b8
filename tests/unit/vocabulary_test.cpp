// Checks the built-in vocabulary tables against their known totals, so a slip in transcription
// shows.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "commands/vocabulary.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace {

using morivel::commands::command_entries;
using morivel::commands::CommandEntry;
using morivel::commands::InitialValue;
using morivel::commands::system_word_entries;
using morivel::commands::SystemWordEntry;
namespace text = morivel::text;

// The particles of a template, split the way the argument binder reads them.
std::vector<std::string> particles_of(std::string_view templ) {
  std::vector<std::string> out;
  if (templ.empty()) return out;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = templ.find(',', start);
    std::string slot = text::trim(templ.substr(start, comma - start));
    if (!slot.empty() && slot.front() == '?') slot.erase(0, 1);
    out.push_back(slot);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

const CommandEntry* find_command(std::string_view name) {
  for (const CommandEntry& e : command_entries())
    if (name == e.name) return &e;
  return nullptr;
}

const SystemWordEntry* find_system_word(std::string_view name) {
  for (const SystemWordEntry& e : system_word_entries())
    if (name == e.name) return &e;
  return nullptr;
}

TEST(VocabularyCommands, NamesAndIdsHaveTheKnownTotals) {
  const auto commands = command_entries();
  EXPECT_EQ(commands.size(), 603u);

  std::set<int> ids;
  for (const CommandEntry& e : commands) ids.insert(e.id);
  EXPECT_EQ(ids.size(), 571u);

  // Ids without a handler, and ids whose handler no name reaches.
  const std::set<int> unnamed = {43,  177, 199, 201, 202, 203, 204, 205,
                                 289, 316, 386, 387, 388, 447, 480};
  for (int id = 0; id <= 585; ++id)
    EXPECT_EQ(ids.count(id), unnamed.count(id) ? 0u : 1u) << "id " << id;
  EXPECT_EQ(*ids.begin(), 0);
  EXPECT_EQ(*ids.rbegin(), 585);
}

TEST(VocabularyCommands, TemplateParticlesHaveTheKnownSlotCounts) {
  // The slots "へ" and "から" without a leading "?" (form position store/restore) count here
  // too, which makes "へ" 68 and "から" 43 where the prose totals say 67 and 42. The listed
  // templates are authoritative, so the totals they give are asserted.
  const std::map<std::string, int> expected_utf8 = {
      {"を", 229},         {"の", 173},   {"へ", 68},        {"に", 67},        {"", 58},
      {"から", 43},        {"で", 38},    {"と", 21},        {"が", 12},        {"度", 7},
      {"列目を", 7},       {"つ", 6},     {"文字", 4},       {"列目の", 4},     {"列目から", 4},
      {"ビット", 4},       {"の中で", 4}, {"番目の", 3},     {"として", 3},     {"形式で", 2},
      {"列目と", 2},       {"位で", 2},   {"までを", 2},     {"行目を", 1},     {"行目へ", 1},
      {"秒後に", 1},       {"秒", 1},     {"桁の", 1},       {"桁で", 1},       {"形式の", 1},
      {"列目をキーに", 1}, {"列目へ", 1}, {"列目にある", 1}, {"列目に", 1},     {"列目で", 1},
      {"個目の", 1},       {"以上の", 1}, {"ビットに", 1},   {"パーセント", 1}, {"バイトを", 1},
      {"バイトで", 1},     {"を呼ぶ", 1}, {"までの", 1},     {"まで", 1},       {"へ飛ぶ", 1},
      {"の上へ", 1},       {"という", 1},
  };
  std::map<std::string, int> counted;
  for (const CommandEntry& e : command_entries())
    for (const std::string& particle : particles_of(e.templ)) ++counted[particle];
  EXPECT_EQ(counted, expected_utf8);
}

TEST(VocabularyCommands, TemplatesAndSynonymsOfNotableRows) {
  struct Row {
    const char* name;
    const char* templ;
    int id;
  };
  const Row rows[] = {
      {"おわり", "", 2},
      {"終わり", "", 2},
      {"おわる", "", 2},
      {"言う", "?と", 12},
      {"LEN", "?", 92},
      {"文字数", "?の", 92},
      {"作業フォルダ", "?へ", 89},
      {"作業ディレクトリ", "", 89},
      {"ファイル合成", "?を, ?へ", 206},
      {"フォームの位置記録", "へ", 275},
      {"フォームの位置復元", "から", 276},
      {"タイマー設定", "?秒後に,?へ飛ぶ", 263},
      {"DDEサーバー作成", "?を呼ぶ,?という", 209},
      {"変数名列挙", "?以上の", 393},
      {"ならば", "", 19},
      {"違えば", "", 20},
      {"でなければ", "", 20},
      {"なら", "", 200},
      {"要素数", "?の", 317},
      {"表行数", "?の", 350},
  };
  for (const Row& row : rows) {
    const CommandEntry* e = find_command(row.name);
    ASSERT_NE(e, nullptr) << row.name;
    EXPECT_STREQ(e->templ, row.templ) << row.name;
    EXPECT_EQ(e->id, row.id) << row.name;
  }
  EXPECT_STREQ(command_entries().front().name, "おわり");
  EXPECT_STREQ(command_entries().back().name, "特殊フォルダ取得");
}

TEST(VocabularyCommands, KeyFormsNeverCollide) {
  // A second command with an existing key form would be refused as a reserved word at start-up,
  // even when both are synonyms of one id.
  std::map<std::string, std::string> owner_of_key;
  for (const CommandEntry& e : command_entries()) {
    std::string key = text::strip_okurigana(text::sjis(e.name));
    auto [it, inserted] = owner_of_key.emplace(key, e.name);
    EXPECT_TRUE(inserted) << e.name << " has the key form of " << it->second;
  }
  EXPECT_EQ(owner_of_key.size(), command_entries().size());

  // System words are registered under their full names and must not meet a command key either.
  for (const SystemWordEntry& w : system_word_entries())
    EXPECT_EQ(owner_of_key.count(text::sjis(w.name)), 0u) << w.name;
}

TEST(VocabularyCommands, AllTextsHaveAShiftJisForm) {
  auto survives = [](const char* utf8) { return text::to_utf8(text::sjis(utf8)) == utf8; };
  for (const CommandEntry& e : command_entries()) {
    EXPECT_TRUE(survives(e.name)) << e.name;
    EXPECT_TRUE(survives(e.templ)) << e.templ;
  }
  for (const SystemWordEntry& w : system_word_entries()) {
    EXPECT_TRUE(survives(w.name)) << w.name;
    EXPECT_TRUE(survives(w.value)) << w.value;
  }
}

TEST(VocabularySystemWords, ManagementNumbersAreUniqueAndInOrder) {
  const auto words = system_word_entries();
  ASSERT_EQ(words.size(), 138u);
  std::set<std::string> names;
  for (std::size_t i = 0; i < words.size(); ++i) {
    EXPECT_EQ(words[i].number, static_cast<int>(i)) << words[i].name;
    names.insert(words[i].name);
    const std::string_view mark = words[i].type_mark;
    EXPECT_TRUE(mark == "s" || mark == "e" || mark.empty()) << words[i].name;
  }
  EXPECT_EQ(names.size(), words.size());
}

TEST(VocabularySystemWords, LiteralValuesAndFlagsOfNotableRows) {
  const SystemWordEntry* newline = find_system_word("改行");
  ASSERT_NE(newline, nullptr);
  EXPECT_STREQ(newline->value, "\r\n");

  const SystemWordEntry* face = find_system_word("文字書体");
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(text::sjis(face->value), "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e");

  // The result word and its companions carry no type and stay writable; counters do not.
  for (const char* name : {"それ", "そ", "そして"}) {
    const SystemWordEntry* w = find_system_word(name);
    ASSERT_NE(w, nullptr) << name;
    EXPECT_STREQ(w->type_mark, "") << name;
    EXPECT_FALSE(w->read_only) << name;
  }
  const SystemWordEntry* count = find_system_word("回数");
  ASSERT_NE(count, nullptr);
  EXPECT_TRUE(count->read_only);
  EXPECT_STREQ(count->value, "0");

  std::size_t read_only = 0;
  for (const SystemWordEntry& w : system_word_entries()) read_only += w.read_only;
  EXPECT_EQ(read_only, 37u);
}

TEST(VocabularySystemWords, PlatformValuesNameTheirSource) {
  const std::map<std::string, int> colours = {
      {"ウィンドウ色", 4},     {"ウインドウ色", 4},   {"デスクトップ色", 1},
      {"アクティブ色", 2},     {"非アクティブ色", 3}, {"選択色", 13},
      {"スクロールバー色", 0}, {"背景色", 1},         {"ウィンドウ背景色", 5},
  };
  std::size_t special_folders = 0;
  for (const SystemWordEntry& w : system_word_entries()) {
    if (w.source != InitialValue::Literal) {
      EXPECT_STREQ(w.value, "") << w.name;
    }
    if (w.source == InitialValue::SpecialFolder) {
      ++special_folders;
      EXPECT_TRUE(w.read_only) << w.name;
    }
    auto colour = colours.find(w.name);
    if (colour == colours.end()) {
      EXPECT_NE(w.source, InitialValue::SystemColor) << w.name;
    } else {
      EXPECT_EQ(w.source, InitialValue::SystemColor) << w.name;
      EXPECT_EQ(w.detail, colour->second) << w.name;
    }
  }
  EXPECT_EQ(special_folders, 15u);

  const std::map<std::string, InitialValue> single_sources = {
      {"母艦のパス", InitialValue::ScriptFolder},
      {"ランタイムのパス", InitialValue::RuntimeFolder},
      {"デスクトップの幅", InitialValue::DesktopWidth},
      {"デスクトップの高さ", InitialValue::DesktopHeight},
      {"コマンドライン引数", InitialValue::CommandLine},
      {"OS", InitialValue::OsName},
  };
  for (const auto& [name, source] : single_sources) {
    const SystemWordEntry* w = find_system_word(name);
    ASSERT_NE(w, nullptr) << name;
    EXPECT_EQ(w->source, source) << name;
  }
}

}  // namespace
