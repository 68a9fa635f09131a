#include "solver/spellings.h"

#include <algorithm>
#include <utility>

namespace vorpalyx {

void Spellings::add(Trie& trie, const std::string& folded,
                    std::string_view spelling) {
  if (folded.empty()) return;
  const std::size_t words_before = trie.word_count();
  trie.insert(folded);
  if (trie.word_count() != words_before) {
    if (spelling != folded) by_folded_[folded].emplace_back(spelling);
    return;
  }
  const auto found = by_folded_.find(folded);
  if (found == by_folded_.end()) {
    // Held so far only as its plain letters.
    if (spelling != folded) {
      by_folded_.emplace(
          folded, std::vector<std::string>{folded, std::string(spelling)});
      ++extra_;
    }
    return;
  }
  std::vector<std::string>& spellings = found->second;
  if (std::find(spellings.begin(), spellings.end(), spelling) ==
      spellings.end()) {
    spellings.emplace_back(spelling);
    ++extra_;
  }
}

bool Spellings::holds(const Trie& trie, const std::string& folded,
                      std::string_view spelling) const {
  if (folded.empty() || !trie.contains(folded)) return false;
  if (spelling == folded) return true;
  const auto found = by_folded_.find(folded);
  return found != by_folded_.end() &&
         std::find(found->second.begin(), found->second.end(), spelling) !=
             found->second.end();
}

SpelledWords Spellings::spell_candidates(
    std::vector<std::string> folded) const {
  SpelledWords spelled;
  const bool any_spelt =
      !by_folded_.empty() &&
      std::any_of(folded.begin(), folded.end(), [&](const std::string& word) {
        return by_folded_.contains(word);
      });
  if (!any_spelt) {
    spelled.words = std::move(folded);
    return spelled;
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  pairs.reserve(folded.size());
  for (std::string& word : folded) {
    const auto found = by_folded_.find(word);
    if (found == by_folded_.end()) {
      pairs.emplace_back(word, word);
      continue;
    }
    for (const std::string& spelling : found->second) {
      pairs.emplace_back(spelling, word);
    }
  }
  std::sort(pairs.begin(), pairs.end());
  spelled.words.reserve(pairs.size());
  spelled.letters.reserve(pairs.size());
  for (auto& [spelling, letters] : pairs) {
    spelled.words.push_back(std::move(spelling));
    spelled.letters.push_back(std::move(letters));
  }
  return spelled;
}

}  // namespace vorpalyx
