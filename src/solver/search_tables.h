// SearchTables: everything the fast search's walkers read and none writes.
//
// Built once per solve from the phrase, the candidate words and the
// prepared constraints, then shared by const reference by every walker:
// the packing of letter counts, the word classes in search order, the index
// of classes by their letters, and the bounds that prune the walk.
//
// Invariant: immutable after construction, so walkers on several threads
// may read it at once; it must outlive them. Not copyable: the alphabet
// points into the layout. Cost: linear in the candidate words, plus their
// grouping sort.
//
// Tested by tests/cpp/solver/fast_search_test.cc and the differential tests.

#ifndef VORPALYX_SOLVER_SEARCH_TABLES_H_
#define VORPALYX_SOLVER_SEARCH_TABLES_H_

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/completion_index.h"
#include "solver/packed_counts.h"
#include "solver/prepared_constraints.h"
#include "solver/word_classes.h"

namespace vorpalyx {

template <std::size_t N>
struct SearchTables {
  // Where the count of a letter that is a word by itself lives.
  struct LetterField {
    std::size_t word;
    int shift;
    std::uint64_t mask;
  };

  SearchTables(const PackedLayout& layout_in,
               const PreparedConstraints& prepared_in,
               const std::vector<std::string>& words)
      : layout(layout_in),
        alphabet(layout),
        prepared(prepared_in),
        word_classes(classes_for(words, alphabet, prepared)),
        completions(word_classes.classes) {
    const std::vector<WordClass<N>>& classes = word_classes.classes;
    shortest_by_priority.fill(kUnlimited);
    shortest_by_guard.fill(kUnlimited);
    if (classes.empty()) return;
    shortest_class_length = classes[0].length;
    for (const WordClass<N>& word_class : classes) {
      shortest_class_length =
          std::min(shortest_class_length, word_class.length);
      if (word_class.length == 1) {
        const std::uint32_t letter = word_class.first_letter;
        single_letters.push_back(
            {static_cast<std::size_t>(layout.word[letter]),
             layout.shift[letter],
             (std::uint64_t{1} << layout.value_bits[letter]) - 1});
      } else {
        longer_word = std::min(longer_word, word_class.length);
      }
      // A class holds a handful of letters: visit those, not the alphabet.
      for (std::size_t i = 0; i < N; ++i) {
        for (std::uint64_t bits = word_class.letters.words[i]; bits != 0;
             bits &= bits - 1) {
          std::uint64_t& shortest =
              shortest_by_guard[64 * i + std::countr_zero(bits)];
          shortest = std::min(shortest, word_class.length);
        }
      }
    }
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      const Packed<N>& guard = alphabet.guard_of[letter];
      for (std::size_t i = 0; i < N; ++i) {
        if (guard.words[i] == 0) continue;
        shortest_by_priority[layout.priority[letter]] =
            shortest_by_guard[64 * i + std::countr_zero(guard.words[i])];
      }
    }
  }
  SearchTables(const SearchTables&) = delete;
  SearchTables& operator=(const SearchTables&) = delete;

  static WordClasses<N> classes_for(const std::vector<std::string>& words,
                                    const PackedAlphabet<N>& alphabet,
                                    const PreparedConstraints& prepared) {
    WordClasses<N> classes =
        group_into_classes(words, alphabet, prepared.patterns,
                           prepared.letters_needed_at_start != 0);
    classes.distinct = prepared.distinct;
    return classes;
  }

  // Whether the classes together can cover the phrase's letters, every
  // pattern and every required start letter at all.
  bool can_start(const CharCounts& phrase) const {
    Packed<N> letters;
    std::uint64_t patterns = 0;
    std::uint32_t starts = 0;
    for (const WordClass<N>& word_class : word_classes.classes) {
      letters |= word_class.letters;
      patterns |= word_class.patterns;
      starts |= 1u << word_class.first_letter;
    }
    if (word_classes.pattern_words != 0) {
      std::vector<std::uint64_t> held(word_classes.pattern_words);
      for (std::uint32_t i = 0; i < word_classes.classes.size(); ++i) {
        holds_more(held.data(), i);
      }
      if (!holds_every_pattern(held.data())) return false;
    }
    return !alphabet.letters_of(phrase).without(letters).any() &&
           (prepared.all_patterns & ~patterns) == 0 &&
           (prepared.letters_needed_at_start & ~starts) == 0;
  }

  // With more patterns than are tracked: adds those of class `class_index`
  // to `held`, and tells whether `held` has them all.
  void holds_more(std::uint64_t* held, std::uint32_t class_index) const {
    const std::uint64_t* row = word_classes.patterns_of(class_index);
    for (std::size_t i = 0; i < word_classes.pattern_words; ++i) {
      held[i] |= row[i];
    }
  }
  bool holds_every_pattern(const std::uint64_t* held) const {
    return std::equal(held, held + word_classes.pattern_words,
                      word_classes.every_pattern.begin());
  }

  // How many one-letter words the letters of `remaining` could still make.
  std::uint64_t single_letter_words_left(const Packed<N>& remaining) const {
    std::uint64_t count = 0;
    for (const LetterField& field : single_letters) {
      count += (remaining.words[field.word] >> field.shift) & field.mask;
    }
    return count;
  }

  // The length of the shortest class that holds one of `letters`.
  std::uint64_t shortest_holding(const Packed<N>& letters) const {
    std::uint64_t shortest = kUnlimited;
    for (std::size_t i = 0; i < N; ++i) {
      for (std::uint64_t bits = letters.words[i]; bits != 0; bits &= bits - 1) {
        shortest = std::min(shortest,
                            shortest_by_guard[64 * i + std::countr_zero(bits)]);
      }
    }
    return shortest;
  }

  const PackedLayout layout;
  const PackedAlphabet<N> alphabet;
  const PreparedConstraints& prepared;
  const WordClasses<N> word_classes;
  const CompletionIndex<N> completions;
  std::uint64_t shortest_class_length = 0;
  std::uint64_t longer_word = kUnlimited;  // the shortest of 2+ letters
  std::vector<LetterField> single_letters;
  // The shortest class holding each letter, by the letter's priority and by
  // the position of its guard bit.
  std::array<std::uint64_t, kAlphabetSize> shortest_by_priority{};
  std::array<std::uint64_t, 64 * N> shortest_by_guard{};
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SEARCH_TABLES_H_
