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
#include "solver/prepared_constraints.h"
#include "solver/search_records.h"
#include "trie/trie.h"

namespace vorpalyx {

// Walks the trie with the phrase's letters and returns, in ascending byte
// order, every word that fits the phrase and passes the per-word
// constraints (start letters, lengths, excluded words).
std::vector<std::string> collect_candidate_words(
    const Trie& trie, const CharCounts& phrase,
    const SolverConstraints& constraints, const PreparedConstraints& prepared);

// The 26 letters, the one held by the fewest of `words` first (ties in
// alphabetical order).
std::array<std::uint32_t, kAlphabetSize> letters_by_rarity(
    const std::vector<std::string>& words);

template <std::size_t N>
struct WordClass {
  Packed<N> counts;
  Packed<N> letters;       // the guard bit of each letter the words hold
  std::uint64_t patterns;  // the tracked patterns it holds, a bit each
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
  // Whether a class that comes k times stands for k distinct members
  // rather than any multiset of k.
  bool distinct = false;
  // With more patterns than one machine word tracks: the patterns each
  // class holds, `pattern_words` words per class by class_index, and every
  // pattern (0 and empty otherwise).
  std::size_t pattern_words = 0;
  std::vector<std::uint64_t> class_patterns;
  std::vector<std::uint64_t> every_pattern;

  const std::uint64_t* patterns_of(std::uint32_t class_index) const {
    return class_patterns.data() + class_index * pattern_words;
  }
};

// The patterns each word holds, a row of `words` bits per word; and which
// patterns the walk tracks in WordClass::patterns (a bit each, at most 64:
// with more, the ones held by the fewest words, which prune the most).
struct PatternsHeld {
  std::size_t words = 0;
  std::vector<std::uint64_t> rows;
  std::vector<std::uint32_t> tracked;

  const std::uint64_t* row(std::uint32_t word_rank) const {
    return rows.data() + word_rank * words;
  }
};

PatternsHeld find_patterns_held(const std::vector<std::string>& words,
                                const std::vector<std::string>& patterns);

// Groups `words` (the letters of each rank: SpelledWords::letters_by_rank)
// into classes, in search order.
// With `weights` (one per word), words of different weights are never
// interchangeable either.
template <std::size_t N>
WordClasses<N> group_into_classes(
    const std::vector<std::string>& words, const PackedAlphabet<N>& alphabet,
    const std::vector<std::string>& patterns, bool by_first_letter,
    const std::vector<std::int32_t>* weights = nullptr) {
  const PatternsHeld held = find_patterns_held(words, patterns);
  std::vector<WordClass<N>> described;
  described.reserve(words.size());
  for (std::uint32_t rank = 0; rank < words.size(); ++rank) {
    const std::string_view word = words[rank];
    std::uint64_t tracked_patterns = 0;
    for (std::size_t bit = 0; bit < held.tracked.size(); ++bit) {
      const std::uint32_t pattern = held.tracked[bit];
      tracked_patterns |= (held.row(rank)[pattern / 64] >> (pattern % 64) & 1)
                          << bit;
    }
    described.push_back({
        .counts = alphabet.pack(word),
        .letters = alphabet.letters_of(word),
        .patterns = tracked_patterns,
        .length = word.size(),
        .first_letter = static_cast<std::uint32_t>(word[0] - 'a'),
        .first_rank = rank,
        .key = 0,
        .members_begin = 0,
        .member_count = 1,
    });
  }
  // Words are interchangeable with the same letters, the same patterns and,
  // when start letters are counted, the same first letter.
  auto class_order = [&](std::uint32_t left, std::uint32_t right) {
    const WordClass<N>& one = described[left];
    const WordClass<N>& other = described[right];
    if (!(one.counts == other.counts)) return one.counts < other.counts;
    const std::uint64_t* one_row = held.row(left);
    const std::uint64_t* other_row = held.row(right);
    for (std::size_t i = 0; i < held.words; ++i) {
      if (one_row[i] != other_row[i]) return one_row[i] < other_row[i];
    }
    if (by_first_letter && one.first_letter != other.first_letter) {
      return one.first_letter < other.first_letter;
    }
    return weights != nullptr && (*weights)[left] < (*weights)[right];
  };
  WordClasses<N> result;
  std::vector<std::uint32_t>& by_class = result.member_ranks;
  by_class.resize(words.size());
  std::vector<std::uint32_t> class_begins;  // positions in by_class
  if (held.words == 0) {
    // Without rows of patterns every part of the order is a number: the
    // keys are sorted by value, the rank breaking ties as a stable sort of
    // the ranks would.
    struct Entry {
      Packed<N> counts;
      std::uint32_t first_letter;
      std::int32_t weight;
      std::uint32_t rank;
      bool same_class(const Entry& other) const {
        return counts == other.counts && first_letter == other.first_letter &&
               weight == other.weight;
      }
    };
    std::vector<Entry> entries(words.size());
    for (std::uint32_t rank = 0; rank < entries.size(); ++rank) {
      entries[rank] = {
          described[rank].counts,
          by_first_letter ? described[rank].first_letter : 0,
          weights != nullptr ? (*weights)[rank] : 0,
          rank,
      };
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& left, const Entry& right) {
                if (!(left.counts == right.counts)) {
                  return left.counts < right.counts;
                }
                return std::tie(left.first_letter, left.weight, left.rank) <
                       std::tie(right.first_letter, right.weight, right.rank);
              });
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
      by_class[i] = entries[i].rank;
      if (i == 0 || !entries[i].same_class(entries[i - 1])) {
        class_begins.push_back(i);
      }
    }
  } else {
    for (std::uint32_t rank = 0; rank < by_class.size(); ++rank) {
      by_class[rank] = rank;
    }
    std::stable_sort(by_class.begin(), by_class.end(), class_order);
    for (std::uint32_t i = 0; i < by_class.size(); ++i) {
      if (i == 0 || class_order(by_class[i - 1], by_class[i])) {
        class_begins.push_back(i);
      }
    }
  }
  class_begins.push_back(static_cast<std::uint32_t>(by_class.size()));
  std::vector<WordClass<N>> grouped;
  grouped.reserve(class_begins.size() - 1);
  for (std::size_t i = 0; i + 1 < class_begins.size(); ++i) {
    WordClass<N> word_class = described[by_class[class_begins[i]]];
    word_class.members_begin = class_begins[i];
    word_class.member_count = class_begins[i + 1] - class_begins[i];
    // By rarest letter, then by first member: in this order the next word
    // of a combination always holds the rarest letter that remains, so a
    // level only ever branches on those classes.
    word_class.key = alphabet.rarest(word_class.letters);
    grouped.push_back(word_class);
  }
  // That order by counting: the classes visited by first member, each put
  // after those of smaller keys.
  constexpr std::uint32_t kNoClass = ~std::uint32_t{0};
  std::vector<std::uint32_t> class_of_rank(words.size(), kNoClass);
  std::array<std::uint32_t, kAlphabetSize + 1> key_begins{};
  for (std::uint32_t i = 0; i < grouped.size(); ++i) {
    class_of_rank[grouped[i].first_rank] = i;
    ++key_begins[grouped[i].key + 1];
  }
  for (std::size_t key = 0; key < kAlphabetSize; ++key) {
    key_begins[key + 1] += key_begins[key];
  }
  result.classes.resize(grouped.size());
  for (const std::uint32_t i : class_of_rank) {
    if (i != kNoClass)
      result.classes[key_begins[grouped[i].key]++] = grouped[i];
  }
  if (held.tracked.size() < patterns.size()) {
    result.pattern_words = held.words;
    for (const WordClass<N>& word_class : result.classes) {
      const std::uint64_t* row = held.row(word_class.first_rank);
      result.class_patterns.insert(result.class_patterns.end(), row,
                                   row + held.words);
    }
    result.every_pattern.assign(held.words, ~std::uint64_t{0});
    if (patterns.size() % 64 != 0) {
      result.every_pattern.back() =
          (std::uint64_t{1} << (patterns.size() % 64)) - 1;
    }
  }
  return result;
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_WORD_CLASSES_H_
