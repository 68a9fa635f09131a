// The fast search, used for every solve that is not traced.
//
// It returns exactly the list that the literal search returns for every
// search that runs to its end, but reaches it another way:
//  - the candidate words are collected once, by walking the trie with the
//    phrase's letters, in ascending byte order (their rank);
//  - letter counts are packed into machine words with a guard bit above each
//    letter's field, so one subtraction per word tells whether a word fits
//    and what remains;
//  - each combination is built once, its words in ascending rank, so there
//    are no duplicates to remove, and the solutions of one word count and
//    shortest length come out already in result order (no sort);
//  - each level keeps only the words that still fit, and a level is given up
//    as soon as some remaining letter, unmet pattern or required start letter
//    is held by none of them, or the word budget cannot take the letters;
//  - the last word of every solution is found by one hash lookup of the
//    remaining letters.
// The walk keeps its own stack, so deep solutions cannot exhaust the native
// stack. The clock is read every so many steps when a time limit is given.
//
// Cost: time proportional to the words examined at the levels that can still
// lead to a solution, plus one lookup per solution; memory is the candidate
// list, the per-level lists along the current path and the solutions found.

#ifndef VORPALYX_SOLVER_FAST_SEARCH_H_
#define VORPALYX_SOLVER_FAST_SEARCH_H_

#include <chrono>

#include "char_utils/char_counts.h"
#include "solver/search_records.h"
#include "trie/trie.h"

namespace vorpalyx {

// True when the fast search can take these constraints: it tracks at most
// 64 distinct patterns, one bit each.
bool fast_search_handles(const SolverConstraints& constraints);

// Runs the whole search over `phrase_counts` (not empty) and returns the
// solutions in result order. The time limit is measured from `start_time`.
SolutionList run_fast_search(const Trie& trie, const CharCounts& phrase_counts,
                             const SolverConstraints& constraints,
                             std::chrono::steady_clock::time_point start_time);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_FAST_SEARCH_H_
