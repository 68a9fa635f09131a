// Numbers the multisets of a fixed size drawn from ids 0..n-1, in the order
// of their sorted id lists: the multiset whose ascending ids come first
// lexicographically gets 0. Comparing two numbers therefore compares the
// two sorted lists, so a solution of many words can be kept and sorted as
// one 64-bit integer where fixed-width fields of its ids would need 128 bits
// (7 words out of 1,161 take 60 bits this way, 77 as fields).
//
// The sorted ids r_1 <= ... <= r_k become the strictly increasing
// c_i = r_i + i - 1 out of N = n + k - 1, and the number is
// C(N, k) - 1 - sum_i C(N - 1 - c_i, k - i + 1): the combinatorial number
// system, mirrored so that it runs in lexicographic order.
//
// Cost: a table of C(x, j) for j <= max_size and x < n + max_size, that is
// up to the N of max_size (8 bytes each); a number is made from k table reads
// and read back with up to k - 2 binary searches in it (the second last id
// comes from a square root, the last directly).
//
// Tested by tests/cpp/solver/multiset_numbering_test.cc.

#ifndef VORPALYX_SOLVER_MULTISET_NUMBERING_H_
#define VORPALYX_SOLVER_MULTISET_NUMBERING_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vorpalyx {

class MultisetNumbering {
 public:
  // Multisets of up to `max_size` ids out of `id_count` (at least 1).
  MultisetNumbering(std::size_t id_count, std::size_t max_size);

  // Whether every multiset of `size` ids (at most max_size) has a number
  // below 2^64, and if so the largest.
  bool fits(std::size_t size, std::uint64_t* largest) const;

  // The number of the multiset of `size` ids made of two ascending runs,
  // merged. The multiset must fit.
  std::uint64_t number(const std::uint32_t* first, std::size_t first_count,
                       const std::uint32_t* second,
                       std::size_t second_count) const {
    const std::size_t size = first_count + second_count;
    const std::size_t top = id_count_ + size - 2;  // N - 1
    std::uint64_t sum = 0;
    std::size_t i = 0;
    auto take = [&](std::uint32_t id) {
      sum += binomial(size - i, top - (id + i));
      ++i;
    };
    const std::uint32_t* const first_end = first + first_count;
    const std::uint32_t* const second_end = second + second_count;
    while (first != first_end && second != second_end) {
      take(*second < *first ? *second++ : *first++);
    }
    for (; first != first_end; ++first) take(*first);
    for (; second != second_end; ++second) take(*second);
    return largest_[size] - sum;
  }

  // Writes the ascending ids of the multiset of `size` ids numbered
  // `number` to `ids`. With `ids_hold_a_guess`, `ids` holds a multiset of
  // that size, typically the one read before in a run of ascending numbers:
  // the ids it shares with the answer cost two table reads each instead of
  // a binary search.
  void ids_of(std::uint64_t number, std::size_t size, std::uint32_t* ids,
              bool ids_hold_a_guess = false) const;

 private:
  // C(x, j), saturated at 2^64 - 1.
  std::uint64_t binomial(std::size_t j, std::size_t x) const {
    return table_[j * columns_ + x];
  }

  std::size_t id_count_;
  std::size_t max_size_;
  std::size_t columns_;                 // n + max_size, x <= N of max_size
  std::vector<std::uint64_t> table_;    // C(x, j) at j * columns_ + x
  std::vector<std::uint64_t> largest_;  // C(N, k) - 1 by size k, if it fits
  std::vector<bool> fits_;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_MULTISET_NUMBERING_H_
