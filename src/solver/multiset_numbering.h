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
// (about one each along a run of multisets that differ in one growing id)
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

  // Calls `out(number)` for the multiset of the `count` ascending ids
  // `sorted` and each of the ascending ids `lasts` (`last_count` of them) in
  // turn. The multisets must fit.
  template <typename Out>
  void number_each(const std::uint32_t* sorted, std::size_t count,
                   const std::uint32_t* lasts, std::size_t last_count,
                   Out&& out) const {
    // The id at place i of the merged list adds C(size - i, N - 1 - id - i),
    // table entry base - id - i * (columns_ + 1). Ids before the last one's
    // place keep theirs, the others move one place on; along `lasts` that
    // place only moves on, so each number costs one table read.
    const std::size_t size = count + 1;
    const std::size_t base = size * columns_ + id_count_ + size - 2;
    const std::size_t step = columns_ + 1;
    const std::uint64_t* const table = table_.data();
    std::uint64_t before = 0;
    std::uint64_t after = 0;
    for (std::size_t i = 0; i < count; ++i) {
      after += table[base - sorted[i] - (i + 1) * step];
    }
    std::size_t place = 0;
    for (std::size_t j = 0; j < last_count; ++j) {
      const std::uint32_t last = lasts[j];
      for (; place < count && sorted[place] <= last; ++place) {
        after -= table[base - sorted[place] - (place + 1) * step];
        before += table[base - sorted[place] - place * step];
      }
      out(largest_[size] -
          (before + table[base - last - place * step] + after));
    }
  }

  // The number of the multiset of the `count` ascending ids `sorted` and
  // `last`, which may belong anywhere among them. The multiset must fit.
  std::uint64_t number(const std::uint32_t* sorted, std::size_t count,
                       std::uint32_t last) const {
    std::uint64_t number = 0;
    number_each(sorted, count, &last, 1,
                [&](std::uint64_t numbered) { number = numbered; });
    return number;
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
