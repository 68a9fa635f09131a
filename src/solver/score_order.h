// Solutions by score: a whole result reordered, and its k best picked out.
//
// A solution's score is the sum of its words' weights (word_weights.h), a
// word met twice counting twice. Score order is score descending, ties in
// result order (result_order.h), so it is total and never depends on how a
// search found the solutions.
//
// Invariant: the reordered list holds the same solutions as the standard
// one. Cost: one pass to score the solutions, a counting sort by score
// (stable, so ties keep result order; linear plus the range of scores), and
// the list again as rows (4 bytes per word of each solution) while the
// standard one is still held.
//
// Tested by tests/cpp/solver/ranked_search_test.cc.

#ifndef VORPALYX_SOLVER_SCORE_ORDER_H_
#define VORPALYX_SOLVER_SCORE_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "solver/solution_list.h"
#include "solver/word_weights.h"

namespace vorpalyx {

// A solution and its score, in hundredths.
struct RankedSolution {
  std::int64_t score = 0;
  Solution words;
  LetterVariant letters;  // with blanks or leftover letters

  friend bool operator==(const RankedSolution&,
                         const RankedSolution&) = default;
};

// The weight of each word of `list.words`, by id.
std::vector<std::int32_t> weights_by_id(const SolutionList& list,
                                        const WordWeights& weights);

// A list in score order and the score of each of its solutions.
struct ScoredList {
  SolutionList list;
  std::vector<std::int64_t> scores;  // by position, descending
};

// What order_by_score costs a solution, about, for searches under a time
// limit to leave room for it.
inline constexpr double kScoreOrderSecondsPerSolution = 1.2e-7;

// `standard` (in result order) reordered by score, reading it and copying
// it into place on a second thread too when allowed. Consumes `standard`.
ScoredList order_by_score(SolutionList standard, const WordWeights& weights,
                          bool use_second_thread = false);

// The first `k` in score order of the first `first` solutions of
// `standard` (in result order).
std::vector<RankedSolution> best_of(const SolutionList& standard,
                                    const WordWeights& weights, std::uint64_t k,
                                    std::uint64_t first = UINT64_MAX);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SCORE_ORDER_H_
