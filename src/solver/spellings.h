// Spellings: the ways a dictionary word is written, beside its letters.
//
// The trie holds each word as its folded letters a-z (char_utils/fold.h);
// this table holds, for the folded words that need it, the spellings shown
// in results: "café" for "cafe", or "cote", "côte" and "côté" all for
// "cote". A folded word without an entry is spelt as itself. Spellings of
// one folded word have the same letters, so the search groups them into one
// class of interchangeable words and they cost nothing in the walk; they
// only reach the result when the candidate words of a phrase are spelt
// (spell_candidates).
//
// Invariants: every entry's folded word is in the trie; an entry holds at
// least one spelling, never twice, and either more than one or one that
// differs from its folded word; every spelling folds to its entry's word.
// Cost: a hash lookup per word added whose spelling has accents (or whose
// folded word has an entry); spelling candidates is free when no candidate
// has an entry, else a sort of the spelt candidates.
//
// Tested by tests/cpp/solver/spellings_test.cc and tests/python/test_fold.py.

#ifndef VORPALYX_SOLVER_SPELLINGS_H_
#define VORPALYX_SOLVER_SPELLINGS_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "trie/trie.h"

namespace vorpalyx {

// Candidate words as the search's rank space holds them: `words`, in
// ascending byte order, are spellings, and `letters` the folded letters of
// each (empty when every word is spelt as its letters).
struct SpelledWords {
  std::vector<std::string> words;
  std::vector<std::string> letters;

  // The letters of each rank, which everything but the result reads.
  const std::vector<std::string>& letters_by_rank() const {
    return letters.empty() ? words : letters;
  }
};

class Spellings {
 public:
  // Stores `folded` (letters a-z) in `trie` and `spelling` as one of its
  // spellings. An empty `folded` changes nothing.
  void add(Trie& trie, const std::string& folded, std::string_view spelling);

  // Whether `spelling` of `folded` is held, or `spelling` is plain letters
  // (equal to `folded`) and some spelling folds to it.
  bool holds(const Trie& trie, const std::string& folded,
             std::string_view spelling) const;

  // The number of distinct spellings of the words in `trie`.
  std::size_t count(const Trie& trie) const {
    return trie.word_count() + extra_;
  }

  bool empty() const { return by_folded_.empty(); }

  // Replaces each of `folded` (ascending) by its spellings.
  SpelledWords spell_candidates(std::vector<std::string> folded) const;

 private:
  std::unordered_map<std::string, std::vector<std::string>> by_folded_;
  std::size_t extra_ = 0;  // spellings beyond the first of each word
};

// The candidates as spelt by `spellings` (null: as their letters).
inline SpelledWords spell_candidates(const Spellings* spellings,
                                     std::vector<std::string> folded) {
  if (spellings == nullptr) return {std::move(folded), {}};
  return spellings->spell_candidates(std::move(folded));
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SPELLINGS_H_
