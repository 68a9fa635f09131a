// MergedRow: one solution of a merge of several searches' results, its word
// ids held apart in one shared array; and the sort of such rows into result
// order.
//
// Result order is fewer words first, then the longer shortest word, then
// word by word by id (ids number the words in ascending byte order). The
// rows of one search come grouped by the first two already; the rows of
// several are counted into their groups, each search's keeping their order.
// Each group is then spread word by word (row_sort.h): its rows share long
// prefixes, which comparing rows would read again and again.
//
// Invariant: after the sort, rows are in result order; equal rows keep no
// particular order. Cost: a pass to find the groups (and, for several
// searches, two to count and spread the rows); per group, a copy of its rows
// and their ids, each with its place, and a pointer and a scratch pointer a
// row (kSortBytesPerRow and kSortBytesPerWord).
//
// Tested by tests/cpp/solver/composed_search_test.cc and, against a brute
// force, by tests/python/test_constraints.py.

#ifndef VORPALYX_SOLVER_MERGED_ROWS_H_
#define VORPALYX_SOLVER_MERGED_ROWS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorpalyx {

struct MergedRow {
  std::uint64_t shortest;  // letters of its shortest word
  std::size_t offset;      // of its ids
  std::uint32_t word_count;
  std::uint32_t variant;
};

// What sorting holds at its largest beside the rows and their ids.
inline constexpr std::uint64_t kSortBytesPerRow =
    sizeof(MergedRow) + 2 * sizeof(void*) + sizeof(std::uint32_t);
inline constexpr std::uint64_t kSortBytesPerWord = sizeof(std::uint32_t);

// Puts `rows`, whose ids are in `ids`, in result order.
void sort_in_result_order(std::vector<MergedRow>& rows,
                          const std::vector<std::uint32_t>& ids);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_MERGED_ROWS_H_
