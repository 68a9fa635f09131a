// Trie: the dictionary, a prefix tree over the letters a..z.
//
// Nodes live in one pool and link to each other by index: each node names its
// first child and its next sibling, and siblings are kept in ascending letter
// order, so every walk of the tree visits children a..z and is reproducible.
// A node costs 12 bytes; inserting a word costs O(length * 26) at worst.
//
// Invariants: the root (index 0) is never a word, since the empty word is
// never stored; every other node lies on the path of a stored word, so every
// leaf is a word; min/max_dict_word_len are the lengths of the shortest and
// longest stored word (UINT64_MAX and 0 while the trie is empty). The trie
// only grows. Insertion remembers the path of the word inserted last, so a
// sorted list costs about one new node per letter walked.
//
// Tested by tests/cpp/trie/trie_test.cc and the dictionary fuzzer.

#ifndef VORPALYX_TRIE_TRIE_H_
#define VORPALYX_TRIE_TRIE_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace vorpalyx {

using NodeIndex = std::uint32_t;

// Index 0 is the root, which is never anybody's child or sibling, so 0 also
// serves as "no node" in the links.
inline constexpr NodeIndex kNoNode = 0;

struct TrieNode {
  NodeIndex first_child = kNoNode;
  NodeIndex next_sibling = kNoNode;
  char letter = 0;  // 'a'..'z'; unused at the root
  bool is_word = false;
};

class Trie {
 public:
  static constexpr NodeIndex kRoot = 0;

  Trie();

  // Stores the normalised form of `word` (its ASCII letters, lower-cased)
  // and returns its node. A word with no ASCII letter changes nothing (and
  // gives kNoNode). Throws std::bad_alloc only; the trie is then unchanged.
  NodeIndex insert(std::string_view word);

  // True when exactly this normalised word is stored.
  bool contains(std::string_view normalized_word) const;
  // The node of this normalised word when it is stored, else kNoNode.
  NodeIndex find(std::string_view normalized_word) const;

  const TrieNode& node(NodeIndex index) const { return nodes_[index]; }
  const TrieNode& root() const { return nodes_[kRoot]; }
  std::size_t node_count() const { return nodes_.size(); }
  std::uint64_t min_dict_word_len() const { return min_dict_word_len_; }
  std::uint64_t max_dict_word_len() const { return max_dict_word_len_; }
  // The number of distinct words stored.
  std::size_t word_count() const { return word_count_; }

 private:
  // The child of `parent` for `letter`, created in letter order if missing.
  NodeIndex child_for_insert(NodeIndex parent, char letter);

  std::vector<TrieNode> nodes_;
  std::uint64_t min_dict_word_len_ = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t max_dict_word_len_ = 0;
  std::size_t word_count_ = 0;
  // The word inserted last, normalised, and the nodes along its path
  // (last_path_[i] after i letters; last_path_[0] is the root).
  std::string last_word_;
  std::vector<NodeIndex> last_path_;
};

}  // namespace vorpalyx

#endif  // VORPALYX_TRIE_TRIE_H_
