// Word table: words (THashNode), bucketed tables (THash) and the scoped table with local scopes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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

// The highest record or column number an element assignment may name: a larger one would make
// every record up to it.
inline constexpr std::int64_t kMaxElementIndex = 1000000;

class THashNode {
 public:
  THashNode(std::string name, bool reserved, std::shared_ptr<WordObject> obj, std::uint8_t kind,
            std::int32_t tag, std::string type_mark, std::string value, std::string extra);
  static std::unique_ptr<THashNode> CreateVariable(std::string name, bool reserved,
                                                   std::int32_t tag, std::string value);
  ~THashNode();
  THashNode(const THashNode&) = delete;
  THashNode& operator=(const THashNode&) = delete;

  // The value as text; rendered from the table view when one is cached.
  std::string GetValue() const;
  // Replaces the value and drops any table view.
  void SetValue(std::string value);
  // SetValue for a whole number below 10^15, whose text reads back as exactly that number: the
  // text is made by `text_of` only when someone needs it, and arithmetic takes the number as it
  // is. Other numbers are set as their text.
  using NumberText = std::string (*)(long double);
  void SetNumber(long double number, NumberText text_of);
  // The whole number SetNumber stored, while the value is still that number.
  bool StoredNumber(long double& out) const {
    if (!has_number_) return false;
    out = number_;
    return true;
  }
  // Copies everything but the name from another word (sharing its object).
  void Assign(const THashNode& other);

  // Table view access: records and cells of the value read as CSV, counted from 0.
  std::string GetRow(std::int64_t record);
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
  std::uint8_t Kind = kVariable;
  std::int32_t Tag = 0;
  std::shared_ptr<WordObject> Obj;
  bool Reserved = false;

 private:
  mutable std::string value_;
  std::unique_ptr<formats::TCsvDb> table_;
  bool table_changed_ = false;  // the value is rendered from the view only after a change
  bool has_number_ = false;
  long double number_ = 0;
  mutable NumberText pending_text_ = nullptr;  // set while value_ is still to be made from number_
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
  std::string GetValueOf(std::string_view name, bool okurigana = false) const;
  // All words, bucket 0 first, insertion order within a bucket.
  std::vector<THashNode*> Enumerate() const;
  std::string GetKeysText() const;
  std::string GetAsText() const;
  void SetFromText(std::string_view text);
  int Count() const { return count_; }
  // Changes whenever a lookup could find another word (or none) than before, and differs from
  // the generation of every other table: a word found at one generation is still the word
  // found while the generation lasts.
  std::uint64_t Generation() const { return generation_; }

  static int BucketOf(std::string_view name);

 protected:
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const {
      return std::hash<std::string_view>{}(name);
    }
  };

  void NewGeneration();

 private:
  THashNode* FindExact(std::string_view name) const;
  bool DeleteExact(std::string_view name);

  using Bucket = std::vector<std::unique_ptr<THashNode>>;
  // The buckets keep the listing order; the index finds a name at once, since names that share
  // a byte sum (key1, key2 ... or 1,000,000 labels) crowd into few buckets.
  struct Storage {
    std::array<Bucket, kBucketCount> buckets;
    std::unordered_map<std::string, THashNode*, NameHash, std::equal_to<>> index;
  };

  int count_ = 0;
  std::uint64_t generation_ = 0;
  // Made when the first word arrives: local scopes are opened for every call and most stay
  // empty, so they must cost next to nothing.
  std::unique_ptr<Storage> buckets_;
};

class TScopedHash : public THash {
 public:
  ~TScopedHash() override;
  THashNode* FindScoped(std::string_view name, bool okurigana = false) const;
  // Adds to the innermost local scope, or to the global words when there is none.
  int AddLocal(std::unique_ptr<THashNode> word);
  void PushScope();
  void PopScope();
  std::size_t ScopeCount() const { return scopes_.size(); }

 private:
  const std::pair<std::size_t, THashNode*>* InnermostLocal(std::string_view name) const;

  std::vector<std::unique_ptr<THash>> scopes_;
  // For each name held by a local scope: the scopes holding it (index, word), innermost last.
  // Every call opens a scope and recursive labels fill each with their locals, so walking the
  // scopes would make every lookup cost the recursion's depth.
  std::unordered_map<std::string, std::vector<std::pair<std::size_t, THashNode*>>, NameHash,
                     std::equal_to<>>
      local_index_;
};

}  // namespace morivel::words
