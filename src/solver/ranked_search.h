// The ranked search: the k best solutions by score, without enumerating
// the rest.
//
// It answers: of every solution that run_fast_search would return for the
// same phrase and constraints, which k come first in score order
// (score_order.h: score descending, ties in result order)? The walk is a
// depth-first branch and bound over word classes (word_classes.h, here
// split further so that the words of a class share their weight):
//  - a combination is built in the fast search's canonical order (each
//    next class holds the rarest letter left and comes no earlier than the
//    last), so every multiset of classes is met once; within the classes
//    holding a letter, the heavier come first, so good solutions are found
//    early;
//  - the k best so far are kept in a heap; a partial combination is
//    extended only while its bound (its score, plus the best sum of weights
//    that words of the letter count left could add, a knapsack over word
//    lengths) could still enter them, and a level stops at the first class
//    whose own weight already cannot, since the rest weigh no more;
//  - weights are at most 0, so a partial score bounds every completion:
//    the pruning is exact.
// A solution limit keeps the first max_solutions found, which only the full
// search knows, and a k beyond kMostBestByWalk would keep as much as the
// full result: both rank the full search's result instead. A least number
// of words only holds back the solutions with fewer; with word lengths a
// class is taken only while its length is still wanted, and the words left
// weigh at most the heaviest class of each length left; with distinct words
// a class is taken at most as often as it has members, each time a later
// one. A time limit
// ends the walk with the best found so far, leaving time (and a memory
// budget) for the caller to convert the k it keeps (FinishCosts::kept_most),
// and keeps of those found no more than that time allows; the interrupt
// poll stops it as it stops the fast search.
//
// Cost: the classes examined at the levels whose bound can still enter the
// k best; memory is the classes, the current path and the k solutions.
//
// Tested by tests/cpp/solver/ranked_search_test.cc (against a full
// enumeration, sorted and cut, over random dictionaries and weights).

#ifndef VORPALYX_SOLVER_RANKED_SEARCH_H_
#define VORPALYX_SOLVER_RANKED_SEARCH_H_

#include <chrono>
#include <cstdint>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/fast_search.h"
#include "solver/prepared_constraints.h"
#include "solver/score_order.h"
#include "solver/search_records.h"
#include "solver/word_weights.h"
#include "trie/trie.h"

namespace vorpalyx {

// The largest k that the walk keeps by itself.
inline constexpr std::uint64_t kMostBestByWalk = std::uint64_t{1} << 16;

// How many of its `solutions` (of `words` words in all) a caller can
// still rank, at `seconds_per_ranked` each, and keep k of, at the kept costs
// of `costs`, before the time limit of `prepared` passes: under a time limit
// the search stops after a check of its budgets, which may have found more
// than there is time left to keep. Without a limit, all.
std::uint64_t rankable_in_time(const PreparedConstraints& prepared,
                               std::chrono::steady_clock::time_point start_time,
                               const FinishCosts& costs, std::uint64_t k,
                               std::uint64_t solutions, std::uint64_t words,
                               double seconds_per_ranked = 0);

// best_of(found, weights, k) over the first of `found` that rankable_in_time
// allows; `trimmed`, when given, tells whether it allowed fewer than all.
std::vector<RankedSolution> best_in_time(
    const SolutionList& found, const WordWeights& weights, std::uint64_t k,
    const PreparedConstraints& prepared,
    std::chrono::steady_clock::time_point start_time, const FinishCosts& costs,
    bool* trimmed = nullptr);

// The `k` best solutions of `phrase_counts` (not empty), best first, each
// with its words in ascending byte order. Throws as run_fast_search does.
// `cut_short`, when given, is set to whether a limit ended the search, so
// that the solutions may not be the k best.
std::vector<RankedSolution> run_ranked_search(
    const Trie& trie, const CharCounts& phrase_counts,
    const SolverConstraints& constraints, const PreparedConstraints& prepared,
    const WordWeights& weights, std::uint64_t k,
    std::chrono::steady_clock::time_point start_time,
    const FastSearchOptions& options, bool* cut_short = nullptr);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_RANKED_SEARCH_H_
