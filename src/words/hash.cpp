// Word table: a short list or 256 buckets by byte sum, byte-exact names, okurigana-free lookups,
// local scopes.
#include "words/hash.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "formats/csv.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::words {

namespace {

std::atomic<std::uint64_t> last_generation{0};
std::atomic<std::uint64_t> kind_changes{0};

}  // namespace

std::uint64_t KindChanges() {
  return kind_changes.load(std::memory_order_relaxed);
}

// ---- THashNode -------------------------------------------------------------------------------

THashNode::THashNode(std::string name, bool reserved, std::shared_ptr<WordObject> obj,
                     std::uint8_t kind, std::int32_t tag, std::string type_mark, std::string value,
                     std::string extra)
    : Name(std::move(name)),
      Extra(std::move(extra)),
      TypeMark(std::move(type_mark)),
      Kind(kind),
      Tag(tag),
      Obj(std::move(obj)),
      Reserved(reserved),
      value_(std::move(value)) {}

THashNode::THashNode(std::string name, bool reserved, std::int32_t tag, std::string value)
    : Name(std::move(name)), Tag(tag), Reserved(reserved), value_(std::move(value)) {}

std::unique_ptr<THashNode> THashNode::CreateVariable(std::string name, bool reserved,
                                                     std::int32_t tag, std::string value) {
  return std::make_unique<THashNode>(std::move(name), reserved, tag, std::move(value));
}

THashNode::~THashNode() = default;

std::string THashNode::GetValue() const {
  // A view made only for reading leaves the value as it was, byte for byte.
  return table_ && table_changed_ ? table_->WriteCsv() : Text();
}

const std::string& THashNode::Text() const {
  if (pending_text_) {
    value_ = pending_text_(static_cast<long double>(number_));
    pending_text_ = nullptr;
  }
  return value_;
}

void THashNode::SetValue(std::string value) {
  table_.reset();
  table_changed_ = false;
  has_number_ = false;
  pending_text_ = nullptr;
  value_ = std::move(value);
}

void THashNode::AppendValue(std::string_view more) {
  if (table_ && table_changed_) {
    value_ = table_->WriteCsv();
    pending_text_ = nullptr;
  }
  Text();
  table_.reset();
  table_changed_ = false;
  has_number_ = false;
  value_.append(more);
}

void THashNode::SetNumber(long double number, NumberText text_of) {
  SetWhole(static_cast<std::int64_t>(number), text_of);
}

void THashNode::SetWhole(std::int64_t number, NumberText text_of) {
  table_.reset();
  table_changed_ = false;
  has_number_ = true;
  number_ = number;
  pending_text_ = number_text_ = text_of;
}

THashNode::KeptValue THashNode::KeepValue() const {
  if (has_number_ && !table_ && number_text_)
    return KeptValue{{}, static_cast<long double>(number_), number_text_};
  return KeptValue{GetValue(), 0, nullptr};
}

void THashNode::RestoreValue(KeptValue kept) {
  if (kept.text_of)
    SetNumber(kept.number, kept.text_of);
  else
    SetValue(std::move(kept.text));
}

void THashNode::Assign(const THashNode& other) {
  if (&other == this) return;
  kind_changes.fetch_add(1, std::memory_order_relaxed);
  SetValue(other.GetValue());
  Extra = other.Extra;
  TypeMark = other.TypeMark;
  Tag = other.Tag;
  Kind = other.Kind;
  Obj = other.Obj;
  Reserved = other.Reserved;
}

void THashNode::SetKind(std::uint8_t kind) {
  if (kind == Kind) return;
  kind_changes.fetch_add(1, std::memory_order_relaxed);
  Kind = kind;
}

formats::TCsvDb& THashNode::Table() {
  if (!table_) {
    table_ = std::make_unique<formats::TCsvDb>();
    table_->ReadCsv(Text());
  }
  return *table_;
}

std::string THashNode::GetRow(std::int64_t record) {
  if (record < 0) return {};
  return Table().GetRowText(static_cast<std::size_t>(record));
}

std::optional<std::string_view> THashNode::PlainRow(std::int64_t record) {
  if (record < 0) return std::nullopt;
  return Table().PlainRowText(static_cast<std::size_t>(record));
}

std::string THashNode::GetCell(std::int64_t column, std::int64_t record) {
  if (column < 0 || record < 0) return {};
  return Table().GetCell(static_cast<std::size_t>(column), static_cast<std::size_t>(record));
}

void THashNode::SetRow(std::int64_t record, std::string_view csv_record) {
  if (record < 0) return;
  has_number_ = false;
  Table().SetRowText(static_cast<std::size_t>(record), csv_record);
  table_changed_ = true;
}

void THashNode::SetCell(std::int64_t column, std::int64_t record, std::string_view text) {
  if (column < 0 || record < 0) return;
  has_number_ = false;
  Table().SetCell(static_cast<std::size_t>(column), static_cast<std::size_t>(record), text);
  table_changed_ = true;
}

void THashNode::SetTable(const formats::TCsvDb& table) {
  has_number_ = false;
  table_ = std::make_unique<formats::TCsvDb>(table);
  table_changed_ = true;
}

void THashNode::GuessType() {
  if (table_) {
    TypeMark = "s";
    return;
  }
  const std::string& value = Text();
  if (value.empty()) {
    TypeMark.clear();
  } else if (value[0] == '$' || (value[0] >= '0' && value[0] <= '9')) {
    TypeMark = "e";
  } else {
    TypeMark = "s";
  }
}

THash* THashNode::InnerHash() const {
  return dynamic_cast<THash*>(Obj.get());
}

// ---- THash -----------------------------------------------------------------------------------

THash::THash() {
  NamesChanged();
}

THash::~THash() = default;

void THash::NewGeneration() {
  generation_ = last_generation.fetch_add(1, std::memory_order_relaxed) + 1;
}

void THash::NewNamesGeneration() {
  names_generation_ = last_generation.fetch_add(1, std::memory_order_relaxed) + 1;
}

void THash::NamesChanged() {
  const std::uint64_t last = last_generation.fetch_add(2, std::memory_order_relaxed);
  generation_ = last + 1;
  names_generation_ = last + 2;
}

int THash::BucketOf(std::string_view name) {
  unsigned sum = 0;
  for (unsigned char c : name) sum += c;
  return static_cast<int>(sum % kBucketCount);
}

void THash::ThrowReserved(const std::string& name) {
  throw GeneralError("\"" + name + text::sjis("\"は予約語なので、登録できません。"));
}

int THash::Add(std::unique_ptr<THashNode> word) {
  if (!word) return -1;
  NamesChanged();
  if (!buckets_) {
    if (count_ < kFewWords || FindExact(word->Name)) return AddToFew(std::move(word));
    MoveToBuckets();
  }
  return AddToBuckets(std::move(word));
}

int THash::AddToFew(std::unique_ptr<THashNode> word) {
  for (auto& existing : few_) {
    if (existing->Name != word->Name) continue;
    if (existing->Reserved) ThrowReserved(word->Name);
    existing = std::move(word);
    return count_;
  }
  // After the last word of the same or a lower bucket, as the buckets would list it.
  const int bucket = BucketOf(word->Name);
  auto place = few_.end();
  while (place != few_.begin() && BucketOf((*(place - 1))->Name) > bucket) --place;
  few_.insert(place, std::move(word));
  return ++count_;
}

void THash::MoveToBuckets() {
  auto storage = std::make_unique<Storage>();
  storage->index.reserve(few_.size() + 1);
  for (auto& word : few_) {
    THashNode* moved = word.get();
    storage->buckets[BucketOf(moved->Name)].push_back(std::move(word));
    storage->index.emplace(moved->Name, moved);
    storage->longest_name = std::max(storage->longest_name, moved->Name.size());
  }
  few_.clear();
  few_.shrink_to_fit();
  buckets_ = std::move(storage);
}

int THash::AddToBuckets(std::unique_ptr<THashNode> word) {
  auto& bucket = buckets_->buckets[BucketOf(word->Name)];
  auto found = buckets_->index.find(std::string_view(word->Name));
  if (found != buckets_->index.end()) {
    if (found->second->Reserved) ThrowReserved(word->Name);
    for (auto& existing : bucket) {
      if (existing.get() != found->second) continue;
      found->second = word.get();
      existing = std::move(word);
      return count_;
    }
  }
  THashNode* added = word.get();
  bucket.push_back(std::move(word));
  buckets_->index[added->Name] = added;
  buckets_->longest_name = std::max(buckets_->longest_name, added->Name.size());
  return ++count_;
}

THashNode* THash::FindExact(std::string_view name) const {
  if (name.empty()) return nullptr;
  if (!buckets_) {
    for (const auto& word : few_)
      if (word->Name == name) return word.get();
    return nullptr;
  }
  if (name.size() > buckets_->longest_name) return nullptr;
  auto found = buckets_->index.find(name);
  return found == buckets_->index.end() ? nullptr : found->second;
}

THashNode* THash::Find(std::string_view name, bool okurigana) const {
  return FindEither(name, okurigana && text::okurigana_changes(name));
}

THashNode* THash::FindEither(std::string_view name, bool stripped_first) const {
  if (name.empty()) return nullptr;
  if (stripped_first) {
    if (THashNode* w = FindExact(text::strip_okurigana(name))) return w;
  }
  return FindExact(name);
}

bool THash::DeleteExact(std::string_view name) {
  if (name.empty()) return false;
  if (!buckets_) {
    auto found =
        std::find_if(few_.begin(), few_.end(), [name](const auto& w) { return w->Name == name; });
    if (found == few_.end()) return false;
    NamesChanged();
    few_.erase(found);
    --count_;
    return true;
  }
  auto found = buckets_->index.find(name);
  if (found == buckets_->index.end()) return false;
  auto& bucket = buckets_->buckets[BucketOf(name)];
  NamesChanged();
  THashNode* word = found->second;
  buckets_->index.erase(found);
  std::erase_if(bucket, [word](const auto& w) { return w.get() == word; });
  --count_;
  return true;
}

int THash::Delete(std::string_view name, bool okurigana) {
  bool deleted = false;
  if (okurigana && text::okurigana_changes(name))
    deleted = DeleteExact(text::strip_okurigana(name));
  deleted = DeleteExact(name) || deleted;
  return deleted ? count_ : -1;
}

void THash::Clear() {
  NamesChanged();
  few_.clear();
  buckets_.reset();
  count_ = 0;
}

void THash::ClearInto(std::vector<std::unique_ptr<THashNode>>& out) {
  if (buckets_) {
    for (auto& bucket : buckets_->buckets)
      for (auto& word : bucket) out.push_back(std::move(word));
  } else {
    for (auto& word : few_) out.push_back(std::move(word));
  }
  Clear();
}

std::string THash::GetValueOf(std::string_view name, bool okurigana) const {
  const THashNode* w = Find(name, okurigana);
  return w ? w->GetValue() : std::string();
}

std::vector<THashNode*> THash::Enumerate() const {
  std::vector<THashNode*> all;
  all.reserve(count_);
  ForEachWord([&all](THashNode* word) { all.push_back(word); });
  return all;
}

std::string THash::GetKeysText() const {
  std::string out;
  for (const THashNode* w : Enumerate()) out += w->Name + "\r\n";
  return text::trim(out);
}

std::string THash::GetAsText() const {
  std::string out;
  for (const THashNode* w : Enumerate()) out += w->Name + "=" + w->GetValue() + "\r\n";
  return text::trim(out);
}

namespace {

// Takes the next line (up to CR LF, or a lone CR or LF) from `text` at `pos`.
std::string_view next_line(std::string_view text, std::size_t& pos) {
  std::size_t start = pos;
  std::size_t end = text.find_first_of("\r\n", pos);
  if (end == std::string_view::npos) {
    pos = text.size();
    return text.substr(start);
  }
  pos = end + 1;
  if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  return text.substr(start, end - start);
}

}  // namespace

void THash::SetFromText(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::string_view line = next_line(text, pos);
    std::size_t eq = line.find('=');
    std::string name(line.substr(0, eq));
    std::string value(eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1));
    while (pos < text.size()) {
      std::size_t before = pos;
      std::string_view more = next_line(text, pos);
      if (more.empty()) break;
      if (more.find('=') != std::string_view::npos) {
        pos = before;
        break;
      }
      value += "\r\n";
      value += more;
    }
    // A line without a name cannot be looked up again; keeping it would only pollute listings.
    if (name.empty()) continue;
    Add(THashNode::CreateVariable(std::move(name), false, 0, std::move(value)));
  }
}

// ---- TScopedHash -----------------------------------------------------------------------------

TScopedHash::~TScopedHash() {
  while (!scopes_.empty()) scopes_.pop_back();
}

const std::pair<std::size_t, THashNode*>* TScopedHash::InnermostLocal(std::string_view name) const {
  if (name.size() > longest_local_name_) return nullptr;
  auto found = local_index_.find(name);
  return found == local_index_.end() || found->second.empty() ? nullptr : &found->second.back();
}

THashNode* TScopedHash::FindScoped(std::string_view name, bool okurigana, bool* global) const {
  const bool strip = okurigana && text::okurigana_changes(name);
  if (!name.empty() && held_names_ > 0) {
    // The innermost scope holding either form wins; within one scope the okurigana-free form
    // comes first, as THash::Find has it.
    const std::pair<std::size_t, THashNode*>* best = nullptr;
    if (strip) best = InnermostLocal(text::strip_okurigana(name));
    if (const auto* exact = InnermostLocal(name); exact && (!best || exact->first > best->first))
      best = exact;
    if (best) {
      if (global) *global = false;
      return best->second;
    }
  }
  if (global) *global = true;
  return FindEither(name, strip);
}

TScopedHash::Holders& TScopedHash::HoldersOf(const std::string& name) {
  auto found = local_index_.find(std::string_view(name));
  if (found != local_index_.end()) return found->second;
  longest_local_name_ = std::max(longest_local_name_, name.size());
  return local_index_.try_emplace(name).first->second;
}

void TScopedHash::NameBecomesLocal(const THashNode& word) {
  ++held_names_;
  if (Find(word.Name)) {
    shadows_generation_ = last_generation.fetch_add(1, std::memory_order_relaxed) + 1;
    return;
  }
  NamesMark& mark = marks_.back();
  if (mark.after == 0) mark.before = NamesGeneration();
  NameLocalNames(word.Name, word.Kind);
  mark.after = NamesGeneration();
}

void TScopedHash::NameLocalNames(const std::string& added, std::uint8_t kind) {
  // The same new name of the same kind added to the same names, with no word's kind changed
  // since, gives the same names: the generation they had the last time is theirs again, so
  // what was read inside the last call still holds.
  if (names_after_.size() >= kMaxNamesKept) names_after_.clear();
  auto [it, fresh] =
      names_after_.try_emplace(std::make_tuple(NamesGeneration(), KindChanges(), kind, added), 0);
  if (fresh) {
    NewNamesGeneration();
    it->second = NamesGeneration();
  } else {
    RestoreNamesGeneration(it->second);
  }
}

int TScopedHash::AddLocal(std::unique_ptr<THashNode> word) {
  if (scopes_.empty()) return Add(std::move(word));
  NewGeneration();
  const std::size_t innermost = scopes_.size() - 1;
  THashNode* added = word.get();
  int count = scopes_.back()->Add(std::move(word));
  // The scope owns the word now, and keeps it until it is popped.
  Holders& holders = HoldersOf(added->Name);
  if (!holders.empty() && holders.back().first == innermost) {
    holders.back().second = added;
    return count;
  }
  if (holders.empty()) NameBecomesLocal(*added);
  holders.emplace_back(innermost, added);
  scope_names_.emplace_back(innermost, &holders);
  return count;
}

void TScopedHash::PushScope() {
  if (spare_scopes_.empty()) {
    scopes_.push_back(std::make_unique<THash>());
  } else {
    scopes_.push_back(std::move(spare_scopes_.back()));
    spare_scopes_.pop_back();
  }
  marks_.emplace_back();
}

bool TScopedHash::ReleaseInnermost(Holders& holders) {
  // The word is still alive: its scope is emptied only after its names are released.
  const std::string& name = holders.back().second->Name;
  holders.pop_back();
  if (!holders.empty()) return false;
  --held_names_;
  // A global of the same name keeps the name known, as AddLocal has it.
  const bool gone = !Find(name);
  if (local_index_.size() > kKeptLocalNames) local_index_.erase(std::string(name));
  return gone;
}

int TScopedHash::AddLocalVariable(std::string name, std::int32_t tag) {
  if (spare_words_.empty())
    return AddLocal(THashNode::CreateVariable(std::move(name), false, tag, std::string()));
  std::unique_ptr<THashNode> word = std::move(spare_words_.back());
  spare_words_.pop_back();
  // A blank plain variable differs from a new one only in its name and level.
  word->Name = std::move(name);
  word->Tag = tag;
  return AddLocal(std::move(word));
}

void TScopedHash::Recycle(std::unique_ptr<THash> scope) {
  if (spare_scopes_.size() >= kSpareScopes) return;
  if (scope->Count() > 0) {
    const std::size_t kept = spare_words_.size();
    scope->ClearInto(spare_words_);
    if (spare_words_.size() > kSpareWords) spare_words_.resize(std::max(kept, kSpareWords));
    for (std::size_t i = kept; i < spare_words_.size(); ++i) {
      // Made anew in place, so that nothing of the old word (an object, a table view, a long
      // value) outlives its scope.
      THashNode* word = spare_words_[i].get();
      std::destroy_at(word);
      std::construct_at(word, std::string(), false, 0, std::string());
    }
  }
  spare_scopes_.push_back(std::move(scope));
}

void TScopedHash::PopScope() {
  if (scopes_.empty()) return;
  // An empty scope changes no lookup: calls without locals keep what their words found.
  if (scopes_.back()->Count() > 0) NewGeneration();
  const std::size_t innermost = scopes_.size() - 1;
  bool names_gone = false;
  while (!scope_names_.empty() && scope_names_.back().first == innermost) {
    if (ReleaseInnermost(*scope_names_.back().second)) names_gone = true;
    scope_names_.pop_back();
  }
  if (names_gone) {
    // The names are again those of the generation before this scope's first new name, unless
    // some other name came or went meanwhile: a call with locals in a loop then leaves every
    // reading kept by the names as it was.
    const NamesMark& mark = marks_.back();
    if (mark.after != 0 && mark.after == NamesGeneration())
      RestoreNamesGeneration(mark.before);
    else
      NewNamesGeneration();
  }
  marks_.pop_back();
  std::unique_ptr<THash> scope = std::move(scopes_.back());
  scopes_.pop_back();
  Recycle(std::move(scope));
}

}  // namespace morivel::words
