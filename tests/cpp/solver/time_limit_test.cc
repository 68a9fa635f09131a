// The time limit ends a fast search that would otherwise run for ages, with
// time left to sort what it found: with
// every letter and every pair of letters as words, the alphabet has some
// 10^18 solutions. A solution limit far above what a short search finds is
// the backstop, so a clock that is never read fails here instead of
// running on.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <variant>

#include "solver/anagram_solver.h"
#include "solver/fast_search.h"
#include "solver/prepared_constraints.h"

namespace vorpalyx {
namespace {

const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";

TEST(FastSearchTimeLimitTest, AstronomicalSearchStopsNearTheLimit) {
  AnagramSolver solver;
  for (char first : kAlphabet) {
    solver.insert(std::string(1, first));
    for (char second : kAlphabet) solver.insert(std::string{first, second});
  }
  SolverConstraints constraints;
  constraints.timeout_seconds = 0.05;
  constexpr std::uint64_t kBackstop = 4'000'000;
  constraints.max_solutions = kBackstop;
  FastSearchReport report;
  const SolutionList solutions = run_fast_search(
      solver.trie(), std::get<CharCounts>(CharCounts::from_str(kAlphabet)),
      constraints, prepare_constraints(constraints),
      std::chrono::steady_clock::now(), FastSearchOptions{}, &report);
  EXPECT_GT(solutions.size(), 0u);
  EXPECT_LT(solutions.size(), kBackstop);
  // The walk ends early enough to leave time for sorting what it found.
  EXPECT_LT(report.search_seconds, 0.05);
}

}  // namespace
}  // namespace vorpalyx
