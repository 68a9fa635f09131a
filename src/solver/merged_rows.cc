#include "solver/merged_rows.h"

#include <algorithm>
#include <numeric>

#include "solver/row_sort.h"

namespace vorpalyx {
namespace {

bool group_before(const MergedRow& left, const MergedRow& right) {
  if (left.word_count != right.word_count) {
    return left.word_count < right.word_count;
  }
  return left.shortest > right.shortest;
}

bool same_group(const MergedRow& left, const MergedRow& right) {
  return left.word_count == right.word_count && left.shortest == right.shortest;
}

// Several searches' rows, each search's grouped: counted and spread by
// group, where moving rows of 24 bytes through a merge sort would cost more
// than the sort of each group that follows.
void spread_by_group(std::vector<MergedRow>& rows) {
  std::vector<MergedRow> groups;  // a row of each group, in result order
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i == 0 || !same_group(rows[i - 1], rows[i])) groups.push_back(rows[i]);
  }
  std::sort(groups.begin(), groups.end(), group_before);
  groups.erase(std::unique(groups.begin(), groups.end(), same_group),
               groups.end());
  std::vector<std::size_t> starts(groups.size() + 1);
  std::vector<std::uint32_t> group_of(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    group_of[i] = i != 0 && same_group(rows[i - 1], rows[i])
                      ? group_of[i - 1]
                      : static_cast<std::uint32_t>(
                            std::lower_bound(groups.begin(), groups.end(),
                                             rows[i], group_before) -
                            groups.begin());
    ++starts[group_of[i] + 1];
  }
  std::partial_sum(starts.begin(), starts.end(), starts.begin());
  std::vector<MergedRow> spread(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    spread[starts[group_of[i]]++] = rows[i];
  }
  rows = std::move(spread);
}

}  // namespace

void sort_in_result_order(std::vector<MergedRow>& rows,
                          const std::vector<std::uint32_t>& ids) {
  if (!std::is_sorted(rows.begin(), rows.end(), group_before)) {
    spread_by_group(rows);
  }
  std::vector<MergedRow> group;
  // Each row's ids, then its place in `group`.
  std::vector<std::uint32_t> tagged;
  std::vector<const std::uint32_t*> pointers;
  for (std::size_t begin = 0, end = 0; begin < rows.size(); begin = end) {
    end = begin + 1;
    while (end < rows.size() && same_group(rows[begin], rows[end])) ++end;
    if (end - begin < 2) continue;
    const std::size_t width = rows[begin].word_count;
    if (end - begin > UINT32_MAX) {  // (a row's place is kept in 32 bits)
      std::sort(
          rows.begin() + begin, rows.begin() + end,
          [&](const MergedRow& left, const MergedRow& right) {
            return std::lexicographical_compare(
                ids.begin() + left.offset, ids.begin() + left.offset + width,
                ids.begin() + right.offset, ids.begin() + right.offset + width);
          });
      continue;
    }
    group.assign(rows.begin() + begin, rows.begin() + end);
    tagged.clear();
    tagged.reserve((width + 1) * group.size());
    for (std::size_t i = 0; i < group.size(); ++i) {
      const std::uint32_t* const row_ids = ids.data() + group[i].offset;
      for (std::size_t k = 0; k < width; ++k) tagged.push_back(row_ids[k]);
      tagged.push_back(static_cast<std::uint32_t>(i));
    }
    pointers.resize(group.size());
    for (std::size_t i = 0; i < group.size(); ++i) {
      pointers[i] = tagged.data() + i * (width + 1);
    }
    sort_rows(pointers, width);
    for (std::size_t i = 0; i < group.size(); ++i) {
      rows[begin + i] = group[pointers[i][width]];
    }
  }
}

}  // namespace vorpalyx
