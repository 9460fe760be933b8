// Word table: words (THashNode), bucketed tables (THash) and the scoped table with local scopes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace morivel::formats {
class TCsvDb;
}

namespace morivel::words {

// Kinds of word.
enum WordKind : std::uint8_t {
  kCommand = 0,
  kLabel = 2,
  kVariable = 3,
  kPart = 4,
  kDllFunction = 5,
  kHash = 6,
};

// Whatever a word refers to besides its value: a hash's inner table, a label's position, a DLL
// call record. Shared, because copying a word (単語コピー) shares the object with the copy.
class WordObject {
 public:
  virtual ~WordObject() = default;
};

class THash;

// Counts the words that took another word's kind (THashNode::Assign): together with a table's
// NamesGeneration it tells whether what a name is known as may have changed.
std::uint64_t KindChanges();

// The highest record or column number an element assignment may name: a larger one would make
// every record up to it.
inline constexpr std::int64_t kMaxElementIndex = 1000000;

class THashNode final {
 public:
  THashNode(std::string name, bool reserved, std::shared_ptr<WordObject> obj, std::uint8_t kind,
            std::int32_t tag, std::string type_mark, std::string value, std::string extra);
  // A plain variable: no object, no type mark, no extra.
  THashNode(std::string name, bool reserved, std::int32_t tag, std::string value);
  static std::unique_ptr<THashNode> CreateVariable(std::string name, bool reserved,
                                                   std::int32_t tag, std::string value);
  ~THashNode();
  THashNode(const THashNode&) = delete;
  THashNode& operator=(const THashNode&) = delete;

  // The value as text; rendered from the table view when one is cached.
  std::string GetValue() const;
  // Replaces the value and drops any table view.
  void SetValue(std::string value);
  // SetValue(GetValue() + more), growing the value where it lies.
  void AppendValue(std::string_view more);
  // SetValue for a whole number below 10^15, whose text reads back as exactly that number: the
  // text is made by `text_of` only when someone needs it, and arithmetic takes the number as it
  // is. Other numbers are set as their text.
  using NumberText = std::string (*)(long double);
  void SetNumber(long double number, NumberText text_of);
  // SetNumber of a whole number below 10^15 already in integer form.
  void SetWhole(std::int64_t number, NumberText text_of);
  // The value as it stands, for RestoreValue to put back exactly: a number stays a number.
  struct KeptValue {
    std::string text;
    long double number = 0;
    NumberText text_of = nullptr;  // set for a number
  };
  KeptValue KeepValue() const;
  void RestoreValue(KeptValue kept);
  // The whole number SetNumber stored, while the value is still that number.
  bool StoredNumber(long double& out) const {
    if (!has_number_) return false;
    out = static_cast<long double>(number_);
    return true;
  }
  bool StoredWhole(std::int64_t& out) const {
    if (!has_number_) return false;
    out = number_;
    return true;
  }
  // Copies everything but the name from another word (sharing its object).
  void Assign(const THashNode& other);
  // Changes the kind of a word that may already be in a table; a new kind is counted in
  // KindChanges, as Assign does, so that what the name is known as is looked at again.
  void SetKind(std::uint8_t kind);

  // Table view access: records and cells of the value read as CSV, counted from 0.
  std::string GetRow(std::int64_t record);
  // GetRow's text in place, where the record is one plain cell; valid until the table changes.
  std::optional<std::string_view> PlainRow(std::int64_t record);
  std::string GetCell(std::int64_t column, std::int64_t record);
  void SetRow(std::int64_t record, std::string_view csv_record);
  void SetCell(std::int64_t column, std::int64_t record, std::string_view text);
  void SetTable(const formats::TCsvDb& table);
  // The cached table view, built from the value when needed.
  formats::TCsvDb& Table();
  bool HasTable() const { return table_ != nullptr; }

  // Sets TypeMark from the value: "" for empty, "e" for "$" or a leading digit, else "s".
  void GuessType();

  // The inner table of a hash word, or nullptr.
  THash* InnerHash() const;

  std::string Name;
  std::string Extra;
  std::string TypeMark;
  std::uint8_t Kind = kVariable;  // change it through SetKind once the word is in a table
  std::int32_t Tag = 0;
  std::shared_ptr<WordObject> Obj;
  bool Reserved = false;

 private:
  mutable std::string value_;
  std::unique_ptr<formats::TCsvDb> table_;
  bool table_changed_ = false;  // the value is rendered from the view only after a change
  bool has_number_ = false;
  std::int64_t number_ = 0;  // whole below 10^15, so arithmetic on integers takes it as it is
  mutable NumberText pending_text_ = nullptr;  // set while value_ is still to be made from number_
  NumberText number_text_ = nullptr;           // how number_ is written, while has_number_
  const std::string& Text() const;
};

class THash : public WordObject {
 public:
  static constexpr int kBucketCount = 256;

  THash();
  ~THash() override;
  THash(const THash&) = delete;
  THash& operator=(const THash&) = delete;

  // Inserts a word; replaces a non-reserved word of the same name in its place. Throws
  // GeneralError when a reserved word holds the name. Returns Count (-1 for a null word).
  int Add(std::unique_ptr<THashNode> word);
  // With `okurigana`, the okurigana-free form of the name is tried first.
  THashNode* Find(std::string_view name, bool okurigana = false) const;
  int Delete(std::string_view name, bool okurigana = false);
  void Clear();
  // Clear, handing the words over to `out` (after what it holds) instead of destroying them.
  void ClearInto(std::vector<std::unique_ptr<THashNode>>& out);
  std::string GetValueOf(std::string_view name, bool okurigana = false) const;
  // All words, bucket 0 first, insertion order within a bucket.
  std::vector<THashNode*> Enumerate() const;
  // Calls `visit` with every word in Enumerate's order, without building the list.
  template <typename Visit>
  void ForEachWord(Visit visit) const;
  std::string GetKeysText() const;
  std::string GetAsText() const;
  void SetFromText(std::string_view text);
  int Count() const { return count_; }
  // Changes whenever a lookup could find another word (or none) than before, and differs from
  // the generation of every other table: a word found at one generation is still the word
  // found while the generation lasts.
  std::uint64_t Generation() const { return generation_; }
  // Changes whenever a name comes or goes (or a word is replaced), so that what a name is known
  // as stays the same while it lasts; a local that a name already has elsewhere changes nothing.
  std::uint64_t NamesGeneration() const { return names_generation_; }

  static int BucketOf(std::string_view name);
  // Tables up to this many words keep them in one short list: most local scopes and hash
  // variables are that small, and looking through a few names beats hashing them.
  static constexpr int kFewWords = 12;

 protected:
  // Names are mostly a few bytes long: a byte-wise hash written out here costs less than the
  // library's general one, which is not inlined.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const {
      std::uint64_t h = 14695981039346656037ull;
      for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
      return static_cast<std::size_t>(h);
    }
  };

  void NewGeneration();
  void NewNamesGeneration();
  // Goes back to an earlier names generation; only for a table whose names are again exactly
  // those it had then.
  void RestoreNamesGeneration(std::uint64_t earlier) { names_generation_ = earlier; }
  // Find, once it is known whether the okurigana-free form differs from the name.
  THashNode* FindEither(std::string_view name, bool stripped_first) const;

 private:
  THashNode* FindExact(std::string_view name) const;
  bool DeleteExact(std::string_view name);
  // A name came or went, or a word was replaced: both generations move on.
  void NamesChanged();
  int AddToFew(std::unique_ptr<THashNode> word);
  int AddToBuckets(std::unique_ptr<THashNode> word);
  void MoveToBuckets();
  [[noreturn]] static void ThrowReserved(const std::string& name);

  using Bucket = std::vector<std::unique_ptr<THashNode>>;
  // The buckets keep the listing order; the index finds a name at once, since names that share
  // a byte sum (key1, key2 ... or 1,000,000 labels) crowd into few buckets.
  struct Storage {
    std::array<Bucket, kBucketCount> buckets;
    std::unordered_map<std::string, THashNode*, NameHash, std::equal_to<>> index;
    // No longer name was ever indexed: a longer text (a variable's whole value looked up as a
    // name) is known to be none without hashing it.
    std::size_t longest_name = 0;
  };

  int count_ = 0;
  std::uint64_t generation_ = 0;
  std::uint64_t names_generation_ = 0;
  // While the table has at most kFewWords words they are here, in Enumerate's order (by
  // bucket, then insertion); local scopes are opened for every call and hold a word or two, so
  // they must cost next to nothing. Past that the words move to the buckets for good (until
  // Clear), so that a table shrinking and growing around the limit does not move them back and
  // forth.
  std::vector<std::unique_ptr<THashNode>> few_;
  std::unique_ptr<Storage> buckets_;
};

template <typename Visit>
void THash::ForEachWord(Visit visit) const {
  if (!buckets_) {
    for (const auto& word : few_) visit(word.get());
    return;
  }
  for (const auto& bucket : buckets_->buckets)
    for (const auto& word : bucket) visit(word.get());
}

class TScopedHash : public THash {
 public:
  ~TScopedHash() override;
  // With `global`, it learns whether the word came from the global words, not a local scope:
  // then the same word is found while NamesGeneration and ShadowsGeneration stay as they are.
  THashNode* FindScoped(std::string_view name, bool okurigana = false,
                        bool* global = nullptr) const;
  // Changes when a local takes a name that only a global had, which hides the global from
  // FindScoped without a name coming or going.
  std::uint64_t ShadowsGeneration() const { return shadows_generation_; }

  // The word `name` names, kept in `found` and looked up again only when it may have changed.
  // A global word (or none) stays while the names and the locals hiding globals are as they
  // were, which calls adding their own locals leave so; a local word only while the whole table
  // is as it was (`shadows` is then kFoundLocally). Start with `shadows` at kFoundLocally and
  // `generation` at 0.
  static constexpr std::uint64_t kFoundLocally = ~std::uint64_t{0};
  THashNode* FindKept(std::string_view name, THashNode*& found, std::uint64_t& generation,
                      std::uint64_t& shadows) const {
    const bool still = shadows == kFoundLocally
                           ? generation == Generation()
                           : generation == NamesGeneration() && shadows == ShadowsGeneration();
    if (still) return found;
    bool global = true;
    found = FindScoped(name, false, &global);
    generation = global ? NamesGeneration() : Generation();
    shadows = global ? ShadowsGeneration() : kFoundLocally;
    return found;
  }
  // Adds to the innermost local scope, or to the global words when there is none.
  int AddLocal(std::unique_ptr<THashNode> word);
  // AddLocal of a plain variable without a value, as THashNode::CreateVariable makes it; it
  // takes the place of a word a popped scope let go of, when there is one.
  int AddLocalVariable(std::string name, std::int32_t tag);
  void PushScope();
  void PopScope();
  std::size_t ScopeCount() const { return scopes_.size(); }

  // Popped scopes kept for the next calls, and index entries of names no scope holds kept for
  // the next local of that name: every call opens a scope and most declare the same locals.
  static constexpr std::size_t kSpareScopes = 64;
  static constexpr std::size_t kKeptLocalNames = 1024;
  static constexpr std::size_t kSpareWords = 256;

 private:
  // The scopes holding one name: (scope index, word), innermost last.
  using Holders = std::vector<std::pair<std::size_t, THashNode*>>;

  const std::pair<std::size_t, THashNode*>* InnermostLocal(std::string_view name) const;
  Holders& HoldersOf(const std::string& name);
  // The word's name is held by a local scope and was held by none before.
  void NameBecomesLocal(const THashNode& word);
  void NameLocalNames(const std::string& added, std::uint8_t kind);
  // The innermost scope lets go of the name of `holders`; true when no word has the name now.
  bool ReleaseInnermost(Holders& holders);
  // Empties a popped scope and keeps it, and the memory of its words, for the next ones.
  void Recycle(std::unique_ptr<THash> scope);

  std::vector<std::unique_ptr<THash>> scopes_;
  // For each scope: the names generation before its first local with a new name, and the one
  // its last such local made (0: none), so that popping it can give the first back.
  struct NamesMark {
    std::uint64_t before = 0;
    std::uint64_t after = 0;
  };
  std::vector<NamesMark> marks_;
  // The names generation that adding a new local name to the names of a generation gave.
  static constexpr std::size_t kMaxNamesKept = 4096;
  std::map<std::tuple<std::uint64_t, std::uint64_t, std::uint8_t, std::string>, std::uint64_t>
      names_after_;
  std::vector<std::unique_ptr<THash>> spare_scopes_;
  // Words of popped scopes, each made anew as a blank plain variable: only their memory is kept.
  std::vector<std::unique_ptr<THashNode>> spare_words_;
  std::uint64_t shadows_generation_ = 0;
  // For each name a local scope held: the scopes holding it now (possibly none).
  // Every call opens a scope and recursive labels fill each with their locals, so walking the
  // scopes would make every lookup cost the recursion's depth.
  std::unordered_map<std::string, Holders, NameHash, std::equal_to<>> local_index_;
  std::size_t longest_local_name_ = 0;  // as Storage::longest_name, for local_index_
  // The names in local_index_ that some scope holds.
  std::size_t held_names_ = 0;
  // One item per name a scope added to local_index_, in the order added: popping a scope takes
  // its items off the end without hashing the names again. The entries stay where they are
  // while a scope holds their name (an unordered_map moves no element when it grows).
  std::vector<std::pair<std::size_t, Holders*>> scope_names_;
};

}  // namespace morivel::words
