// KeyBlocks: integer keys appended in blocks that never move.
//
// Growing costs no copy, and a block is only touched while it is being
// filled, so millions of keys are gathered at the cost of writing them once.
// Blocks start small (many buckets hold few keys) and double up to a
// megabyte each.
//
// Invariant: at most the last block is open (partly filled); the closed
// blocks hold closed_size_ keys. Cost: one store per key, an allocation per
// block; memory is the keys plus at most one partly filled block.
//
// Tested by tests/cpp/solver/radix_sort_test.cc.

#ifndef VORPALYX_SOLVER_KEY_BLOCKS_H_
#define VORPALYX_SOLVER_KEY_BLOCKS_H_

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace vorpalyx {

template <typename Key>
class KeyBlocks {
 public:
  std::size_t size() const {
    return closed_size_ +
           (next_ == nullptr
                ? 0
                : static_cast<std::size_t>(next_ - blocks_.back().keys.get()));
  }

  void push_back(Key key) {
    if (next_ == end_) add_block();
    *next_++ = key;
  }

  // Calls `visit(begin, end)` for each block's keys in turn.
  template <typename Visit>
  void for_each_block(Visit&& visit) const {
    for (const Block& block : blocks_) {
      const bool open = &block == &blocks_.back() && next_ != nullptr;
      const std::size_t count =
          open ? static_cast<std::size_t>(next_ - block.keys.get())
               : block.count;
      visit(block.keys.get(), block.keys.get() + count);
    }
  }

  // Moves the blocks of `other` after these.
  void append(KeyBlocks&& other) {
    close();
    other.close();
    for (Block& block : other.blocks_) blocks_.push_back(std::move(block));
    closed_size_ += other.closed_size_;
    other.clear();
  }

  void clear() {
    blocks_.clear();
    next_ = end_ = nullptr;
    closed_size_ = 0;
  }

 private:
  struct Block {
    std::unique_ptr<Key[]> keys;
    std::size_t count;  // set when the block is closed
  };

  static std::size_t block_size(std::size_t index) {
    constexpr std::size_t kLargest = (std::size_t{1} << 20) / sizeof(Key);
    return std::min(std::size_t{64} << std::min<std::size_t>(index, 20),
                    kLargest);
  }

  void close() {
    if (next_ == nullptr) return;
    blocks_.back().count =
        static_cast<std::size_t>(next_ - blocks_.back().keys.get());
    closed_size_ += blocks_.back().count;
    next_ = end_ = nullptr;
  }

  void add_block() {
    close();
    const std::size_t count = block_size(blocks_.size());
    blocks_.push_back({std::make_unique_for_overwrite<Key[]>(count), 0});
    next_ = blocks_.back().keys.get();
    end_ = next_ + count;
  }

  std::vector<Block> blocks_;
  Key* next_ = nullptr;  // null when no block is open
  Key* end_ = nullptr;
  std::size_t closed_size_ = 0;  // the keys of the closed blocks
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_KEY_BLOCKS_H_
