// The borrow counter of a Solver: any number of shared uses (solves) or one
// exclusive use (a dictionary change) at a time. A conflicting call fails at
// once instead of waiting; Python code run by a conversion is the usual way
// to get there (it may call back into the same Solver). Cost: a few atomic
// operations per call, no waiting.
//
// Tested by tests/python/test_hostile_inputs.py.

#ifndef VORPALYX_MODULE_BORROW_H_
#define VORPALYX_MODULE_BORROW_H_

#include <atomic>
#include <cstdint>

namespace vorpalyx {

// 0: free; n > 0: n shared uses; -1: one exclusive use.
using BorrowCounter = std::atomic<std::int64_t>;

class BorrowGuard {
 public:
  enum class Kind { kShared, kExclusive };

  // Check acquired() afterwards; on failure the counter is unchanged.
  BorrowGuard(BorrowCounter& counter, Kind kind)
      : counter_(counter), kind_(kind) {
    if (kind == Kind::kExclusive) {
      std::int64_t expected = 0;
      acquired_ = counter.compare_exchange_strong(expected, -1);
      return;
    }
    std::int64_t current = counter.load();
    while (current != -1) {
      if (counter.compare_exchange_weak(current, current + 1)) {
        acquired_ = true;
        return;
      }
    }
  }
  BorrowGuard(const BorrowGuard&) = delete;
  BorrowGuard& operator=(const BorrowGuard&) = delete;
  ~BorrowGuard() {
    if (!acquired_) return;
    if (kind_ == Kind::kExclusive) {
      counter_.store(0);
    } else {
      counter_.fetch_sub(1);
    }
  }

  bool acquired() const { return acquired_; }

 private:
  BorrowCounter& counter_;
  Kind kind_;
  bool acquired_ = false;
};

}  // namespace vorpalyx

#endif  // VORPALYX_MODULE_BORROW_H_
