// The remainder search: the solutions of a short phrase written straight
// into result order, with no sort, from the ordered solutions of what its
// words leave.
//
// A solution is its word ranks, ascending, and within a group of the result
// solutions come word by word. The solutions of a multiset of letters M in
// that order are: for each word w that fits M, by rank, w followed by each
// solution of M - w whose first rank is at least w's (above it, when words
// must be distinct). Those are a suffix of
// the ordered list of M - w, so every list is a concatenation of suffixes of
// smaller ones, made without a comparison. The remainders of a phrase (what
// taking words away leaves) are among its sub-multisets, numbered densely by
// the mixed radix of its letter counts.
//  - A pass from the largest remainders down finds which ones occur, the
//    least rank any path asks of each one's first word, and the words that
//    fit each (filtered from the list of the remainder that asked it).
//  - A pass from the smallest up counts each one's solutions by first word,
//    so that the size and start of any suffix is one binary search away.
//  - The lists of the smallest remainders, up to a size that keeps them a
//    small share of the result, are built whole: each entry holds its ranks
//    in fields and its word count and shortest word.
//  - A depth-first walk over the larger remainders, with its own stack and
//    each step a first word with solutions behind it, appends behind the
//    path's words the suffixes of those lists, each entry
//    to the group of its word count and shortest word, which grows as it
//    goes (its pages moved, not copied). Each group receives its solutions
//    in order.
//
// It applies where the walk's constraints bind single words only and
// nothing limits the search (no time or solution limit), where the
// phrase's sub-multisets and the keys fit its tables, and where the process
// can hold those tables (each remainder's words) and its keys;
// run_remainder_search says when it does not, and the caller then walks and
// sorts.
//
// Invariant: the result is exactly the one the fast search's walk and sort
// return. Cost: per remainder, a pass over the words that fit the one that
// asked it and a binary search per word that fits it; per solution of the
// result, one key made and written; the built lists, at most an eighth of
// the result (or a million entries). A result that the walk could not hold
// either (keys of 8 bytes, twice over while sorted) is refused before any
// of it is written; one that might not fit in this search's wider keys
// beside its tables is left to the walk.
//
// The tables and their walk are in remainder_tables.h.
//
// Tested by tests/cpp/solver/remainder_search_test.cc (against the walk).

#ifndef VORPALYX_SOLVER_REMAINDER_SEARCH_H_
#define VORPALYX_SOLVER_REMAINDER_SEARCH_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/fast_search.h"
#include "solver/prepared_constraints.h"
#include "solver/solution_list.h"
#include "solver/spellings.h"

namespace vorpalyx {

// How many remainders a search of `phrase` under `prepared` may have (the
// product over its letters of their counts plus one), or 0 when the
// remainder search does not apply to it: a quick look at the constraints and
// the phrase's letters, which run_remainder_search repeats. Its tables cost
// a few microseconds per remainder.
std::uint64_t remainder_count_bound(const CharCounts& phrase,
                                    const PreparedConstraints& prepared);

// Whether the ranks of every solution over the candidates whose letters are
// `letters` (by rank) fit the remainder search's keys of 128 bits, told
// from the candidates' lengths. Cost: a pass over the candidates.
bool remainder_keys_fit(const std::vector<std::string>& letters,
                        const CharCounts& phrase);

// The built lists may always hold this many entries, beside their share of
// the result.
inline constexpr std::uint64_t kLeastListEntries = std::uint64_t{1} << 20;

// The result of the search over `words` (the phrase's candidates, each of
// which fits `phrase`; its words are taken when there is a result), or
// nothing when the remainder search does not apply or its result would not
// fit where the walk's, whose keys may be narrower, might. Throws
// ResultTooLarge and SearchInterrupted as run_fast_search does. (Tests
// lower `least_list_entries` to walk deeper.)
std::optional<SolutionList> run_remainder_search(
    SpelledWords& words, const CharCounts& phrase,
    const PreparedConstraints& prepared,
    std::chrono::steady_clock::time_point start_time,
    const FastSearchOptions& options, FastSearchReport* report,
    std::uint64_t least_list_entries = kLeastListEntries);

// The number of solutions of the search over the candidates whose letters
// are `letters` (by rank), found by the remainder search's counts alone,
// without a list; nothing when it does not apply or the count passes
// 2^64 - 2.
std::optional<std::uint64_t> count_by_remainders(
    const std::vector<std::string>& letters, const CharCounts& phrase,
    const PreparedConstraints& prepared,
    std::chrono::steady_clock::time_point start_time,
    const FastSearchOptions& options);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_REMAINDER_SEARCH_H_
