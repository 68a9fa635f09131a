#include "solver/multiset_numbering.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vorpalyx {
namespace {

constexpr std::uint64_t kSaturated = std::numeric_limits<std::uint64_t>::max();

std::uint64_t saturating_add(std::uint64_t left, std::uint64_t right) {
  return left > kSaturated - right ? kSaturated : left + right;
}

// The last index below `count` whose entry of the ascending `row` is at most
// `value`, given that row[0] is. Without branches on the data, which in a
// run of numbers are unpredictable and cost more than the reads.
std::size_t last_at_most(const std::uint64_t* row, std::size_t count,
                         std::uint64_t value) {
  const std::uint64_t* base = row;
  while (count > 1) {
    const std::size_t half = count / 2;
    base = base[half] <= value ? base + half : base;
    count -= half;
  }
  return static_cast<std::size_t>(base - row);
}

// The same for the row of C(d, 2) = d(d - 1) / 2, from the root of the
// quadratic: a square root and a step or two instead of a search.
std::size_t last_pair_at_most(const std::uint64_t* row, std::size_t count,
                              std::uint64_t value) {
  const double root = std::sqrt(8.0 * static_cast<double>(value) + 1.0);
  std::size_t d =
      std::min(static_cast<std::size_t>((1.0 + root) / 2.0), count - 1);
  while (row[d] > value) --d;
  while (d + 1 < count && row[d + 1] <= value) ++d;
  return d;
}

}  // namespace

MultisetNumbering::MultisetNumbering(std::size_t id_count, std::size_t max_size)
    : id_count_(id_count),
      max_size_(max_size),
      columns_(id_count + max_size),
      table_((max_size + 1) * columns_, 0),
      largest_(max_size + 1, 0),
      fits_(max_size + 1, false) {
  // Pascal's rule, row j from row j - 1; one column more than the numbers
  // need, for C(N, k) itself.
  for (std::size_t x = 0; x < columns_; ++x) table_[x] = 1;
  for (std::size_t j = 1; j <= max_size_; ++j) {
    for (std::size_t x = 1; x < columns_; ++x) {
      table_[j * columns_ + x] = saturating_add(
          table_[(j - 1) * columns_ + x - 1], table_[j * columns_ + x - 1]);
    }
  }
  for (std::size_t size = 1; size <= max_size_; ++size) {
    // C(N, k) with N = n + k - 1; saturation means it does not fit.
    const std::uint64_t count = binomial(size, id_count_ + size - 1);
    fits_[size] = count != kSaturated;
    largest_[size] = count - 1;
  }
}

bool MultisetNumbering::fits(std::size_t size, std::uint64_t* largest) const {
  if (size == 0 || size > max_size_ || !fits_[size]) return false;
  *largest = largest_[size];
  return true;
}

void MultisetNumbering::ids_of(std::uint64_t number, std::size_t size,
                               std::uint32_t* ids,
                               bool ids_hold_a_guess) const {
  std::uint64_t rest = largest_[size] - number;
  const std::size_t top = id_count_ + size - 2;  // N - 1
  std::size_t below = top + 1;                   // each d is below the last
  for (std::size_t i = 0; i + 1 < size; ++i) {
    // The largest d below `below` with C(d, size - i) <= rest: the guess's,
    // when it still is, or found by binary search.
    const std::uint64_t* row = table_.data() + (size - i) * columns_;
    std::size_t d = ids_hold_a_guess ? top - ids[i] - i : below;
    if (d >= below || row[d] > rest || (d + 1 < below && row[d + 1] <= rest)) {
      d = size - i == 2 ? last_pair_at_most(row, below, rest)
                        : last_at_most(row, below, rest);
    }
    rest -= row[d];
    below = d;
    ids[i] = static_cast<std::uint32_t>(top - d - i);
  }
  // The last needs no search: C(d, 1) is d.
  const std::size_t d = std::min<std::uint64_t>(rest, below - 1);
  ids[size - 1] = static_cast<std::uint32_t>(top - d - (size - 1));
}

}  // namespace vorpalyx
