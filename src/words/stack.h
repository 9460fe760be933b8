// The argument stack (TStack) and the part list (TObjList of TObjNode records).
#pragma once

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
  std::string Pop();
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
  std::map<std::string, std::string> Events;  // event slot name -> label name
};

class TObjList {
 public:
  std::size_t Add(std::unique_ptr<TObjNode> node);
  std::size_t Count() const { return nodes_.size(); }
  TObjNode* Get(std::size_t index) const;
  void Put(std::size_t index, std::unique_ptr<TObjNode> node);
  TObjNode* FindByName(std::string_view name) const;
  int IndexOfName(std::string_view name) const;
  void Clear() { nodes_.clear(); }

 private:
  std::vector<std::unique_ptr<TObjNode>> nodes_;
};

}  // namespace morivel::words
