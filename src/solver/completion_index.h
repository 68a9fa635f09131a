// CompletionIndex: the word classes by their exact letters, for the last
// word of a solution.
//
// Once a path of words leaves some letters, the classes that spell exactly
// those letters finish it; one hash lookup of the packed letters left finds
// them all, as a run of class indices in ascending order.
//
// Invariant: every class appears in exactly one run, under its own letters.
// Cost: open addressing over a table a quarter full, behind a filter of the
// hashes present (64 bits per run, up to 8 KiB; never fewer than the slots),
// so a miss (the usual outcome) reads one cached word and seldom a slot; 4
// bytes per class and a slot per four of them.
//
// Tested by tests/cpp/solver/fast_search_test.cc and the differential tests.

#ifndef VORPALYX_SOLVER_COMPLETION_INDEX_H_
#define VORPALYX_SOLVER_COMPLETION_INDEX_H_

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "solver/packed_counts.h"
#include "solver/word_classes.h"

namespace vorpalyx {

template <std::size_t N>
class CompletionIndex {
 public:
  explicit CompletionIndex(const std::vector<WordClass<N>>& classes) {
    // Sorted by value, with the index breaking ties: a stable sort of the
    // indices by letters, without reaching into the classes at every step.
    struct Entry {
      Packed<N> counts;
      std::uint32_t index;
    };
    std::vector<Entry> entries(classes.size());
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
      entries[i] = {classes[i].counts, i};
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& left, const Entry& right) {
                if (!(left.counts == right.counts)) {
                  return left.counts < right.counts;
                }
                return left.index < right.index;
              });
    class_indices_.resize(entries.size());
    std::size_t run_count = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      class_indices_[i] = entries[i].index;
      run_count += i == 0 || !(entries[i].counts == entries[i - 1].counts);
    }
    slots_.resize(std::bit_ceil(std::max<std::size_t>(4 * run_count, 2)));
    mask_ = slots_.size() - 1;
    shift_ = 64 - std::countr_zero(slots_.size());
    // The filter has a bit per slot and, while it stays small enough for the
    // core's first cache, many more: a miss then rarely reads a slot.
    const std::size_t filter_bits =
        std::max(slots_.size(),
                 std::min(std::bit_ceil(64 * run_count), kMostFilterBits));
    filter_shift_ = 64 - std::countr_zero(filter_bits);
    present_.resize((filter_bits + 63) / 64);
    for (std::size_t begin = 0; begin < entries.size();) {
      std::size_t end = begin + 1;
      const Packed<N>& key = entries[begin].counts;
      while (end < entries.size() && entries[end].counts == key) ++end;
      const std::uint64_t hash = hash_of(key);
      std::size_t slot = slot_of(hash);
      while (slots_[slot].end != 0) slot = (slot + 1) & mask_;
      slots_[slot] = {key, static_cast<std::uint32_t>(begin),
                      static_cast<std::uint32_t>(end)};
      const std::size_t bit = filter_bit_of(hash);
      present_[bit / 64] |= std::uint64_t{1} << (bit % 64);
      begin = end;
    }
  }

  // Whether some class may have exactly `letters` (packed counts without
  // guard bits): false means none has. One multiplication and one cached
  // read, without branches.
  bool may_hold(const Packed<N>& letters) const {
    const std::size_t bit = filter_bit_of(hash_of(letters));
    return (present_[bit / 64] >> (bit % 64) & 1) != 0;
  }

  // The indices of the classes whose letters are exactly `letters` (packed
  // counts without guard bits), ascending; empty when there are none.
  std::pair<const std::uint32_t*, const std::uint32_t*> find(
      const Packed<N>& letters) const {
    const std::uint64_t hash = hash_of(letters);
    const std::size_t bit = filter_bit_of(hash);
    if ((present_[bit / 64] >> (bit % 64) & 1) == 0) return {nullptr, nullptr};
    std::size_t slot = slot_of(hash);
    for (;; slot = (slot + 1) & mask_) {
      const Slot& entry = slots_[slot];
      if (entry.end == 0) return {nullptr, nullptr};
      if (entry.key == letters) {
        return {class_indices_.data() + entry.begin,
                class_indices_.data() + entry.end};
      }
    }
  }

 private:
  struct Slot {
    Packed<N> key;
    std::uint32_t begin = 0;
    std::uint32_t end = 0;  // 0 marks a free slot: runs are never empty
  };

  // 8 KiB of filter.
  static constexpr std::size_t kMostFilterBits = std::size_t{1} << 16;

  // Multiplicative hashing: the high bits of the product index the table
  // and the filter.
  static std::uint64_t hash_of(const Packed<N>& key) {
    std::uint64_t hash = 0;
    for (std::uint64_t word : key.words) {
      hash = (hash ^ word) * 0x9E3779B97F4A7C15u;
    }
    return hash;
  }
  std::size_t slot_of(std::uint64_t hash) const {
    return shift_ == 64 ? 0 : static_cast<std::size_t>(hash >> shift_);
  }
  std::size_t filter_bit_of(std::uint64_t hash) const {
    return filter_shift_ == 64
               ? 0
               : static_cast<std::size_t>(hash >> filter_shift_);
  }

  std::vector<std::uint32_t> class_indices_;  // grouped by letters
  std::vector<Slot> slots_;
  // A bit per value of the hash's high bits that some run's letters take.
  std::vector<std::uint64_t> present_;
  std::size_t mask_ = 0;
  int shift_ = 0;
  int filter_shift_ = 0;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_COMPLETION_INDEX_H_
