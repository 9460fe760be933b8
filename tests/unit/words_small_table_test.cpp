// The word table's two forms (a short list, then buckets) behave as one, and okurigana-free
// lookups skip the stripped name only when stripping would change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"
#include "words/hash.h"

using namespace morivel;
using morivel::text::sjis;
using words::THash;
using words::THashNode;

namespace {

std::unique_ptr<THashNode> variable(const std::string& name, const std::string& value) {
  return THashNode::CreateVariable(name, false, 0, value);
}

// What a table must hold: words in insertion order (a replaced word keeps its place); the
// listing is by bucket, then insertion.
struct Model {
  std::vector<std::pair<std::string, std::string>> words;

  void Add(const std::string& name, const std::string& value) {
    for (auto& word : words)
      if (word.first == name) {
        word.second = value;
        return;
      }
    words.emplace_back(name, value);
  }
  bool Delete(const std::string& name) {
    return std::erase_if(words, [&](const auto& w) { return w.first == name; }) > 0;
  }
  std::string Listing() const {
    auto sorted = words;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
      return THash::BucketOf(a.first) < THash::BucketOf(b.first);
    });
    std::string out;
    for (const auto& [name, value] : sorted) out += name + "=" + value + "\r\n";
    return text::trim(out);
  }
};

// Names whose byte sums collide often (a few buckets, many names each) and that arrive out of
// bucket order, so that both the place by bucket and the order within one show.
std::vector<std::string> crowded_names() {
  std::vector<std::string> names;
  for (char a : std::string("ACEGBDF"))
    for (char b : std::string("0213")) names.push_back(std::string{a, b});
  names.push_back(sjis("表示"));
  names.push_back(sjis("読込"));
  return names;
}

void expect_same(const THash& table, const Model& model, const std::vector<std::string>& pool,
                 const std::string& step) {
  ASSERT_EQ(table.Count(), static_cast<int>(model.words.size())) << step;
  ASSERT_EQ(table.GetAsText(), model.Listing()) << step;
  for (const std::string& name : pool) {
    auto it = std::find_if(model.words.begin(), model.words.end(),
                           [&](const auto& w) { return w.first == name; });
    const THashNode* found = table.Find(name);
    if (it == model.words.end()) {
      ASSERT_EQ(found, nullptr) << step << " " << name;
    } else {
      ASSERT_NE(found, nullptr) << step << " " << name;
      ASSERT_EQ(found->GetValue(), it->second) << step << " " << name;
    }
  }
}

}  // namespace

TEST(WordsSmallTable, GrowingPastTheListKeepsOrderAndLookups) {
  THash table;
  Model model;
  const auto pool = crowded_names();
  ASSERT_GT(static_cast<int>(pool.size()), THash::kFewWords + 4);
  for (std::size_t i = 0; i < pool.size(); ++i) {
    table.Add(variable(pool[i], std::to_string(i)));
    model.Add(pool[i], std::to_string(i));
    expect_same(table, model, pool, "add " + pool[i]);
    // Replacing the first word each time keeps its place in either form.
    table.Add(variable(pool[0], "r" + std::to_string(i)));
    model.Add(pool[0], "r" + std::to_string(i));
    expect_same(table, model, pool, "replace at " + pool[i]);
  }
  // Deleting back below the list size, from the middle and both ends.
  for (std::size_t i = 0; i < pool.size(); ++i) {
    const std::string& name = pool[(i * 7) % pool.size()];
    EXPECT_EQ(table.Delete(name) >= 0, model.Delete(name)) << name;
    expect_same(table, model, pool, "delete " + name);
    if (i % 3 == 0) {
      table.Add(variable(name, "back"));
      model.Add(name, "back");
      expect_same(table, model, pool, "add back " + name);
    }
  }
}

TEST(WordsSmallTable, RandomChangesAroundTheListSize) {
  const auto pool = crowded_names();
  std::mt19937 random(20261210);
  THash table;
  Model model;
  for (int step = 0; step < 3000; ++step) {
    const std::string& name = pool[random() % pool.size()];
    // Deleting a little more often than adding keeps the count wandering around the list size.
    switch (random() % 9) {
      case 0:
      case 1:
      case 2:
      case 3:
        table.Add(variable(name, std::to_string(step)));
        model.Add(name, std::to_string(step));
        break;
      case 8:
        if (step % 500 == 0) {
          table.Clear();
          model.words.clear();
          break;
        }
        [[fallthrough]];
      default: {
        const int left = table.Delete(name);
        EXPECT_EQ(left, model.Delete(name) ? table.Count() : -1);
        break;
      }
    }
    expect_same(table, model, pool, "step " + std::to_string(step));
  }
}

TEST(WordsSmallTable, ReservedWordsRefuseReplacementInBothForms) {
  for (int filler : {0, THash::kFewWords + 5}) {
    THash table;
    for (int i = 0; i < filler; ++i) table.Add(variable("v" + std::to_string(i), ""));
    table.Add(std::make_unique<THashNode>("X", true, nullptr, words::kCommand, 7, "", "", ""));
    const std::string listing = table.GetKeysText();
    EXPECT_THROW(table.Add(variable("X", "1")), GeneralError) << filler;
    ASSERT_NE(table.Find("X"), nullptr);
    EXPECT_EQ(table.Find("X")->Kind, words::kCommand);
    EXPECT_EQ(table.GetKeysText(), listing);
    EXPECT_EQ(table.Count(), filler + 1);
  }
}

TEST(WordsSmallTable, NameChangesMoveBothGenerationsInBothForms) {
  for (int filler : {0, THash::kFewWords + 5}) {
    THash table;
    for (int i = 0; i < filler; ++i) table.Add(variable("v" + std::to_string(i), ""));
    auto expect_moved = [&table](auto change, const char* what) {
      const auto generation = table.Generation();
      const auto names = table.NamesGeneration();
      change();
      EXPECT_NE(table.Generation(), generation) << what;
      EXPECT_NE(table.NamesGeneration(), names) << what;
      EXPECT_NE(table.Generation(), table.NamesGeneration()) << what;
    };
    expect_moved([&] { table.Add(variable("a", "1")); }, "add");
    expect_moved([&] { table.Add(variable("a", "2")); }, "replace");
    expect_moved([&] { table.Delete("a"); }, "delete");
    const auto generation = table.Generation();
    const auto names = table.NamesGeneration();
    EXPECT_EQ(table.Delete("a"), -1);
    EXPECT_EQ(table.Generation(), generation) << "a failed delete changes nothing";
    EXPECT_EQ(table.NamesGeneration(), names);
    expect_moved([&] { table.Clear(); }, "clear");
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.Find("v1"), nullptr);
  }
}

TEST(WordsSmallTable, OkuriganaCheckAgreesWithStripping) {
  // Expected answers are spelled out: strip_okurigana takes its early return from the check, so
  // comparing the two alone could not catch a fault they share.
  const std::vector<std::pair<std::string, bool>> names = {
      {"", false},
      {"N", false},
      {"abc1", false},
      {sjis("表示"), false},
      {sjis("フィボ"), false},
      {sjis("おわり"), false},
      {sjis("あ表"), false},
      {sjis("ab") + sjis("あ"), false},
      {sjis("ぁ表ぁ"), false},  // the small ぁ is not okurigana
      {sjis("読み込む"), true},
      {sjis("文字列として扱う"), true},
      {sjis("終わり"), true},
      {sjis("カウンタを"), true},        // katakana is not hiragana
      {sjis("１つ"), true},              // nor a full-width digit
      {sjis("表A") + sjis("み"), true},  // a single-byte character does not end the run
      {std::string("\x95\x5c\x7f\x82\xa2"), true},
      {std::string("\x95\x82\xa0"), false},       // 0x82 here is a trail byte
      {std::string("\x95\x5c\x82"), false},       // a lead byte cut off at the end
      {std::string("\x82\0\x82\xa0", 4), false},  // a lead byte before NUL stands alone
      {std::string("\x82\xa0\x82"), false},
      {std::string("\xff\x82\xa0"), false},  // a byte that leads nothing
  };
  for (const auto& [name, changes] : names) {
    EXPECT_EQ(text::okurigana_changes(name), changes) << text::to_utf8(name);
    EXPECT_EQ(text::strip_okurigana(name) != name, changes) << text::to_utf8(name);
  }
}

TEST(WordsSmallTable, OkuriganaLookupsPreferTheStrippedNameInBothForms) {
  for (int filler : {0, THash::kFewWords + 5}) {
    THash table;
    for (int i = 0; i < filler; ++i) table.Add(variable("v" + std::to_string(i), ""));
    table.Add(variable(sjis("読み込む"), "full"));
    table.Add(variable(sjis("読込"), "short"));
    table.Add(variable(sjis("フィボ"), "kana"));
    EXPECT_EQ(table.GetValueOf(sjis("読み込む"), true), "short") << filler;
    EXPECT_EQ(table.GetValueOf(sjis("読み込む"), false), "full") << filler;
    EXPECT_EQ(table.GetValueOf(sjis("フィボ"), true), "kana") << filler;
    // Deleting with okurigana takes both forms.
    EXPECT_EQ(table.Delete(sjis("読み込む"), true), filler + 1);
    EXPECT_EQ(table.Find(sjis("読込")), nullptr);
  }
}

TEST(WordsSmallTable, ScopedLookupsAcrossScopesWithOkurigana) {
  words::TScopedHash table;
  table.Add(variable(sjis("読込"), "global"));
  table.PushScope();
  table.AddLocal(variable(sjis("読み込む"), "outer"));
  table.PushScope();
  table.AddLocal(variable("N", "inner"));
  EXPECT_EQ(table.FindScoped(sjis("読み込む"), true)->GetValue(), "outer");
  EXPECT_EQ(table.FindScoped("N", true)->GetValue(), "inner");
  table.PopScope();
  EXPECT_EQ(table.FindScoped("N", true), nullptr);
  table.PopScope();
  EXPECT_EQ(table.FindScoped(sjis("読み込む"), true)->GetValue(), "global");
}

TEST(WordsSmallTable, KindSetterCountsOnlyAChangeOfKind) {
  auto word = variable("A", "1");
  const auto before = words::KindChanges();
  word->SetKind(words::kVariable);
  EXPECT_EQ(words::KindChanges(), before);
  word->SetKind(words::kHash);
  EXPECT_EQ(word->Kind, words::kHash);
  EXPECT_EQ(words::KindChanges(), before + 1);
}
