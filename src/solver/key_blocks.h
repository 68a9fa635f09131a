// KeyBlocks: integer keys appended to blocks that grow without copying.
//
// Keys go to one open block that doubles when full; a large block grows by
// moving its pages (page_array.h), so millions of keys are gathered at the
// cost of writing them once, in memory no larger than they need. Another
// walker's keys are taken over as further blocks, not copied. A sort then
// reads every block and keeps the first as the home of the sorted keys
// (take_first), so that sorting needs no fresh array as large as the keys.
//
// Invariant: only the last block takes new keys; every block is non-empty
// or open. Cost: one store per key, a resize per doubling; memory is the
// keys plus the unused part of each block (address space only, until
// written).
//
// Tested by tests/cpp/solver/radix_sort_test.cc.

#ifndef VORPALYX_SOLVER_KEY_BLOCKS_H_
#define VORPALYX_SOLVER_KEY_BLOCKS_H_

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "solver/page_array.h"

namespace vorpalyx {

template <typename Key>
class KeyBlocks {
 public:
  std::size_t size() const {
    std::size_t total = 0;
    for (const Block& block : blocks_) total += block.count;
    return total + open_count();
  }

  void push_back(Key key) {
    if (next_ == end_) grow();
    *next_++ = key;
  }

  // Calls `visit(begin, end)` for each block's keys in turn.
  template <typename Visit>
  void for_each_block(Visit&& visit) {
    close();
    for (const Block& block : blocks_) {
      visit(static_cast<const Key*>(block.keys.get()),
            static_cast<const Key*>(block.keys.get() + block.count));
    }
  }

  // Moves the blocks of `other` after these.
  void append(KeyBlocks&& other) {
    close();
    other.close();
    for (Block& block : other.blocks_) blocks_.push_back(std::move(block));
    other.clear();
  }

  // The first block with room for `count` keys, keeping its own first; the
  // others are freed. Leaves these empty.
  PageArray<Key> take_first(std::size_t count) {
    close();
    PageArray<Key> first;
    if (blocks_.empty()) {
      first = make_page_array<Key>(count);
    } else {
      first = std::move(blocks_.front().keys);
      if (capacity_of(first) < count) {
        resize_page_array(first, count, blocks_.front().count);
      }
    }
    clear();
    return first;
  }

  void clear() {
    blocks_.clear();
    next_ = end_ = nullptr;
  }

 private:
  struct Block {
    PageArray<Key> keys;
    std::size_t count;  // kept up to date when the block is closed
  };

  std::size_t open_count() const {
    return next_ == nullptr
               ? 0
               : static_cast<std::size_t>(next_ - blocks_.back().keys.get());
  }

  void close() {
    if (next_ == nullptr) return;
    blocks_.back().count = open_count();
    next_ = end_ = nullptr;
  }

  void grow() {
    constexpr std::size_t kFirstBlock = 64;
    if (next_ == nullptr) {
      blocks_.push_back({make_page_array<Key>(kFirstBlock), 0});
      next_ = blocks_.back().keys.get();
      end_ = next_ + kFirstBlock;
      return;
    }
    Block& block = blocks_.back();
    const std::size_t count = open_count();
    resize_page_array(block.keys, 2 * capacity_of(block.keys), count);
    next_ = block.keys.get() + count;
    end_ = block.keys.get() + capacity_of(block.keys);
  }

  std::vector<Block> blocks_;  // counts of the open one are stale
  Key* next_ = nullptr;        // null when no block is open
  Key* end_ = nullptr;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_KEY_BLOCKS_H_
