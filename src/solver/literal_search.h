// The step-by-step search: backtrack and find_one_word_recursive.
//
// `backtrack` stands for one level of the search (a partial solution and the
// letters left); it tests the limits and prunes, records complete solutions,
// and otherwise asks `find_one_word_recursive` to spell every next word from
// the trie root. That walk appends each accepted word and calls `backtrack`
// again. Every step writes its trace line when a log is open, so the trace is
// a faithful account of the walk.
//
// The mutual recursion runs on an explicit stack: a solution may hold as many
// words as the phrase has letters, and the native stack must not bound that.
// Combinations are met once per order of their words; the solution set
// removes the repeats. Cost: exponential in the phrase, as any exhaustive
// search; memory is O(letters) for the stack plus the solutions found.
//
// Tested by tests/cpp/solver/anagram_solver_test.cc, time_limit_test.cc and
// tests/python/test_trace.py.

#ifndef VORPALYX_SOLVER_LITERAL_SEARCH_H_
#define VORPALYX_SOLVER_LITERAL_SEARCH_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/search_records.h"
#include "solver/solution_list.h"
#include "solver/trace_log.h"
#include "trie/trie.h"

namespace vorpalyx {

// The mutable state of one running literal search.
struct SearchState {
  // Entry i is true while some word on the path contains pattern i; present
  // exactly when the constraints carry a pattern list.
  std::optional<std::vector<bool>> pattern_mask;
  std::chrono::steady_clock::time_point start_time;
  std::uint64_t solutions_found = 0;
  bool timed_out = false;
};

// Runs the whole search from an empty path over `phrase_counts` (not empty)
// and returns the distinct solutions found, each sorted, in no fixed order.
// `state` must be freshly set up; its start time is read from it. `log` may
// be null.
std::vector<Solution> run_literal_search(const Trie& trie,
                                         const CharCounts& phrase_counts,
                                         const SolverConstraints& constraints,
                                         SearchState& state, TraceLog* log);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_LITERAL_SEARCH_H_
