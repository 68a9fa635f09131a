#include "trie/trie.h"

#include <algorithm>
#include <new>

#include "char_utils/ascii.h"

namespace vorpalyx {

Trie::Trie() : nodes_(1), last_path_(1, kRoot) {}

NodeIndex Trie::insert(std::string_view word) {
  std::size_t length = 0;
  for (char byte : word) length += is_ascii_letter(byte);
  if (length == 0) return kNoNode;

  // Room for a whole new branch up front: if allocation fails, nothing has
  // been linked yet, so the trie is unchanged.
  const std::size_t needed = nodes_.size() + length;
  if (needed > std::numeric_limits<NodeIndex>::max()) throw std::bad_alloc();
  if (needed > nodes_.capacity()) {
    nodes_.reserve(std::max(needed, nodes_.capacity() * 2));
  }
  last_word_.reserve(length);
  last_path_.reserve(length + 1);

  // The letters shared with the word inserted last lead to the same node,
  // so they are not walked again: in a sorted list that is most of them.
  std::size_t depth = 0;
  std::size_t position = 0;
  NodeIndex current = kRoot;
  for (; position < word.size(); ++position) {
    const char byte = word[position];
    if (!is_ascii_letter(byte)) continue;
    if (depth >= last_word_.size() ||
        last_word_[depth] != fold_ascii_case(byte)) {
      break;
    }
    current = last_path_[++depth];
  }
  last_word_.resize(depth);
  last_path_.resize(depth + 1);
  for (; position < word.size(); ++position) {
    const char byte = word[position];
    if (is_ascii_letter(byte)) {
      const char letter = fold_ascii_case(byte);
      current = child_for_insert(current, letter);
      last_word_.push_back(letter);
      last_path_.push_back(current);
    }
  }
  if (!nodes_[current].is_word) ++word_count_;
  nodes_[current].is_word = true;
  min_dict_word_len_ = std::min<std::uint64_t>(min_dict_word_len_, length);
  max_dict_word_len_ = std::max<std::uint64_t>(max_dict_word_len_, length);
  return current;
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
  return find(normalized_word) != kNoNode;
}

NodeIndex Trie::find(std::string_view normalized_word) const {
  if (normalized_word.empty()) return kNoNode;
  NodeIndex current = kRoot;
  for (char letter : normalized_word) {
    NodeIndex child = nodes_[current].first_child;
    while (child != kNoNode && nodes_[child].letter != letter) {
      child = nodes_[child].next_sibling;
    }
    if (child == kNoNode) return kNoNode;
    current = child;
  }
  return nodes_[current].is_word ? current : kNoNode;
}

}  // namespace vorpalyx
