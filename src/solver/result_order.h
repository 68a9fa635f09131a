// The result order of solutions, and the building of a SolutionList.
//
// Solutions are ordered by, in turn: fewer words first; then the longer
// shortest word first (its letters, which are its bytes for words of a-z); then
// word by word in ascending byte order (a prefix sorts before its extensions).
// The order is total on distinct solutions, so the result never depends on the
// order in which a search found them. Cost: a comparison reads the words of
// the two solutions until they differ; building a list sorts it once.
//
// Tested by tests/cpp/solver/result_order_test.cc.

#ifndef VORPALYX_SOLVER_RESULT_ORDER_H_
#define VORPALYX_SOLVER_RESULT_ORDER_H_

#include <cstdint>
#include <vector>

#include "solver/solution_list.h"

namespace vorpalyx {

// True when `left` comes before `right`. Both hold their words sorted.
bool solution_precedes(const Solution& left, const Solution& right);

// The same, given the length of each one's shortest word, for words whose
// letters are not their bytes (spellings with accents).
bool solution_precedes(const Solution& left, std::uint64_t left_shortest,
                       const Solution& right, std::uint64_t right_shortest);

// Sorts `solutions` (each sorted within) into result order and stores them
// flat, sharing each distinct word. Consumes `solutions`.
SolutionList make_solution_list(std::vector<Solution> solutions);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_RESULT_ORDER_H_
