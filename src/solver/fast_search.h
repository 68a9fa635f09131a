// The fast search, used for every solve that is not traced.
//
// It returns exactly the list that the literal search returns for every
// search that runs to its end, but reaches it another way:
//  - the candidate words are collected once, by walking the trie with the
//    phrase's letters, and grouped into classes of interchangeable words
//    (word_classes.h); the walk combines classes and hands each combination
//    to a sink (solution_sink.h), which expands it into its members;
//  - letter counts are packed into machine words with a guard bit above each
//    letter's field (packed_counts.h), so one subtraction per word tells
//    whether a word fits and what remains;
//  - classes are ordered by their rarest letter (the letter held by the
//    fewest candidates), and each combination is built in that order, so a
//    level branches only on the classes holding the rarest letter left and
//    every combination is met exactly once (no duplicates to remove);
//  - each level keeps only the classes that still fit (level_lists.h), and
//    gives up as soon as some remaining letter, unmet pattern or required
//    start letter is held by none of them, or the word budget cannot take
//    the letters;
//  - the last word of a solution is found by one hash lookup of the letters
//    left (completion_index.h), and the last two by a lookup per class
//    holding the rarest letter;
//  - solutions are kept as integer keys per word count and shortest word and
//    radix sorted (solution_buckets.h).
// Everything runs on the calling thread unless FastSearchOptions offers a
// second core (Solver.solve never does): then, once a search without a
// solution limit has run for a millisecond, a second walker on another
// thread takes first-level branches from the same queue, and a result of
// many solutions has its buckets sorted on two threads. The result does not
// depend on who found what. The walk keeps its own stack, so deep solutions
// cannot exhaust the native stack. The same walk counts solutions without
// storing them (count_fast_search) through a counting sink.
//
// Cost: time proportional to the classes examined at the levels that can
// still lead to a solution, plus a few table reads and sort passes per
// solution; memory is the classes, the lists along the current path and the
// solutions found (8 bytes each in most cases, 16 for long ones), twice over
// while a bucket is sorted.
//
// Tested by tests/cpp/solver/fast_search_test.cc, the tests of both
// searches against each other and against a brute force, and the
// differential fuzzer.

#ifndef VORPALYX_SOLVER_FAST_SEARCH_H_
#define VORPALYX_SOLVER_FAST_SEARCH_H_

#include <chrono>
#include <cstdint>

#include "char_utils/char_counts.h"
#include "solver/prepared_constraints.h"
#include "solver/search_records.h"
#include "solver/search_stop.h"
#include "solver/solution_keys.h"
#include "solver/solution_list.h"
#include "solver/spellings.h"
#include "trie/trie.h"

namespace vorpalyx {

// How the fast search may use a second thread (tests force either way), and
// what its solutions will cost the caller once found.
struct FastSearchOptions {
  bool second_core = false;  // whether a second thread may be used at all
  // How long the first walker searches alone before a second one joins.
  std::chrono::steady_clock::duration second_walker_after =
      std::chrono::milliseconds(1);
  // Whether a search that the remainder search can make in order, with no
  // sort, is made so (remainder_search.h); tests turn it off to compare.
  bool remainder_search = true;
  // The fewest solutions its walk finds before the remainder search takes
  // over; tests lower it.
  std::uint64_t least_walk_before_remainder_search = std::uint64_t{1} << 20;
  FinishCosts finish_costs;
  // Asked on the calling thread while the search runs; see search_stop.h.
  InterruptPoll interrupt;
  // How the dictionary's words are spelt in the result; null: as their
  // letters.
  const Spellings* spellings = nullptr;

  // A second core when the machine has one.
  static FastSearchOptions for_this_machine();
};

// What a fast search did, for benchmarks and tests.
struct FastSearchReport {
  // When the walk ended, before sorting, measured from the solve's start.
  double search_seconds = 0;
  // The solutions found by the first walker and by the second, if it ran.
  std::uint64_t solutions_by_walker[2] = {0, 0};
  bool second_walker_ran = false;
  // Whether a limit (time or solutions) ended the walk, which may not have
  // been done, or the time limit left some of what it found unsorted.
  bool cut_short = false;
};

// Runs the whole search over `phrase_counts` (not empty) and returns the
// solutions in result order. `prepared` is `constraints` prepared. The time
// limit is measured from `start_time`. `report` may be null. Throws
// ResultTooLarge (memory_budget.h) when the result would not fit in the
// memory the process can still get, and SearchInterrupted when
// `options.interrupt` stopped it.
SolutionList run_fast_search(const Trie& trie, const CharCounts& phrase_counts,
                             const SolverConstraints& constraints,
                             const PreparedConstraints& prepared,
                             std::chrono::steady_clock::time_point start_time,
                             const FastSearchOptions& options,
                             FastSearchReport* report = nullptr);

// The number of solutions of a search, found without storing them.
struct SolutionCount {
  LongKey solutions = 0;
  bool saturated = false;  // more than 2^128 - 1
};

// Counts what run_fast_search would return, without storing it: classes of
// interchangeable words are counted by multiplying. Under a time limit, the
// count of what was found in time. Memory does not grow with the count.
// Throws SearchInterrupted as run_fast_search does.
SolutionCount count_fast_search(
    const Trie& trie, const CharCounts& phrase_counts,
    const SolverConstraints& constraints, const PreparedConstraints& prepared,
    std::chrono::steady_clock::time_point start_time,
    const FastSearchOptions& options, FastSearchReport* report = nullptr);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_FAST_SEARCH_H_
