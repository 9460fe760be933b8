// Argument stack and part list.
#include "words/stack.h"

namespace morivel::words {

std::string TStack::Shift() {
  if (items_.empty()) return {};
  std::string first = std::move(items_.front());
  items_.erase(items_.begin());
  return first;
}

std::string TStack::Peek(std::size_t index) const {
  return index < items_.size() ? items_[index] : std::string();
}

void TStack::Insert(std::size_t index, std::string item) {
  if (index > items_.size()) index = items_.size();
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
}

std::string TStack::RemoveAt(std::size_t index) {
  if (index >= items_.size()) return {};
  std::string item = std::move(items_[index]);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  return item;
}

std::size_t TObjList::Add(std::unique_ptr<TObjNode> node) {
  nodes_.push_back(std::move(node));
  return nodes_.size() - 1;
}

TObjNode* TObjList::Get(std::size_t index) const {
  return index < nodes_.size() ? nodes_[index].get() : nullptr;
}

void TObjList::Put(std::size_t index, std::unique_ptr<TObjNode> node) {
  if (index < nodes_.size()) nodes_[index] = std::move(node);
}

std::unique_ptr<TObjNode> TObjList::Take(std::size_t index) {
  if (index >= nodes_.size()) return nullptr;
  return std::move(nodes_[index]);
}

TObjNode* TObjList::FindByName(std::string_view name) const {
  int index = IndexOfName(name);
  return index < 0 ? nullptr : nodes_[index].get();
}

int TObjList::IndexOfName(std::string_view name) const {
  for (std::size_t i = 0; i < nodes_.size(); ++i)
    if (nodes_[i] && nodes_[i]->Name == name) return static_cast<int>(i);
  return -1;
}

}  // namespace morivel::words
