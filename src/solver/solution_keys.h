// A solution's word ranks as one integer key, and back.
//
// The ranks of a solution, ascending, go into fields of `rank_bits` bits,
// the first in the highest field, so that comparing two keys compares the
// two rank lists word by word and sorting keys sorts solutions. A key is a
// 64-bit integer or, for solutions whose fields need more, a LongKey.
//
// Invariant: every rank is below 2^rank_bits and count * rank_bits fits the
// key. Cost: one shift and one or per rank, either way; along a run of last
// ranks, two ors and a shift per key.
//
// Tested by tests/cpp/solver/solution_keys_test.cc.

#ifndef VORPALYX_SOLVER_SOLUTION_KEYS_H_
#define VORPALYX_SOLVER_SOLUTION_KEYS_H_

#include <cstddef>
#include <cstdint>

namespace vorpalyx {

using LongKey = unsigned __int128;

// Calls `out(key)` for the key of the ranks `sorted` (`count` of them,
// ascending) with each of the ascending ranks `lasts` (`last_count` of them)
// merged in at its place, in turn.
template <typename Key, typename Out>
void encode_keys(const std::uint32_t* sorted, std::size_t count,
                 const std::uint32_t* lasts, std::size_t last_count,
                 int rank_bits, Out&& out) {
  // Ranks before the last one's place keep their fields, the others move one
  // field down; along `lasts` that place only moves on, so each key costs
  // two ors and a shift.
  const std::size_t bits = static_cast<std::size_t>(rank_bits);
  Key before = 0;
  Key after = 0;
  for (std::size_t k = 0; k < count; ++k) {
    after |= Key{sorted[k]} << ((count - 1 - k) * bits);
  }
  std::size_t place = 0;
  for (std::size_t j = 0; j < last_count; ++j) {
    const std::uint32_t last = lasts[j];
    for (; place < count && sorted[place] <= last; ++place) {
      const std::size_t shift = (count - 1 - place) * bits;
      after ^= Key{sorted[place]} << shift;
      before |= Key{sorted[place]} << (shift + bits);
    }
    out(before | Key{last} << ((count - place) * bits) | after);
  }
}

// The key of the ranks `sorted` (`count` of them, ascending) with `last`
// merged in at its place.
template <typename Key>
Key encode_key(const std::uint32_t* sorted, std::size_t count,
               std::uint32_t last, int rank_bits) {
  Key key = 0;
  encode_keys<Key>(sorted, count, &last, 1, rank_bits,
                   [&](Key encoded) { key = encoded; });
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
