#include "solver/multiset_numbering.h"

#include <algorithm>
#include <limits>

namespace vorpalyx {
namespace {

constexpr std::uint64_t kSaturated = std::numeric_limits<std::uint64_t>::max();

std::uint64_t saturating_add(std::uint64_t left, std::uint64_t right) {
  return left > kSaturated - right ? kSaturated : left + right;
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
  for (std::size_t i = 0; i < size; ++i) {
    // The largest d below `below` with C(d, size - i) <= rest: the guess's,
    // when it still is, or found by binary search.
    const std::uint64_t* row = table_.data() + (size - i) * columns_;
    std::size_t d = ids_hold_a_guess ? top - ids[i] - i : below;
    if (d >= below || row[d] > rest || (d + 1 < below && row[d + 1] <= rest)) {
      d = static_cast<std::size_t>(std::upper_bound(row, row + below, rest) -
                                   row - 1);
    }
    rest -= row[d];
    below = d;
    ids[i] = static_cast<std::uint32_t>(top - d - i);
  }
}

}  // namespace vorpalyx
