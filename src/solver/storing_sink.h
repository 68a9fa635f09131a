// StoringSink: the sink that keeps every solution, as keys in buckets.
//
// A combination whose classes all have one member is one solution, stored
// at once; any other is expanded into its members (class_expansion.h).
//
// Invariant: every solution taken is stored once, in the bucket of its word
// count and shortest word. Cost: one key per solution (solution_buckets.h).
//
// Tested by tests/cpp/solver/fast_search_test.cc and the differential tests.

#ifndef VORPALYX_SOLVER_STORING_SINK_H_
#define VORPALYX_SOLVER_STORING_SINK_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "solver/class_expansion.h"
#include "solver/search_stop.h"
#include "solver/solution_buckets.h"
#include "solver/solution_sink.h"
#include "solver/word_classes.h"

namespace vorpalyx {

template <std::size_t N>
class StoringSink {
 public:
  // For solutions over `classes`, of up to `most_words` words.
  StoringSink(const WordClasses<N>& classes, std::size_t most_words)
      : classes_(classes),
        buckets_(classes.member_ranks.size()),
        expansion_(most_words) {}

  void take(const ClassCombination& combination, SearchStop& stop) {
    SolutionBuckets::Bucket& bucket =
        buckets_.bucket(combination.word_count, combination.shortest);
    const WordClass<N>& last = classes_.classes[combination.last_class];
    if (!bucket.cost) {
      bucket.cost =
          SolutionBuckets::cost_of(bucket, combination.word_count, stop);
    }
    const SolutionCost& cost = *bucket.cost;
    if (combination.choice_count == 0 && last.member_count == 1) {
      buckets_.add(bucket, combination.single_ranks, combination.single_count,
                   last.first_rank);
      stop.count_steps(1);
      stop.count_solution(cost);
      return;
    }
    expansion_.expand(
        combination, classes_.classes.data(), classes_.member_ranks.data(),
        classes_.distinct, cost, stop,
        [&](const std::uint32_t* others, std::size_t count,
            const std::uint32_t* lasts, std::size_t last_count) {
          buckets_.add_each(bucket, others, count, lasts, last_count);
        });
  }

  SolutionBuckets& buckets() { return buckets_; }

 private:
  const WordClasses<N>& classes_;
  SolutionBuckets buckets_;
  ClassExpansion expansion_;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_STORING_SINK_H_
