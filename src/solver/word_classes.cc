#include "solver/word_classes.h"

#include <algorithm>
#include <bit>

namespace vorpalyx {

std::vector<std::string> collect_candidate_words(
    const Trie& trie, const CharCounts& phrase,
    const SolverConstraints& constraints, const PreparedConstraints& prepared) {
  std::vector<std::string> words;
  CharCounts available = phrase;
  std::string word;
  std::vector<NodeIndex> next_children{trie.root().first_child};
  while (!next_children.empty()) {
    const NodeIndex child = next_children.back();
    if (child == kNoNode) {
      next_children.pop_back();
      if (!word.empty()) {
        ++available[word.back() - 'a'];
        word.pop_back();
      }
      continue;
    }
    const TrieNode& node = trie.node(child);
    next_children.back() = node.next_sibling;
    const int letter = node.letter - 'a';
    if (available[letter] == 0) continue;
    if (word.empty() &&
        !constraints.allows_start(static_cast<char32_t>(node.letter)))
      continue;
    --available[letter];
    word.push_back(node.letter);
    next_children.push_back(
        word.size() < prepared.max_word_length ? node.first_child : kNoNode);
    if (node.is_word && prepared.allows_length(word.size()) &&
        !std::binary_search(prepared.excluded.begin(), prepared.excluded.end(),
                            word)) {
      words.push_back(word);
    }
  }
  return words;
}

PatternsHeld find_patterns_held(const std::vector<std::string>& words,
                                const std::vector<std::string>& patterns) {
  PatternsHeld held;
  held.words = (patterns.size() + 63) / 64;
  held.rows.resize(words.size() * held.words);
  std::vector<std::size_t> holders(patterns.size());
  for (std::size_t rank = 0; rank < words.size(); ++rank) {
    for (std::size_t i = 0; i < patterns.size(); ++i) {
      if (words[rank].find(patterns[i]) != std::string::npos) {
        held.rows[rank * held.words + i / 64] |= std::uint64_t{1} << (i % 64);
        ++holders[i];
      }
    }
  }
  held.tracked.resize(patterns.size());
  for (std::uint32_t i = 0; i < held.tracked.size(); ++i) held.tracked[i] = i;
  if (held.tracked.size() > 64) {
    std::stable_sort(held.tracked.begin(), held.tracked.end(),
                     [&](std::uint32_t left, std::uint32_t right) {
                       return holders[left] < holders[right];
                     });
    held.tracked.resize(64);
  }
  return held;
}

std::array<std::uint32_t, kAlphabetSize> letters_by_rarity(
    const std::vector<std::string>& words) {
  std::array<std::size_t, kAlphabetSize> holders{};
  for (const std::string& word : words) {
    std::uint32_t letters = 0;
    for (char letter : word) letters |= 1u << (letter - 'a');
    for (; letters != 0; letters &= letters - 1) {
      ++holders[std::countr_zero(letters)];
    }
  }
  std::array<std::uint32_t, kAlphabetSize> order;
  for (std::uint32_t letter = 0; letter < kAlphabetSize; ++letter) {
    order[letter] = letter;
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t left, std::uint32_t right) {
                     return holders[left] < holders[right];
                   });
  return order;
}

}  // namespace vorpalyx
