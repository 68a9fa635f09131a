// Composed searches: words included in every solution, blanks, letters
// left over, and an enumeration of word lengths.
//
// Each is made of plain fast searches. The included words' letters are
// taken from the phrase first, and the constraints are adjusted for them
// (word counts and lengths they use, patterns and start letters they meet);
// a constraint they break leaves nothing to search (the plan:
// composition.h). Then each way of filling the blanks and leaving letters
// over gives the letters of one search, a variant (letter_variants.h); the
// variants spell different letters, so no solution comes from two of them.
// Their solutions are merged, with the included words, into one list in
// result order; with an enumeration, each solution gives its words in the
// enumeration's order (words of one length alphabetically), and the list is
// ordered by that sequence.
//
// Invariant: a composed search returns the solutions that a search of the
// whole phrase with every constraint would, each once. Cost: one fast
// search per variant (26 for a blank, 351 for two, and one per multiset of
// letters that may be left over), then a sort of the merged solutions,
// held as rows (4 bytes a word; merged_rows.h); counting merges nothing. A
// merge that would not fit in the memory the process can still get throws
// ResultTooLarge, as a search whose own result would not does. With a second
// core the variants' searches are shared by two threads, one search each,
// unless a solution limit makes their order matter or a time limit makes
// each leave room for what the ones before it found (then each search has
// both threads).
//
// Tested by tests/cpp/solver/composed_search_test.cc, against a brute force
// by tests/python/test_constraints.py, and for Ctrl-C by
// tests/python/test_lexicon.py.

#ifndef VORPALYX_SOLVER_COMPOSED_SEARCH_H_
#define VORPALYX_SOLVER_COMPOSED_SEARCH_H_

#include <chrono>
#include <cstdint>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/fast_search.h"
#include "solver/letter_variants.h"
#include "solver/score_order.h"
#include "solver/search_records.h"
#include "solver/solution_list.h"
#include "solver/word_weights.h"
#include "trie/trie.h"

namespace vorpalyx {

// The composed search of `phrase` (its letters; it may be empty when the
// phrase has blanks), with the time limit measured from `start_time`.
// Throws TooManyVariants, and what run_fast_search throws.
SolutionList composed_search(const Trie& trie, const CharCounts& phrase,
                             const SolverConstraints& constraints,
                             const ExtendedConstraints& extended,
                             std::chrono::steady_clock::time_point start_time,
                             const FastSearchOptions& options);

// The same solutions in score order (ties in result order).
ScoredList composed_search_by_score(
    const Trie& trie, const CharCounts& phrase,
    const SolverConstraints& constraints, const ExtendedConstraints& extended,
    const WordWeights& weights,
    std::chrono::steady_clock::time_point start_time,
    const FastSearchOptions& options);

// Their number, found without storing them.
SolutionCount composed_count(const Trie& trie, const CharCounts& phrase,
                             const SolverConstraints& constraints,
                             const ExtendedConstraints& extended,
                             std::chrono::steady_clock::time_point start_time,
                             const FastSearchOptions& options);

// The `k` best of them, best first (ties in result order).
std::vector<RankedSolution> composed_best(
    const Trie& trie, const CharCounts& phrase,
    const SolverConstraints& constraints, const ExtendedConstraints& extended,
    const WordWeights& weights, std::uint64_t k,
    std::chrono::steady_clock::time_point start_time,
    const FastSearchOptions& options);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_COMPOSED_SEARCH_H_
