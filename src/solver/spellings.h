// Spellings: the ways a dictionary word is written, beside its letters.
//
// The trie holds each word as its folded letters a-z (char_utils/fold.h);
// this table holds, for the folded words that need it, the spellings shown
// in results: "café" for "cafe", or "cote", "côte" and "côté" all for
// "cote". A folded word without spellings here is spelt as itself.
// Spellings of one folded word have the same letters, so the search groups
// them into one class of interchangeable words and they cost nothing in the
// walk; they only reach the result when the candidate words of a phrase are
// spelt (spell_candidates).
//
// Spellings are kept flat, with no allocation per word: their bytes in one
// text, and per trie node the chain of its spellings, so a load stays close
// to the cost of the trie alone.
//
// Invariants: every chain belongs to a word node of the trie; a chain holds
// no spelling twice, and either more than one or one that differs from its
// folded word; every spelling folds to its node's word. Cost: 12 bytes a
// spelling plus its bytes, and 4 bytes a trie node once any word has a
// spelling; adding is a walk of the word's chain; spelling candidates is a
// trie lookup each, then, when some has spellings, a sort of the result.
//
// Tested by tests/cpp/solver/spellings_test.cc and tests/python/test_fold.py.

#ifndef VORPALYX_SOLVER_SPELLINGS_H_
#define VORPALYX_SOLVER_SPELLINGS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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
  void add(Trie& trie, std::string_view folded, std::string_view spelling);
  // add() for a word spelt as its letters a-z (normalize_word), which it
  // may still hold other characters around.
  void add_plain(Trie& trie, std::string_view word);

  // Whether `spelling` of `folded` is held, or `spelling` is plain letters
  // (equal to `folded`) and some spelling folds to it.
  bool holds(const Trie& trie, std::string_view folded,
             std::string_view spelling) const;

  // The number of distinct spellings of the words in `trie`.
  std::size_t count(const Trie& trie) const {
    return trie.word_count() + extra_;
  }

  bool empty() const { return entries_.empty(); }

  // Makes room, about, for the spellings of a text of `bytes` bytes of
  // words, a line each, to be added to `trie`.
  void reserve(const Trie& trie, std::size_t bytes);

  // Replaces each of `folded` (words of `trie`, ascending) by its
  // spellings.
  SpelledWords spell_candidates(const Trie& trie,
                                std::vector<std::string> folded) const;

 private:
  struct Entry {
    std::uint32_t offset;  // in text_
    std::uint32_t length;
    std::uint32_t next;  // the next of the chain, + 1; 0 ends it
  };

  std::uint32_t first_of(NodeIndex node) const {
    return node < heads_.size() ? heads_[node] : 0;
  }
  std::string_view text_of(const Entry& entry) const {
    return std::string_view(text_).substr(entry.offset, entry.length);
  }
  void append(const Trie& trie, NodeIndex node, std::string_view spelling);

  std::vector<std::uint32_t> heads_;  // by node: its first entry + 1, or 0
  std::vector<Entry> entries_;
  std::string text_;
  std::size_t extra_ = 0;  // spellings beyond the first of each word
};

// The candidates as spelt by `spellings` (null: as their letters).
inline SpelledWords spell_candidates(const Spellings* spellings,
                                     const Trie& trie,
                                     std::vector<std::string> folded) {
  if (spellings == nullptr) return {std::move(folded), {}};
  return spellings->spell_candidates(trie, std::move(folded));
}

// Drops `omitted` (sorted) from `spelled`.
void omit_spellings(const std::vector<std::string>& omitted,
                    SpelledWords* spelled);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SPELLINGS_H_
