// The records that one solve shares between its driver and its search.
//
// SolverConstraints is built by the caller and only read by the search; an
// absent field is a constraint that was not given, while a present but empty
// container is applied as empty. SearchState is the mutable state of one
// running search. SolutionList is the result: distinct solutions in result
// order, each a list of words in ascending byte order.

#ifndef VORPALYX_SOLVER_SEARCH_RECORDS_H_
#define VORPALYX_SOLVER_SEARCH_RECORDS_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "char_utils/char_counts.h"
#include "char_utils/letter_lists.h"

namespace vorpalyx {

struct ProcessedPattern {
  std::string text;  // normalised, never empty
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
};

struct SearchState {
  // Entry i is true while some word on the path contains pattern i; present
  // exactly when the constraints carry a pattern list.
  std::optional<std::vector<bool>> pattern_mask;
  std::chrono::steady_clock::time_point start_time;
  std::uint64_t solutions_found = 0;
  bool timed_out = false;
};

using Solution = std::vector<std::string>;

// Solutions that all have `word_count` words, stored flat as word ids in
// chunks of whole solutions, so a result of millions of solutions needs no
// per-solution allocation and no single huge block.
struct SolutionGroup {
  std::size_t word_count = 0;
  std::size_t solution_count = 0;
  std::vector<std::vector<std::uint32_t>> chunks;

  // Appends one solution of `word_count` ids.
  void append(const std::uint32_t* word_ids) {
    if (chunks.empty() ||
        chunks.back().capacity() - chunks.back().size() < word_count) {
      add_chunk();
    }
    chunks.back().insert(chunks.back().end(), word_ids, word_ids + word_count);
    ++solution_count;
  }

 private:
  void add_chunk();
};

// The result of a solve: groups in result order, each holding its solutions
// in result order. Word ids index `words`, where each distinct word is held
// once whatever the number of solutions that use it.
struct SolutionList {
  std::vector<std::string> words;
  std::vector<SolutionGroup> groups;

  std::size_t size() const;
  // The solutions as plain word lists; for tests and small results.
  std::vector<Solution> to_vectors() const;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SEARCH_RECORDS_H_
