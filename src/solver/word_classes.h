// The words a phrase can use, and their classes of interchangeable words.
//
// Two index spaces run through the fast search, and only these two:
//  - a word's `word_rank`: its place among the phrase's candidate words in
//    ascending byte order (the order of the result's words);
//  - a class's `class_index`: its place among the classes in search order.
// A WordClass holds the words with the same letters, the same patterns and,
// when start letters are counted, the same first letter: any member may
// stand for any other in a solution, so the search combines classes and
// each combination is then expanded into its members.
//
// Invariant: every candidate word is a member of exactly one class; a
// class's members are listed in `member_ranks` ascending, at
// [members_begin, members_begin + member_count). In search order the classes
// come by the priority of their rarest letter (0, the rarest, first), then by
// first_rank. Cost: collecting walks the trie once, pruned by the phrase's
// letters; grouping sorts the words once.
//
// Tested by tests/cpp/solver/fast_search_test.cc and the differential tests.

#ifndef VORPALYX_SOLVER_WORD_CLASSES_H_
#define VORPALYX_SOLVER_WORD_CLASSES_H_

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/packed_counts.h"
#include "solver/search_records.h"
#include "trie/trie.h"

namespace vorpalyx {

// Walks the trie with the phrase's letters and returns, in ascending byte
// order, every word that fits the phrase and passes the per-word
// constraints (start letters, the shortest length).
std::vector<std::string> collect_candidate_words(
    const Trie& trie, const CharCounts& phrase,
    const SolverConstraints& constraints, std::uint64_t min_word_length);

// The 26 letters, the one held by the fewest of `words` first (ties in
// alphabetical order).
std::array<std::uint32_t, kAlphabetSize> letters_by_rarity(
    const std::vector<std::string>& words);

template <std::size_t N>
struct WordClass {
  Packed<N> counts;
  Packed<N> letters;  // the guard bit of each letter the words hold
  std::uint64_t patterns;
  std::uint64_t length;
  std::uint32_t first_letter;
  std::uint32_t first_rank;  // the word_rank of its first member
  std::uint32_t key;         // priority of its rarest letter (0 is rarest)
  std::uint32_t members_begin;
  std::uint32_t member_count;
};

template <std::size_t N>
struct WordClasses {
  std::vector<WordClass<N>> classes;
  std::vector<std::uint32_t> member_ranks;  // by class, ascending within
};

// Groups `words` (in ascending byte order) into classes, in search order.
template <std::size_t N>
WordClasses<N> group_into_classes(const std::vector<std::string>& words,
                                  const PackedAlphabet<N>& alphabet,
                                  const std::vector<std::string>& patterns,
                                  bool by_first_letter) {
  std::vector<WordClass<N>> described;
  described.reserve(words.size());
  for (std::uint32_t rank = 0; rank < words.size(); ++rank) {
    const std::string_view word = words[rank];
    CharCounts counts;
    for (char letter : word) ++counts[letter - 'a'];
    std::uint64_t held_patterns = 0;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
      if (word.find(patterns[i]) != std::string_view::npos) {
        held_patterns |= std::uint64_t{1} << i;
      }
    }
    described.push_back({
        .counts = alphabet.pack(counts),
        .letters = alphabet.letters_of(counts),
        .patterns = held_patterns,
        .length = word.size(),
        .first_letter = static_cast<std::uint32_t>(word[0] - 'a'),
        .first_rank = rank,
        .key = 0,
        .members_begin = 0,
        .member_count = 1,
    });
  }
  // The first letter only tells words apart when start letters are counted.
  auto class_key = [by_first_letter](const WordClass<N>& word) {
    return std::tuple(word.counts.words, word.patterns,
                      by_first_letter ? word.first_letter : 0);
  };
  WordClasses<N> result;
  std::vector<std::uint32_t>& by_class = result.member_ranks;
  by_class.resize(words.size());
  for (std::uint32_t rank = 0; rank < by_class.size(); ++rank) {
    by_class[rank] = rank;
  }
  std::stable_sort(by_class.begin(), by_class.end(),
                   [&](std::uint32_t left, std::uint32_t right) {
                     return class_key(described[left]) <
                            class_key(described[right]);
                   });
  for (std::uint32_t begin = 0; begin < by_class.size();) {
    const auto key = class_key(described[by_class[begin]]);
    std::uint32_t end = begin + 1;
    while (end < by_class.size() &&
           class_key(described[by_class[end]]) == key) {
      ++end;
    }
    WordClass<N> word_class = described[by_class[begin]];
    word_class.members_begin = begin;
    word_class.member_count = end - begin;
    result.classes.push_back(word_class);
    begin = end;
  }
  // By rarest letter, then by first member: in this order the next word of
  // a combination always holds the rarest letter that remains, so a level
  // only ever branches on those classes.
  for (WordClass<N>& word_class : result.classes) {
    word_class.key = alphabet.rarest(word_class.letters);
  }
  std::sort(result.classes.begin(), result.classes.end(),
            [](const WordClass<N>& left, const WordClass<N>& right) {
              return std::tie(left.key, left.first_rank) <
                     std::tie(right.key, right.first_rank);
            });
  return result;
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_WORD_CLASSES_H_
