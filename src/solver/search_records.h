// The constraints of one solve, as its caller hands them to the searches.
//
// SolverConstraints is built by the caller and only read by the searches; an
// absent field is a constraint that was not given, while a present but empty
// container is applied as empty. Patterns arrive normalised and never empty
// (see prepare_patterns.h).
//
// ExtendedConstraints holds what only the Lexicon's searches take.
//
// Cost: plain values; a copy copies their containers.
//
// Tested by tests/cpp/solver/anagram_solver_test.cc.

#ifndef VORPALYX_SOLVER_SEARCH_RECORDS_H_
#define VORPALYX_SOLVER_SEARCH_RECORDS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "char_utils/char_counts.h"
#include "char_utils/letter_lists.h"

namespace vorpalyx {

struct ProcessedPattern {
  std::string text;   // normalised, never empty
  CharCounts counts;  // the letters of `text`
};

struct SolverConstraints {
  std::optional<LetterCountMap> must_start_with;
  std::optional<LetterSet> can_only_ever_start_with;
  std::optional<LetterSet> must_not_start_with;
  std::optional<std::uint64_t> max_words;
  std::optional<std::uint64_t> min_word_length;
  std::optional<double> timeout_seconds;
  std::optional<std::uint64_t> max_solutions;
  std::optional<std::vector<ProcessedPattern>> contains_patterns;

  // Whether a word may begin with `letter`: not excluded by
  // must_not_start_with, and admitted by can_only_ever_start_with.
  bool allows_start(char32_t letter) const {
    if (must_not_start_with && must_not_start_with->contains(letter)) {
      return false;
    }
    return !can_only_ever_start_with ||
           can_only_ever_start_with->contains(letter);
  }
};

// The constraints that the Lexicon's searches take beside those eight. Words
// arrive as a-z text, the phrase's blanks as a number. An absent or empty
// field is a constraint that was not given.
struct ExtendedConstraints {
  std::optional<std::uint64_t> max_word_length;
  std::optional<std::uint64_t> min_words;
  // Word lengths as a crossword enumeration, in the order solutions give
  // their words.
  std::optional<std::vector<std::uint64_t>> lengths;
  std::vector<std::string> include;  // in every solution, as often as listed
  std::vector<std::string> exclude;
  bool distinct = false;       // no word twice in a solution
  std::uint32_t blanks = 0;    // letters that may be any letter
  std::uint64_t leftover = 0;  // phrase letters that may stay unused

  // Whether the composed search (composed_search.h) must run: the phrase's
  // letters change, or its solutions are reordered.
  bool composes() const {
    return !include.empty() || blanks != 0 || leftover != 0 || lengths;
  }
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SEARCH_RECORDS_H_
