#include "solver/spellings.h"

#include <algorithm>
#include <limits>
#include <new>

#include "char_utils/normalize.h"

namespace vorpalyx {

void Spellings::reserve(const Trie& trie, std::size_t bytes) {
  // Words average well over 4 bytes with their line ends and add fewer new
  // nodes than bytes; an estimate short of that only grows once more.
  text_.reserve(text_.size() + bytes);
  entries_.reserve(entries_.size() + bytes / 8);
  heads_.reserve(trie.node_count() + bytes / 2);
}

void Spellings::append(const Trie& trie, NodeIndex node,
                       std::string_view spelling) {
  if (text_.size() + spelling.size() >
          std::numeric_limits<std::uint32_t>::max() ||
      entries_.size() >= std::numeric_limits<std::uint32_t>::max()) {
    throw std::bad_alloc();
  }
  if (heads_.size() <= node) heads_.resize(trie.node_count());
  entries_.push_back({static_cast<std::uint32_t>(text_.size()),
                      static_cast<std::uint32_t>(spelling.size()),
                      heads_[node]});
  text_.append(spelling);
  heads_[node] = static_cast<std::uint32_t>(entries_.size());
}

void Spellings::add(Trie& trie, std::string_view folded,
                    std::string_view spelling) {
  if (folded.empty()) return;
  const std::size_t words_before = trie.word_count();
  const NodeIndex node = trie.insert(folded);
  if (trie.word_count() != words_before) {
    if (spelling != folded) append(trie, node, spelling);
    return;
  }
  std::uint32_t entry = first_of(node);
  if (entry == 0) {
    // Held so far only as its plain letters.
    if (spelling != folded) {
      append(trie, node, folded);
      append(trie, node, spelling);
      ++extra_;
    }
    return;
  }
  for (; entry != 0; entry = entries_[entry - 1].next) {
    if (text_of(entries_[entry - 1]) == spelling) return;
  }
  append(trie, node, spelling);
  ++extra_;
}

void Spellings::add_plain(Trie& trie, std::string_view word) {
  const std::size_t words_before = trie.word_count();
  const NodeIndex node = trie.insert(word);
  // A new word, or one without spellings, is spelt as its letters already.
  if (node == kNoNode || trie.word_count() != words_before ||
      first_of(node) == 0) {
    return;
  }
  const std::string letters = normalize_word(word);
  for (std::uint32_t entry = first_of(node); entry != 0;
       entry = entries_[entry - 1].next) {
    if (text_of(entries_[entry - 1]) == letters) return;
  }
  append(trie, node, letters);
  ++extra_;
}

bool Spellings::holds(const Trie& trie, std::string_view folded,
                      std::string_view spelling) const {
  const NodeIndex node = trie.find(folded);
  if (node == kNoNode) return false;
  if (spelling == folded) return true;
  for (std::uint32_t entry = first_of(node); entry != 0;
       entry = entries_[entry - 1].next) {
    if (text_of(entries_[entry - 1]) == spelling) return true;
  }
  return false;
}

SpelledWords Spellings::spell_candidates(
    const Trie& trie, std::vector<std::string> folded) const {
  SpelledWords spelled;
  std::vector<std::uint32_t> firsts;
  if (!entries_.empty()) {
    firsts.reserve(folded.size());
    for (const std::string& word : folded) {
      firsts.push_back(first_of(trie.find(word)));
    }
  }
  if (std::all_of(firsts.begin(), firsts.end(),
                  [](std::uint32_t first) { return first == 0; })) {
    spelled.words = std::move(folded);
    return spelled;
  }
  std::vector<std::pair<std::string_view, std::uint32_t>> pairs;
  pairs.reserve(folded.size());
  for (std::uint32_t i = 0; i < folded.size(); ++i) {
    if (firsts[i] == 0) pairs.emplace_back(folded[i], i);
    for (std::uint32_t entry = firsts[i]; entry != 0;
         entry = entries_[entry - 1].next) {
      pairs.emplace_back(text_of(entries_[entry - 1]), i);
    }
  }
  std::sort(pairs.begin(), pairs.end());
  spelled.words.reserve(pairs.size());
  spelled.letters.reserve(pairs.size());
  for (const auto& [spelling, index] : pairs) {
    spelled.words.emplace_back(spelling);
    spelled.letters.push_back(folded[index]);
  }
  return spelled;
}

// Drops `omitted` (sorted) from `spelled`.
void omit_spellings(const std::vector<std::string>& omitted,
                    SpelledWords* spelled) {
  std::size_t kept = 0;
  for (std::size_t rank = 0; rank < spelled->words.size(); ++rank) {
    if (std::binary_search(omitted.begin(), omitted.end(),
                           spelled->words[rank])) {
      continue;
    }
    if (kept != rank) {
      spelled->words[kept] = std::move(spelled->words[rank]);
      if (!spelled->letters.empty()) {
        spelled->letters[kept] = std::move(spelled->letters[rank]);
      }
    }
    ++kept;
  }
  spelled->words.resize(kept);
  if (!spelled->letters.empty()) spelled->letters.resize(kept);
}

}  // namespace vorpalyx
