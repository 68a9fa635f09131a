// The fast search, used for every solve that is not traced.
//
// It returns exactly the list that the literal search returns for every
// search that runs to its end, but reaches it another way:
//  - the candidate words are collected once, by walking the trie with the
//    phrase's letters; their rank is their place in ascending byte order;
//  - words with the same letters (and the same patterns and, when start
//    letters are counted, the same first letter) form one class; the search
//    combines classes, and each combination found is expanded into every
//    choice of members, a class met twice taking members in ascending order;
//  - letter counts are packed into machine words with a guard bit above each
//    letter's field, so one subtraction per word tells whether a word fits
//    and what remains;
//  - classes are ordered by their rarest letter (the letter held by the
//    fewest candidates), and each combination is built in that order, so a
//    level branches only on the classes holding the rarest letter left and
//    every combination is met exactly once (no duplicates to remove);
//  - each level keeps only the classes that still fit, and gives up as soon
//    as some remaining letter, unmet pattern or required start letter is
//    held by none of them, or the word budget cannot take the letters;
//  - the last word of a solution is found by one hash lookup of the letters
//    left, and the last two by a lookup per class holding the rarest letter;
//  - solutions are kept per word count and shortest word as integer keys:
//    their ranks in fields when they fit one machine word, else the number
//    of their multiset of ranks when that fits, else fields in two words;
//    buckets are sorted with a most significant digit first radix sort.
// Once an untraced search without a solution limit has run for a
// millisecond, a second walker on another thread takes first-level branches
// from the same queue, and the buckets are then sorted on both threads; the
// result does not depend on who found what. The walk keeps its own stack,
// so deep solutions cannot exhaust the native stack. When a time limit is
// given, the clock is read every so many steps.
//
// Cost: time proportional to the classes examined at the levels that can
// still lead to a solution, plus a few table reads and sort passes per
// solution; memory is the candidates, the lists along the current path and
// the solutions found (8 bytes each in most cases, 16 for long ones), twice
// over while a bucket is sorted.

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
