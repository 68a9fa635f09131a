// Sorts solutions kept as rows of word ranks (those too long for a key)
// word by word, a most significant digit first radix sort over the columns.
//
// The rows are spread by their first rank, then each range of rows that
// share it by the second, and so on; a column that every row of a range
// shares costs one pass and no move. Solutions of many words share long
// prefixes (the same single letters, say), where comparing rows would read
// them again and again; spreading reads each rank once per column that is
// still undecided. Small ranges, and columns whose ranks are far more
// spread out than the range is long, are sorted by comparison.
//
// Invariant: the result is the order of std::lexicographical_compare on the
// rows; equal rows keep no particular order. Cost: a pass over the pointers
// of a range per column until its rows differ, counters for the range of
// ranks of that column; a scratch buffer of one pointer per row.
//
// Tested by tests/cpp/solver/radix_sort_test.cc (against std::sort).

#ifndef VORPALYX_SOLVER_ROW_SORT_H_
#define VORPALYX_SOLVER_ROW_SORT_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorpalyx {
namespace row_sort_detail {

using Row = const std::uint32_t*;

constexpr std::size_t kComparedRows = 32;

// Sorts `rows[0, count)`, whose ranks before `column` are all equal, by
// their ranks from `column` to `width`; `scratch` has room for `count`.
inline void sort_from(Row* rows, Row* scratch, std::size_t count,
                      std::size_t column, std::size_t width,
                      std::vector<std::uint32_t>& counters) {
  while (column < width) {
    if (count < kComparedRows) break;
    std::uint32_t lowest = rows[0][column];
    std::uint32_t highest = lowest;
    for (std::size_t i = 1; i < count; ++i) {
      lowest = std::min(lowest, rows[i][column]);
      highest = std::max(highest, rows[i][column]);
    }
    if (lowest == highest) {
      ++column;
      continue;
    }
    const std::size_t values = std::size_t{highest} - lowest + 1;
    if (values > 4 * count) break;
    // Counters for this column only: the ranges below reuse the space.
    const std::size_t base = counters.size();
    counters.resize(base + values + 1, 0);
    for (std::size_t i = 0; i < count; ++i) {
      ++counters[base + rows[i][column] - lowest + 1];
    }
    for (std::size_t value = 1; value <= values; ++value) {
      counters[base + value] += counters[base + value - 1];
    }
    for (std::size_t i = 0; i < count; ++i) {
      scratch[counters[base + rows[i][column] - lowest]++] = rows[i];
    }
    std::copy(scratch, scratch + count, rows);
    // counters[base + v] is now where the rows of value v + 1 begin.
    std::size_t begin = 0;
    for (std::size_t value = 0; value < values; ++value) {
      const std::size_t end = counters[base + value];
      if (end - begin > 1) {
        sort_from(rows + begin, scratch, end - begin, column + 1, width,
                  counters);
      }
      begin = end;
    }
    counters.resize(base);
    return;
  }
  if (column >= width) return;
  std::sort(rows, rows + count, [column, width](Row left, Row right) {
    return std::lexicographical_compare(left + column, left + width,
                                        right + column, right + width);
  });
}

}  // namespace row_sort_detail

// Sorts `rows` (pointers to `width` ranks each) in lexicographic order of
// their ranks.
inline void sort_rows(std::vector<const std::uint32_t*>& rows,
                      std::size_t width) {
  std::vector<const std::uint32_t*> scratch(rows.size());
  std::vector<std::uint32_t> counters;
  row_sort_detail::sort_from(rows.data(), scratch.data(), rows.size(), 0, width,
                             counters);
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_ROW_SORT_H_
