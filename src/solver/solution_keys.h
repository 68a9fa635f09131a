// A solution's word ranks as one integer key, and back.
//
// The ranks of a solution, ascending, go into fields of `rank_bits` bits,
// the first in the highest field, so that comparing two keys compares the
// two rank lists word by word and sorting keys sorts solutions. A key is a
// 64-bit integer or, for solutions whose fields need more, a LongKey.
//
// Invariant: every rank is below 2^rank_bits and count * rank_bits fits the
// key. Cost: one shift and one or per rank, either way.
//
// Tested by tests/cpp/solver/solution_keys_test.cc.

#ifndef VORPALYX_SOLVER_SOLUTION_KEYS_H_
#define VORPALYX_SOLVER_SOLUTION_KEYS_H_

#include <cstddef>
#include <cstdint>

namespace vorpalyx {

using LongKey = unsigned __int128;

// The key of the ranks `sorted` (`count` of them, ascending) with `last`
// merged in at its place.
template <typename Key>
Key encode_key(const std::uint32_t* sorted, std::size_t count,
               std::uint32_t last, int rank_bits) {
  // Each rank goes straight to its field, so the shifts do not wait on one
  // another.
  const std::size_t bits = static_cast<std::size_t>(rank_bits);
  Key key = 0;
  std::size_t shift = count * bits;
  std::size_t k = 0;
  for (; k < count && sorted[k] <= last; ++k, shift -= bits) {
    key |= Key{sorted[k]} << shift;
  }
  key |= Key{last} << shift;
  for (; k < count; ++k) {
    shift -= bits;
    key |= Key{sorted[k]} << shift;
  }
  return key;
}

// Writes the `count` ranks held by `key` to `ranks` and returns `ranks`.
template <typename Key>
const std::uint32_t* decode_key(Key key, std::size_t count, int rank_bits,
                                std::uint32_t* ranks) {
  const Key mask = (Key{1} << rank_bits) - 1;
  for (std::size_t k = count; k-- > 0;) {
    ranks[k] = static_cast<std::uint32_t>(key & mask);
    key >>= rank_bits;
  }
  return ranks;
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SOLUTION_KEYS_H_
