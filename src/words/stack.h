// The argument stack (TStack) and the part list (TObjList of TObjNode records).
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morivel::words {

// Argument stack: a list of texts whose last item is the top.
class TStack {
 public:
  void Push(std::string item) { items_.push_back(std::move(item)); }
  // Every command pops its arguments: kept inline, so that the text moves straight to its taker.
  std::string Pop() {
    if (items_.empty()) return {};
    std::string top = std::move(items_.back());
    items_.pop_back();
    return top;
  }
  std::string Shift();
  std::string Peek(std::size_t index) const;
  std::size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  void Clear() { items_.clear(); }
  void Insert(std::size_t index, std::string item);
  std::string RemoveAt(std::size_t index);
  std::string& operator[](std::size_t index) { return items_[index]; }
  const std::string& operator[](std::size_t index) const { return items_[index]; }

 private:
  std::vector<std::string> items_;
};

// The widget side of a part; the GUI layer derives from it.
class PartControl {
 public:
  virtual ~PartControl() = default;
};

// What an event slot of a part runs: a label's body, or program text kept in the slot itself.
struct EventSlot {
  std::string Text;                          // the label name or program text as bound
  const char* Entry = nullptr;               // where execution starts; nullptr when unbound
  std::shared_ptr<const std::string> Code;   // the prepared program text Entry points into
  std::string Source;                        // the script file the code belongs to
};

inline constexpr int kEventSlots = 12;

// One part record; its index in the part list is the part's management number.
class TObjNode {
 public:
  TObjNode(std::string name, std::unique_ptr<PartControl> control, int number, int kind)
      : Name(std::move(name)), Control(std::move(control)), Number(number), Kind(kind) {}

  std::string Name;
  std::unique_ptr<PartControl> Control;
  int Number;
  int Kind;
  std::string Pocket;
  std::array<EventSlot, kEventSlots> Events;
};

class TObjList {
 public:
  std::size_t Add(std::unique_ptr<TObjNode> node);
  std::size_t Count() const { return nodes_.size(); }
  TObjNode* Get(std::size_t index) const;
  void Put(std::size_t index, std::unique_ptr<TObjNode> node);
  // Empties the slot and hands its record over; nullptr for an empty or missing slot.
  std::unique_ptr<TObjNode> Take(std::size_t index);
  TObjNode* FindByName(std::string_view name) const;
  int IndexOfName(std::string_view name) const;
  void Clear() { nodes_.clear(); }

 private:
  std::vector<std::unique_ptr<TObjNode>> nodes_;
};

}  // namespace morivel::words
