// A caller's interrupt poll stops a search that would otherwise run for ages
// (the alphabet with every letter and pair as words), on either walker
// arrangement, and is asked on the calling thread only.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <variant>

#include "letters_and_pairs.h"
#include "solver/anagram_solver.h"

namespace vorpalyx {
namespace {

class InterruptTest : public ::testing::TestWithParam<bool> {};

TEST_P(InterruptTest, AnsweredPollStopsSearchAndCount) {
  const AnagramSolver solver = letters_and_pairs();
  const std::thread::id caller = std::this_thread::get_id();
  int polls = 0;
  bool other_thread_asked = false;
  FastSearchOptions options;
  options.second_core = GetParam();
  options.second_walker_after = std::chrono::steady_clock::duration::zero();
  options.interrupt.interval = std::chrono::milliseconds(1);
  options.interrupt.interrupted = [&] {
    other_thread_asked |= std::this_thread::get_id() != caller;
    return ++polls == 5;
  };
  // The backstop: a poll that is never asked fails here in seconds.
  SolverConstraints constraints;
  constraints.timeout_seconds = 3;
  EXPECT_THROW(solver.search(kAlphabet, constraints, options),
               SearchInterrupted);
  EXPECT_EQ(polls, 5);
  polls = 0;
  EXPECT_THROW(solver.count(kAlphabet, constraints, options),
               SearchInterrupted);
  EXPECT_EQ(polls, 5);
  EXPECT_FALSE(other_thread_asked);
}

INSTANTIATE_TEST_SUITE_P(Walkers, InterruptTest, ::testing::Bool());

}  // namespace
}  // namespace vorpalyx
