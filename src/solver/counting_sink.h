// CountingSink: the sink that counts solutions without storing them.
//
// A combination of classes stands for the product, over its distinct
// classes, of C(m + k - 1, k) solutions, where the class has m members and
// comes k times (a multiset of k of its members), or C(m, k) when words
// must be distinct; the sink multiplies
// instead of expanding, so a count costs what the walk costs, whatever the
// number of solutions.
//
// Invariant: `count()` is the number of solutions the storing sink would
// have stored from the same combinations, or saturated() when it passes
// 2^128 - 1. Cost: a few multiplications per class of a combination; no
// memory beyond the sink.
//
// Tested by tests/cpp/solver/fast_search_test.cc (counts against stored
// results).

#ifndef VORPALYX_SOLVER_COUNTING_SINK_H_
#define VORPALYX_SOLVER_COUNTING_SINK_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>

#include "solver/search_stop.h"
#include "solver/solution_keys.h"
#include "solver/solution_sink.h"
#include "solver/word_classes.h"

namespace vorpalyx {

template <std::size_t N>
class CountingSink {
 public:
  explicit CountingSink(const WordClasses<N>& classes) : classes_(classes) {}

  void take(const ClassCombination& combination, SearchStop& stop) {
    const WordClass<N>* classes = classes_.classes.data();
    LongKey product = 1;
    // Runs of one class, the last word's class joining the last run.
    std::size_t i = 0;
    const std::size_t choices = combination.choice_count;
    const std::uint32_t last = combination.last_class;
    const bool last_chooses = classes[last].member_count > 1;
    bool last_taken = !last_chooses;
    while (i < choices) {
      const std::uint32_t word_class = combination.choice_classes[i];
      std::uint64_t times = 0;
      for (; i < choices && combination.choice_classes[i] == word_class; ++i) {
        ++times;
      }
      if (!last_taken && last == word_class) {
        ++times;
        last_taken = true;
      }
      multiply(product, classes[word_class].member_count, times);
    }
    if (!last_taken) multiply(product, classes[last].member_count, 1);
    add(product);
    stop.count_steps(1);
    stop.count_solutions(
        product > kMaxCount ? kMaxCount : static_cast<std::uint64_t>(product));
  }

  // The solutions counted, unless saturated().
  LongKey count() const { return count_; }
  bool saturated() const { return saturated_; }

  void absorb(const CountingSink& other) {
    saturated_ = saturated_ || other.saturated_;
    add(other.count_);
  }

 private:
  static constexpr std::uint64_t kMaxCount =
      std::numeric_limits<std::uint64_t>::max();
  static constexpr LongKey kMaxLong = ~LongKey{0};

  // product *= C(members + times - 1, times), or C(members, times) with
  // distinct words; saturating.
  void multiply(LongKey& product, std::uint64_t members, std::uint64_t times) {
    LongKey multisets = 1;
    for (std::uint64_t j = 1; j <= times; ++j) {
      // C(m + j - 1, j) = C(m + j - 2, j - 1) * (m + j - 1) / j, and
      // C(m, j) = C(m, j - 1) * (m - j + 1) / j, both exact.
      if (classes_.distinct && j > members) {
        product = 0;
        return;
      }
      const LongKey factor =
          classes_.distinct ? members - j + 1 : members + j - 1;
      if (multisets <= kMaxLong / factor) {
        multisets = multisets * factor / j;
        continue;
      }
      // The product passes 2^128 - 1 on the way but is a multiple of j:
      // dividing by their common factor first, only a result past 2^128 - 1
      // saturates.
      const std::uint64_t common =
          std::gcd(static_cast<std::uint64_t>(multisets % j), j);
      const LongKey rest = factor / (j / common);
      multisets /= common;
      if (multisets > kMaxLong / rest) {
        saturated_ = true;
        return;
      }
      multisets *= rest;
    }
    if (multisets != 0 && product > kMaxLong / multisets) {
      saturated_ = true;
      return;
    }
    product *= multisets;
  }

  void add(LongKey amount) {
    if (count_ > kMaxLong - amount) {
      saturated_ = true;
      count_ = kMaxLong;
      return;
    }
    count_ += amount;
  }

  const WordClasses<N>& classes_;
  LongKey count_ = 0;
  bool saturated_ = false;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_COUNTING_SINK_H_
