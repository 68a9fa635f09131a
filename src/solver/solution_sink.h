// What the fast search's walk hands on for each combination of word classes
// it finds, and what a sink that takes them must offer.
//
// A ClassCombination is one multiset of classes whose letters spell the
// phrase and that meets every constraint on a whole solution; it stands for
// every choice of one member per place, a class met k times taking k
// members in ascending order (a multiset of words), so its solutions are
// the product over its distinct classes of C(members + k - 1, k). It reaches
// the sink before any member is chosen: a sink that counts multiplies class
// sizes, one that stores expands it (storing_sink.h).
//
// A sink is a class with
//   void take(const ClassCombination& combination, SearchStop& stop);
// which counts on `stop` the steps it takes and the solutions it records and
// returns early once `stop.stopped()`. Each walker has a sink of its own.
//
// Invariant: the pointers of a combination are valid only during take().
// The walk reports each multiset of classes exactly once. Cost: a
// combination is a few pointers into the walker's own state; nothing is
// copied to hand it on.
//
// Tested by tests/cpp/solver/fast_search_test.cc.

#ifndef VORPALYX_SOLVER_SOLUTION_SINK_H_
#define VORPALYX_SOLVER_SOLUTION_SINK_H_

#include <cstddef>
#include <cstdint>

namespace vorpalyx {

struct ClassCombination {
  std::size_t word_count;  // words in each of its solutions
  std::uint64_t shortest;  // letters in the shortest of them
  // The word ranks of the path's classes of one member, ascending.
  const std::uint32_t* single_ranks;
  std::size_t single_count;
  // The class indices of the path's classes of several members, ascending
  // (a class met twice comes twice, side by side).
  const std::uint32_t* choice_classes;
  std::size_t choice_count;
  std::uint32_t last_class;  // the last word's class; not in the above
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SOLUTION_SINK_H_
