#include <gtest/gtest.h>

#include "text/encoding.h"
#include "words/errors.h"
#include "words/hash.h"
#include "words/stack.h"

using namespace morivel;
using morivel::text::sjis;
using words::THash;
using words::THashNode;

namespace {

std::unique_ptr<THashNode> variable(const std::string& name, const std::string& value) {
  return THashNode::CreateVariable(name, false, 0, value);
}

std::unique_ptr<THashNode> reserved_command(const std::string& name) {
  return std::make_unique<THashNode>(name, true, nullptr, words::kCommand, 7, "", "", "?を");
}

}  // namespace

TEST(WordsHash, BucketIsByteSumModulo256) {
  EXPECT_EQ(THash::BucketOf("A"), 65);
  EXPECT_EQ(THash::BucketOf(std::string("\xFF\x02", 2)), 1);
  EXPECT_EQ(THash::BucketOf(""), 0);
}

TEST(WordsHash, ReservedNameRefusesSecondRegistrationAndKeepsFirst) {
  THash h;
  h.Add(reserved_command("X"));
  try {
    h.Add(variable("X", "1"));
    FAIL() << "expected a reserved-word error";
  } catch (const GeneralError& e) {
    EXPECT_EQ(std::string(e.what()), "\"X" + sjis("\"は予約語なので、登録できません。"));
  }
  ASSERT_NE(h.Find("X"), nullptr);
  EXPECT_EQ(h.Find("X")->Kind, words::kCommand);
  EXPECT_EQ(h.Count(), 1);
}

TEST(WordsHash, ReplacingKeepsCountAndEnumerationPlace) {
  THash h;
  // "A" and "!\x20" share bucket 65, so insertion order within the bucket is visible.
  h.Add(variable("A", "1"));
  h.Add(variable("! ", "2"));
  h.Add(variable("A", "3"));
  EXPECT_EQ(h.Count(), 2);
  auto all = h.Enumerate();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0]->Name, "A");
  EXPECT_EQ(all[0]->GetValue(), "3");
  EXPECT_EQ(h.GetAsText(), "A=3\r\n! =2");
}

TEST(WordsHash, OkuriganaLookupsBothWays) {
  THash h;
  h.Add(reserved_command(sjis("読込")));
  EXPECT_NE(h.Find(sjis("読み込む"), true), nullptr);
  EXPECT_NE(h.Find(sjis("読込"), false), nullptr);
  EXPECT_EQ(h.Find(sjis("読み込む"), false), nullptr);
  EXPECT_EQ(h.Find(sjis("よみこむ"), true), nullptr);
  EXPECT_EQ(h.Find("", true), nullptr);
  EXPECT_EQ(h.Delete(sjis("読み込む"), true), 0);
  EXPECT_EQ(h.Delete(sjis("読込")), -1);
}

TEST(WordsHash, SetFromTextJoinsContinuationLines) {
  THash h;
  h.SetFromText("a=1\r\nb=2\r\n3");
  EXPECT_EQ(h.GetValueOf("a"), "1");
  EXPECT_EQ(h.GetValueOf("b"), "2\r\n3");
  THash g;
  g.SetFromText("k=v\r\n\r\nm=w=x\r\n");
  EXPECT_EQ(g.GetValueOf("k"), "v");
  EXPECT_EQ(g.GetValueOf("m"), "w=x");
  EXPECT_EQ(g.Count(), 2);
}

TEST(WordsHash, TextFormsAreTrimmed) {
  THash h;
  EXPECT_EQ(h.GetAsText(), "");
  EXPECT_EQ(h.GetKeysText(), "");
  h.Add(variable("x", "1"));
  EXPECT_EQ(h.GetAsText(), "x=1");
  EXPECT_EQ(h.GetKeysText(), "x");
}

TEST(WordsHash, GuessTypeFromFirstCharacter) {
  auto w = variable("v", "$FF");
  w->GuessType();
  EXPECT_EQ(w->TypeMark, "e");
  w->SetValue("12abc");
  w->GuessType();
  EXPECT_EQ(w->TypeMark, "e");
  w->SetValue("-5");
  w->GuessType();
  EXPECT_EQ(w->TypeMark, "s");
  w->SetValue("");
  w->GuessType();
  EXPECT_EQ(w->TypeMark, "");
}

TEST(WordsHash, TableViewRendersValueUntilNextSetValue) {
  auto w = variable("v", "a,b");
  EXPECT_EQ(w->GetCell(1, 0), "b");
  // A view made for reading leaves the value byte for byte; a change renders it.
  EXPECT_EQ(w->GetValue(), "a,b");
  w->SetCell(0, 0, "c");
  EXPECT_EQ(w->GetValue(), "c,b\r\n");
  w->SetValue("x");
  EXPECT_FALSE(w->HasTable());
  EXPECT_EQ(w->GetValue(), "x");
}

TEST(WordsHash, KeptValueComesBackAsItWas) {
  THashNode::NumberText marked = [](long double n) {
    return "n" + std::to_string(static_cast<int>(n));
  };
  auto w = variable("v", "");
  w->SetNumber(12, marked);
  EXPECT_EQ(w->GetValue(), "n12");  // the text is made, the number still held
  THashNode::KeptValue number = w->KeepValue();
  w->SetValue("other");
  w->RestoreValue(std::move(number));
  long double n = 0;
  ASSERT_TRUE(w->StoredNumber(n));
  EXPECT_EQ(n, 12);
  EXPECT_EQ(w->GetValue(), "n12");

  w->SetCell(1, 0, "b");  // a changed view goes back as its text, no longer a number
  THashNode::KeptValue view = w->KeepValue();
  w->SetNumber(3, marked);
  w->RestoreValue(std::move(view));
  EXPECT_FALSE(w->StoredNumber(n));
  EXPECT_EQ(w->GetValue(), "n12,b\r\n");

  // A whole number set as an integer reads back the same both ways until the text changes.
  w->SetWhole(-7, marked);
  std::int64_t whole = 0;
  ASSERT_TRUE(w->StoredWhole(whole));
  EXPECT_EQ(whole, -7);
  ASSERT_TRUE(w->StoredNumber(n));
  EXPECT_EQ(n, -7);
  EXPECT_EQ(w->GetValue(), "n-7");
  w->AppendValue("x");
  EXPECT_FALSE(w->StoredWhole(whole));
  EXPECT_EQ(w->GetValue(), "n-7x");
}

TEST(WordsHash, TableViewRowAndCellAccessPads) {
  auto w = variable("v", "a\r\nb\r\nc");
  EXPECT_EQ(w->GetRow(1), "b");
  EXPECT_EQ(w->GetRow(3), "");
  EXPECT_EQ(w->GetRow(-1), "");
  auto one = variable("one", "x");
  one->SetRow(2, "y");
  EXPECT_EQ(one->GetValue(), "x\r\n\r\ny\r\n");
  auto cells = variable("c", "");
  cells->SetCell(1, 1, "z");
  EXPECT_EQ(cells->GetValue(), "\r\n,z\r\n");  // an empty row slot is a bare line
}

TEST(WordsHash, AssignSharesObjectAndCopiesValue) {
  auto hash = std::make_unique<THashNode>("h", false, std::make_shared<THash>(), words::kHash, 0,
                                          "hs", "", "");
  hash->InnerHash()->Add(variable("k", "v"));
  auto copy = variable("c", "");
  copy->Assign(*hash);
  EXPECT_EQ(copy->Name, "c");
  EXPECT_EQ(copy->Kind, words::kHash);
  ASSERT_NE(copy->InnerHash(), nullptr);
  EXPECT_EQ(copy->InnerHash()->GetValueOf("k"), "v");
  hash.reset();  // the copy keeps the inner table alive
  EXPECT_EQ(copy->InnerHash()->GetValueOf("k"), "v");
}

TEST(WordsScopedHash, LocalShadowsGlobalUntilPopped) {
  words::TScopedHash h;
  h.AddLocal(variable("x", "global"));  // no scope yet: goes to the global words
  EXPECT_EQ(h.Count(), 1);
  h.PushScope();
  h.AddLocal(variable("x", "local"));
  EXPECT_EQ(h.FindScoped("x")->GetValue(), "local");
  EXPECT_EQ(h.Find("x")->GetValue(), "global");
  h.PopScope();
  EXPECT_EQ(h.FindScoped("x")->GetValue(), "global");
  h.PopScope();  // nothing to pop: harmless
  EXPECT_EQ(h.ScopeCount(), 0u);
}

// Names longer than any indexed one are none without hashing them; a longer name added later,
// also when a small table grows into buckets or a scope adds it, is found.
TEST(WordsScopedHash, LongNamesFoundOnceAdded) {
  words::TScopedHash h;
  const std::string long_name(300, 'n');
  for (int i = 0; i < 20; ++i) h.Add(variable("w" + std::to_string(i), "v"));
  EXPECT_EQ(h.FindScoped(long_name), nullptr);
  h.Add(variable(long_name, "global"));
  ASSERT_NE(h.FindScoped(long_name), nullptr);
  h.PushScope();
  h.AddLocal(variable("x", "local"));
  const std::string longer = long_name + "!";
  EXPECT_EQ(h.FindScoped(longer), nullptr);
  h.AddLocal(variable(longer, "local"));
  ASSERT_NE(h.FindScoped(longer), nullptr);
  EXPECT_EQ(h.FindScoped(longer)->GetValue(), "local");
  words::THash grown;
  grown.Add(variable(long_name, ""));  // added while the table was small
  for (int i = 0; i < 20; ++i) grown.Add(variable("w" + std::to_string(i), ""));
  EXPECT_NE(grown.Find(long_name), nullptr);
  EXPECT_EQ(grown.Find(longer), nullptr);
}

TEST(WordsStack, PopShiftPeekAndEmptyStack) {
  words::TStack s;
  EXPECT_EQ(s.Pop(), "");
  EXPECT_EQ(s.Shift(), "");
  EXPECT_TRUE(s.Empty());
  s.Push("a");
  s.Push("b");
  s.Push("c");
  EXPECT_EQ(s.Peek(0), "a");
  EXPECT_EQ(s.Peek(3), "");
  EXPECT_EQ(s.Pop(), "c");
  EXPECT_EQ(s.Shift(), "a");
  EXPECT_EQ(s.Count(), 1u);
}

TEST(WordsObjList, LookupsSkipEmptySlots) {
  words::TObjList list;
  EXPECT_EQ(list.Add(std::make_unique<words::TObjNode>("main", nullptr, 0, 0)), 0u);
  EXPECT_EQ(list.Add(std::make_unique<words::TObjNode>("b", nullptr, 1, 1)), 1u);
  list.Add(std::make_unique<words::TObjNode>("b", nullptr, 2, 1));
  EXPECT_EQ(list.Get(3), nullptr);
  list.Put(1, nullptr);
  EXPECT_EQ(list.IndexOfName("b"), 2);
  EXPECT_EQ(list.FindByName("zz"), nullptr);
  list.Put(9, nullptr);  // out of range: ignored
  EXPECT_EQ(list.Count(), 3u);
}
