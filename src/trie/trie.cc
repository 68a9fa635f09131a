#include "trie/trie.h"

#include <algorithm>
#include <new>

#include "char_utils/ascii.h"

namespace vorpalyx {

Trie::Trie() : nodes_(1) {}

void Trie::insert(std::string_view word) {
  std::size_t length = 0;
  for (char byte : word) length += is_ascii_letter(byte);
  if (length == 0) return;

  // Room for a whole new branch up front: if allocation fails, nothing has
  // been linked yet, so the trie is unchanged.
  const std::size_t needed = nodes_.size() + length;
  if (needed > std::numeric_limits<NodeIndex>::max()) throw std::bad_alloc();
  if (needed > nodes_.capacity()) {
    nodes_.reserve(std::max(needed, nodes_.capacity() * 2));
  }

  NodeIndex current = kRoot;
  for (char byte : word) {
    if (is_ascii_letter(byte)) {
      current = child_for_insert(current, fold_ascii_case(byte));
    }
  }
  if (!nodes_[current].is_word) ++word_count_;
  nodes_[current].is_word = true;
  min_dict_word_len_ = std::min<std::uint64_t>(min_dict_word_len_, length);
  max_dict_word_len_ = std::max<std::uint64_t>(max_dict_word_len_, length);
}

NodeIndex Trie::child_for_insert(NodeIndex parent, char letter) {
  NodeIndex previous = kNoNode;
  NodeIndex child = nodes_[parent].first_child;
  while (child != kNoNode && nodes_[child].letter < letter) {
    previous = child;
    child = nodes_[child].next_sibling;
  }
  if (child != kNoNode && nodes_[child].letter == letter) return child;

  const auto created = static_cast<NodeIndex>(nodes_.size());
  TrieNode& node = nodes_.emplace_back();
  node.letter = letter;
  node.next_sibling = child;
  if (previous == kNoNode) {
    nodes_[parent].first_child = created;
  } else {
    nodes_[previous].next_sibling = created;
  }
  return created;
}

bool Trie::contains(std::string_view normalized_word) const {
  if (normalized_word.empty()) return false;
  NodeIndex current = kRoot;
  for (char letter : normalized_word) {
    NodeIndex child = nodes_[current].first_child;
    while (child != kNoNode && nodes_[child].letter != letter) {
      child = nodes_[child].next_sibling;
    }
    if (child == kNoNode) return false;
    current = child;
  }
  return nodes_[current].is_word;
}

}  // namespace vorpalyx
