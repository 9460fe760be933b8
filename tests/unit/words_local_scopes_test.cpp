// Local scopes are reused from call to call: a reused scope and the words made in the memory of
// popped ones start blank, and lookups and generations behave as with new ones.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "words/hash.h"

using namespace morivel;
using words::THashNode;
using words::TScopedHash;

namespace {

std::unique_ptr<THashNode> variable(const std::string& name, const std::string& value) {
  return THashNode::CreateVariable(name, false, 0, value);
}

struct Probe : words::WordObject {
  explicit Probe(bool& gone) : gone_(gone) {}
  ~Probe() override { gone_ = true; }
  bool& gone_;
};

void expect_blank_variable(const THashNode* word, const std::string& name, std::int32_t tag) {
  ASSERT_NE(word, nullptr) << name;
  long double number = 0;
  EXPECT_EQ(word->Name, name);
  EXPECT_EQ(word->Tag, tag);
  EXPECT_EQ(word->GetValue(), "");
  EXPECT_EQ(word->Kind, words::kVariable);
  EXPECT_FALSE(word->Reserved);
  EXPECT_EQ(word->Obj, nullptr);
  EXPECT_EQ(word->Extra, "");
  EXPECT_EQ(word->TypeMark, "");
  EXPECT_FALSE(word->HasTable());
  EXPECT_FALSE(word->StoredNumber(number));
}

}  // namespace

TEST(WordsLocalScopes, ReusedScopeAndWordMemoryStartBlank) {
  TScopedHash table;
  table.Add(variable("g", "global"));
  bool object_gone = false;
  for (int round = 0; round < 3; ++round) {
    table.PushScope();
    EXPECT_EQ(table.FindScoped("a"), nullptr) << round;
    EXPECT_EQ(table.FindScoped("g")->GetValue(), "global") << round;
    table.AddLocalVariable("a", round);
    table.AddLocalVariable("b", round);
    expect_blank_variable(table.FindScoped("a"), "a", round);
    expect_blank_variable(table.FindScoped("b"), "b", round);
    // Leave everything a word can hold behind in the words that are popped next.
    THashNode* a = table.FindScoped("a");
    a->SetNumber(7, [](long double) { return std::string("7"); });
    a->Extra = "extra";
    a->TypeMark = "e";
    a->SetKind(words::kHash);
    a->Obj = std::make_shared<Probe>(object_gone);
    THashNode* b = table.FindScoped("b");
    b->SetValue("x,y");
    b->SetCell(1, 1, "z");
    b->Reserved = true;
    table.AddLocal(variable("g", "local"));
    EXPECT_EQ(table.FindScoped("g")->GetValue(), "local");
    object_gone = false;
    table.PopScope();
    EXPECT_TRUE(object_gone) << "a word's object outlived its scope";
    EXPECT_EQ(table.FindScoped("a"), nullptr);
    EXPECT_EQ(table.FindScoped("b"), nullptr);
    EXPECT_EQ(table.FindScoped("g")->GetValue(), "global");
  }
  // With no scope open the variable is a global, as AddLocal has it.
  table.AddLocalVariable("top", 5);
  expect_blank_variable(table.Find("top"), "top", 5);
}

TEST(WordsLocalScopes, GenerationsMoveInReusedScopes) {
  TScopedHash table;
  table.Add(variable("g", "global"));
  for (int round = 0; round < 3; ++round) {
    table.PushScope();
    std::uint64_t generation = table.Generation();
    std::uint64_t names = table.NamesGeneration();
    table.AddLocalVariable("n", 0);
    EXPECT_NE(table.Generation(), generation) << round;
    EXPECT_NE(table.NamesGeneration(), names) << "a new name came " << round;

    generation = table.Generation();
    std::uint64_t shadows = table.ShadowsGeneration();
    table.AddLocalVariable("g", 0);
    EXPECT_NE(table.Generation(), generation) << round;
    EXPECT_NE(table.ShadowsGeneration(), shadows) << "a global was hidden " << round;
    bool global = true;
    EXPECT_EQ(table.FindScoped("g", false, &global)->GetValue(), "");
    EXPECT_FALSE(global);

    // A second local of a name in the same scope replaces the first.
    generation = table.Generation();
    table.AddLocalVariable("n", 1);
    EXPECT_NE(table.Generation(), generation) << round;
    EXPECT_EQ(table.FindScoped("n")->Tag, 1);

    generation = table.Generation();
    names = table.NamesGeneration();
    table.PopScope();
    EXPECT_NE(table.Generation(), generation) << round;
    EXPECT_NE(table.NamesGeneration(), names) << "a name went " << round;
    EXPECT_EQ(table.FindScoped("n"), nullptr);
    EXPECT_EQ(table.FindScoped("g", false, &global)->GetValue(), "global");
    EXPECT_TRUE(global);
  }
}

TEST(WordsLocalScopes, ManyNamesAndDeepNestingPastWhatIsKept) {
  TScopedHash table;
  const std::size_t many = TScopedHash::kKeptLocalNames + 100;
  for (int round = 0; round < 2; ++round) {
    table.PushScope();
    for (std::size_t i = 0; i < many; ++i)
      table.AddLocal(variable("v" + std::to_string(i), std::to_string(i)));
    EXPECT_EQ(table.FindScoped("v1000")->GetValue(), "1000");
    std::uint64_t names = table.NamesGeneration();
    table.PopScope();
    EXPECT_NE(table.NamesGeneration(), names);
    for (std::size_t i = 0; i < many; i += 97)
      EXPECT_EQ(table.FindScoped("v" + std::to_string(i)), nullptr) << round << " " << i;
  }
  // Three words a level: past the spare words kept, as well as the spare scopes.
  const int depth = static_cast<int>(TScopedHash::kSpareScopes) * 2;
  for (int round = 0; round < 2; ++round) {
    for (int level = 0; level < depth; ++level) {
      table.PushScope();
      const THashNode* outer = table.FindScoped("x");
      if (level == 0)
        EXPECT_EQ(outer, nullptr);
      else
        EXPECT_EQ(outer->GetValue(), std::to_string(level - 1));
      for (const char* name : {"x", "y", "z"}) {
        table.AddLocalVariable(name, level);
        expect_blank_variable(table.FindScoped(name), name, level);
      }
      table.FindScoped("x")->SetValue(std::to_string(level));
    }
    for (int level = depth; level-- > 0;) {
      EXPECT_EQ(table.FindScoped("x")->GetValue(), std::to_string(level));
      table.PopScope();
    }
    EXPECT_EQ(table.FindScoped("x"), nullptr);
    EXPECT_EQ(table.ScopeCount(), 0u);
  }
}

namespace {

// What FindScoped must give for one name, and whether it came from the global words.
struct Seen {
  std::string value;  // every word gets a value of its own, so a reused address still differs
  bool global = true;
  bool found = false;
  bool operator==(const Seen&) const = default;
};

struct ScopeModel {
  std::map<std::string, std::string> globals;
  std::vector<std::map<std::string, std::string>> scopes;

  Seen Lookup(const std::string& name) const {
    for (auto scope = scopes.rbegin(); scope != scopes.rend(); ++scope)
      if (auto found = scope->find(name); found != scope->end())
        return {found->second, false, true};
    if (auto found = globals.find(name); found != globals.end()) return {found->second, true, true};
    return {};
  }
};

}  // namespace

TEST(WordsLocalScopes, RandomCallsAgreeWithAModelAndKeepTheGenerationRules) {
  std::mt19937 random(20261210);
  std::vector<std::string> names;
  for (char c : std::string("abcdefghij")) names.emplace_back(1, c);
  TScopedHash table;
  ScopeModel model;
  for (const char* name : {"a", "b", "c"}) {
    table.Add(variable(name, std::string("global ") + name));
    model.globals[name] = std::string("global ") + name;
  }
  auto seen_all = [&] {
    std::map<std::string, Seen> seen;
    for (const std::string& name : names) {
      bool global = true;
      const THashNode* word = table.FindScoped(name, false, &global);
      seen[name] = word ? Seen{word->GetValue(), global, true} : Seen{};
    }
    return seen;
  };
  int made = 0;
  for (int step = 0; step < 20000; ++step) {
    const std::map<std::string, Seen> before = seen_all();
    const std::uint64_t generation = table.Generation();
    const std::uint64_t names_generation = table.NamesGeneration();
    const std::uint64_t shadows = table.ShadowsGeneration();
    const int choice = static_cast<int>(random() % 10);
    const std::string& name = names[random() % names.size()];
    if (choice < 3 && model.scopes.size() < 150) {
      table.PushScope();
      model.scopes.emplace_back();
    } else if (choice < 6) {
      table.PopScope();
      if (!model.scopes.empty()) model.scopes.pop_back();
    } else {
      const std::string value = "w" + std::to_string(++made);
      table.AddLocalVariable(name, 0);
      table.FindScoped(name)->SetValue(value);
      (model.scopes.empty() ? model.globals[name] : model.scopes.back()[name]) = value;
    }
    const std::map<std::string, Seen> after = seen_all();
    for (const std::string& each : names) {
      ASSERT_EQ(after.at(each), model.Lookup(each)) << "step " << step << " name " << each;
      const Seen& was = before.at(each);
      const Seen& now = after.at(each);
      if (table.Generation() == generation) {
        ASSERT_EQ(now, was) << "found another word at the same generation, step " << step;
      }
      if (table.NamesGeneration() == names_generation) {
        ASSERT_EQ(now.found, was.found) << "a name came or went unseen, step " << step;
      }
      if (was.global && table.NamesGeneration() == names_generation &&
          table.ShadowsGeneration() == shadows) {
        ASSERT_EQ(now, was) << "a global stopped being found unseen, step " << step;
      }
    }
  }
}
