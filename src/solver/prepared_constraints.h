// The constraints of a solve in the form the fast search tests them.
//
// Limits become plain numbers (absent ones the largest), patterns are kept
// once each in their order of first appearance, each with a bit of its own,
// and the start letters that must be met become counts with a bit per
// letter that has one. An enumeration of word lengths becomes a count per
// length and fixes the number of words.
//
// Invariant: `all_patterns` has one bit per pattern the walk tracks (the
// first 64; word_classes.h checks any more); `impossible`
// is set when no solution can meet the constraints (a zero limit, a start
// letter outside a-z). Cost: linear in the constraints.
//
// Tested by tests/cpp/solver/fast_search_test.cc.

#ifndef VORPALYX_SOLVER_PREPARED_CONSTRAINTS_H_
#define VORPALYX_SOLVER_PREPARED_CONSTRAINTS_H_

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/search_records.h"

namespace vorpalyx {

inline constexpr std::uint64_t kUnlimited =
    std::numeric_limits<std::uint64_t>::max();

struct PreparedConstraints {
  std::uint64_t max_words = kUnlimited;
  std::uint64_t min_word_length = 0;
  std::uint64_t max_solutions = kUnlimited;
  std::optional<double> timeout_seconds;  // absent for a NaN: no limit
  std::vector<std::string> patterns;      // distinct
  std::uint64_t all_patterns = 0;
  std::array<std::uint64_t, kAlphabetSize> starts_needed{};
  std::uint32_t letters_needed_at_start = 0;  // bit per letter with a need
  // The extended constraints the walk itself applies.
  std::uint64_t max_word_length = kUnlimited;
  std::uint64_t min_words = 0;
  // With an enumeration: how many words of each length, by length.
  std::vector<std::uint32_t> words_of_length;
  std::vector<std::string> excluded;  // sorted, distinct
  // Spellings left out while the other spellings of their letters stay
  // (distinct words beside included ones); sorted.
  std::vector<std::string> omitted_spellings;
  bool distinct = false;
  bool impossible = false;

  // Whether the time limit, counted from `start_time`, has passed.
  bool past_time_limit(std::chrono::steady_clock::time_point start_time) const {
    return timeout_seconds && std::chrono::duration<double>(
                                  std::chrono::steady_clock::now() - start_time)
                                      .count() > *timeout_seconds;
  }

  // Whether a candidate word of `length` letters may appear at all.
  bool allows_length(std::uint64_t length) const {
    return length >= min_word_length && length <= max_word_length &&
           (words_of_length.empty() ||
            (length < words_of_length.size() && words_of_length[length] != 0));
  }
  // Whether words of the enumeration's lengths can spell `letters` letters
  // in all; always, without one.
  bool lengths_add_up_to(std::uint64_t letters) const {
    std::uint64_t sum = 0;
    for (std::size_t length = 0; length < words_of_length.size(); ++length) {
      sum += length * words_of_length[length];
    }
    return words_of_length.empty() || sum == letters;
  }
  // Whether the walk must check the shape of its combinations: their
  // number of words, their lengths or distinct words.
  bool shapes_combinations() const {
    return min_words > 1 || !words_of_length.empty() || distinct;
  }
};

// The include, blank and leftover parts of `extended` are the composed
// search's (composed_search.h) and are not read here.
PreparedConstraints prepare_constraints(
    const SolverConstraints& constraints,
    const ExtendedConstraints& extended = {});

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_PREPARED_CONSTRAINTS_H_
