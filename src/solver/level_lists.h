// LevelLists: the classes each level of the walk may still use.
//
// Each level of the path keeps the classes (from the path's last class on)
// that still fit the letters left, as a list of entries holding what the
// scan over the list tests, so that the scan reads memory in order. The
// lists of all levels on the path lie one after another in one buffer; only
// the last list grows or shrinks.
//
// Invariant: along each list, class indices ascend and so do keys (the
// priority of a class's rarest letter). Entries are plain values, so the
// buffer grows without constructing anything. Cost: a list is built with
// one branch-free pass over its parent's run; memory is the lists on the
// current path, at most the classes times the depth.
//
// Tested by tests/cpp/solver/fast_search_test.cc and the differential tests.

#ifndef VORPALYX_SOLVER_LEVEL_LISTS_H_
#define VORPALYX_SOLVER_LEVEL_LISTS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "solver/packed_counts.h"

namespace vorpalyx {

template <std::size_t N>
struct LevelEntry {
  Packed<N> counts;
  std::uint32_t class_index;
  std::uint16_t length;  // capped; only used to skip classes early
  std::uint8_t key;      // as in WordClass
};

template <std::size_t N>
class LevelLists {
 public:
  std::size_t size() const { return size_; }
  const LevelEntry<N>& operator[](std::size_t index) const {
    return entries_[index];
  }
  void push_back(const LevelEntry<N>& entry) {
    reserve_more(1);
    entries_[size_++] = entry;
  }
  void resize_down(std::size_t size) { size_ = size; }

  // Appends the entries of [begin, end) (a range of the last list) that fit
  // `remaining` and are at most `longest` letters long. Branch-free: each
  // entry is written and kept only when it passes.
  void append_fitting(std::size_t begin, std::size_t end,
                      const Packed<N>& remaining, const Packed<N>& guards,
                      std::uint64_t longest) {
    reserve_more(end - begin);
    const LevelEntry<N>* source = entries_.get() + begin;
    const LevelEntry<N>* const source_end = entries_.get() + end;
    LevelEntry<N>* out = entries_.get() + size_;
    for (; source != source_end; ++source) {
      // Tested in place and copied whole: a local copy of the entry would
      // be written to the stack and read back in parts, which stalls.
      bool keep = source->length <= longest;
      for (std::size_t i = 0; i < N; ++i) {
        keep &= ((remaining.words[i] - source->counts.words[i]) &
                 guards.words[i]) == guards.words[i];
      }
      *out = *source;
      out += keep;
    }
    size_ = static_cast<std::size_t>(out - entries_.get());
  }

 private:
  void reserve_more(std::size_t count) {
    if (size_ + count <= capacity_) return;
    const std::size_t capacity = std::max(size_ + count, 2 * capacity_);
    auto entries = std::make_unique_for_overwrite<LevelEntry<N>[]>(capacity);
    std::copy(entries_.get(), entries_.get() + size_, entries.get());
    entries_ = std::move(entries);
    capacity_ = capacity;
  }

  std::unique_ptr<LevelEntry<N>[]> entries_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_LEVEL_LISTS_H_
