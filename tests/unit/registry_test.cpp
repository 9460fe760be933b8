#include <gtest/gtest.h>

#include <set>

#include "commands/registry.h"
#include "text/encoding.h"
#include "words/errors.h"

using namespace morivel;
using morivel::text::sjis;

namespace {

struct Registered {
  words::TMorvBase state;
  Registered() { commands::RegisterVocabulary(state, commands::PlatformInfo()); }
};

}  // namespace

TEST(Registry, WholeVocabularyRegistersWithoutClashes) {
  Registered r;
  int commands = 0, system_words = 0, parts = 0;
  std::set<int> ids;
  for (const words::THashNode* w : r.state.Words.Enumerate()) {
    if (w->Kind == words::kCommand) {
      ++commands;
      ids.insert(w->Tag);
    } else if (w->Kind == words::kVariable && w->Tag == -1) {
      ++system_words;
    } else if (w->Kind == words::kPart) {
      ++parts;
    }
  }
  EXPECT_EQ(commands, 603);
  EXPECT_EQ(ids.size(), 571u);
  EXPECT_EQ(system_words, 138);
  EXPECT_EQ(parts, 1);
  EXPECT_EQ(r.state.Words.Count(), 603 + 138 + 1);
}

TEST(Registry, CommandsAreFoundByConjugatedForms) {
  Registered r;
  for (const char* form : {"終わる", "終われ", "おわり", "おわる"}) {
    const words::THashNode* w = r.state.Words.Find(sjis(form), true);
    ASSERT_NE(w, nullptr) << form;
    EXPECT_EQ(w->Tag, 2) << form;
  }
  const words::THashNode* say = r.state.Words.Find(sjis("言って"), true);
  ASSERT_NE(say, nullptr);
  EXPECT_EQ(say->Tag, 12);
  EXPECT_EQ(say->Extra, sjis("?と"));
  EXPECT_EQ(r.state.Words.Find(sjis("LEN"))->Tag, r.state.Words.Find(sjis("文字数"))->Tag);
}

TEST(Registry, SystemWordsCarryValuesMarksAndReadOnlyFlags) {
  Registered r;
  const auto* kaisu = r.state.Words.Find(sjis("回数"));
  ASSERT_NE(kaisu, nullptr);
  EXPECT_TRUE(kaisu->Reserved);
  EXPECT_EQ(kaisu->TypeMark, "e");
  EXPECT_EQ(kaisu->GetValue(), "0");
  EXPECT_EQ(r.state.Words.Find(sjis("改行"))->GetValue(), "\r\n");
  EXPECT_EQ(r.state.Words.Find(sjis("文字書体"))->GetValue(), sjis("ＭＳ ゴシック"));
  EXPECT_EQ(r.state.Words.Find("OS")->GetValue(), "Linux");
  EXPECT_FALSE(r.state.Words.Find(sjis("それ"))->Reserved);
  EXPECT_EQ(r.state.Sys.Sore, r.state.Words.Find(sjis("それ")));
  EXPECT_EQ(r.state.Sys.So->Tag, -1);
  std::string temp = r.state.Words.Find(sjis("TEMPのパス"))->GetValue();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '/');
  const auto* main_window = r.state.Words.Find(sjis("母艦"));
  ASSERT_NE(main_window, nullptr);
  EXPECT_EQ(main_window->TypeMark, sjis("メインフォーム"));
  EXPECT_EQ(r.state.Parts.IndexOfName(sjis("母艦")), 0);
}

TEST(Registry, ReservedNamesCannotBeTakenByScriptWords) {
  Registered r;
  EXPECT_THROW(r.state.Words.Add(words::THashNode::CreateVariable(sjis("言"), false, 0, "")),
               GeneralError);
  EXPECT_THROW(r.state.Words.Add(words::THashNode::CreateVariable(sjis("回数"), false, 0, "")),
               GeneralError);
}

TEST(Registry, EmptyHandlerSlotsReadAsNullAndIdsAreBounded) {
  const auto& table = commands::handler_table();
  EXPECT_EQ(table.Get(177), nullptr);
  EXPECT_THROW(table.Get(601), std::out_of_range);
  EXPECT_THROW(table.Get(-1), std::out_of_range);
}

TEST(Registry, ManagementNumberGivenTwiceNamesTheSecondWord) {
  commands::ManagementNumbers numbers;
  numbers.Claim(sjis("それ"), 91);
  try {
    numbers.Claim(sjis("新しい"), 91);
    FAIL() << "expected a collision";
  } catch (const GeneralError& e) {
    EXPECT_EQ(std::string(e.what()), sjis("新しいは既に使われている管理番号91が指定されてます。"));
  }
  EXPECT_THROW(numbers.Claim("x", 256), std::out_of_range);
  EXPECT_NO_THROW(numbers.Claim("y", 255));
}
