// The time limit ends a search that would otherwise run for ages, in either
// engine (the fast one with time left to sort what it found): with every
// letter and every pair of letters as words, the alphabet has some 10^18
// solutions. A solution limit far above what a short search finds is the
// backstop, so a clock that is never read, or a limit that is not honoured,
// fails here instead of running on.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "letters_and_pairs.h"
#include "solver/anagram_solver.h"
#include "solver/fast_search.h"
#include "solver/prepared_constraints.h"
#include "solver/word_weights.h"

namespace vorpalyx {
namespace {

TEST(FastSearchTimeLimitTest, AstronomicalSearchStopsNearTheLimit) {
  const AnagramSolver solver = letters_and_pairs();
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
  // A generous bound: the walk's own stop is checked end to end elsewhere.
  EXPECT_LT(report.search_seconds, 1.0);
}

TEST(LiteralSearchTimeLimitTest, AstronomicalSearchStopsNearTheLimit) {
  const AnagramSolver solver = letters_and_pairs();
  SolverConstraints constraints;
  constraints.timeout_seconds = 0.05;
  // The literal search finds some thousands of solutions a second.
  constexpr std::uint64_t kBackstop = 20'000;
  constraints.max_solutions = kBackstop;
  const auto start = std::chrono::steady_clock::now();
  const std::vector<Solution> solutions =
      solver.solve_with_engine(kAlphabet, constraints, SearchEngine::kLiteral)
          .to_vectors();
  const std::chrono::duration<double> elapsed =
      std::chrono::steady_clock::now() - start;
  // A generous bound; speed is for the benchmarks.
  EXPECT_LT(elapsed.count(), 2.0);
  EXPECT_LT(solutions.size(), kBackstop);
  for (const Solution& solution : solutions) {
    std::string letters;
    for (const std::string& word : solution) letters += word;
    std::sort(letters.begin(), letters.end());
    EXPECT_EQ(letters, kAlphabet);
    EXPECT_TRUE(std::is_sorted(solution.begin(), solution.end()));
  }
}

// Included words or an enumeration have the ranking ask again for more when
// its last solutions tie; a walk asked again after the limit finds nothing,
// and must not take the place of the best found in time.
TEST(RankedSearchTimeLimitTest, ReturnsTheBestFoundUnderEveryComposition) {
  const AnagramSolver solver = letters_and_pairs();
  SolverConstraints constraints;
  constraints.timeout_seconds = 0.05;
  ExtendedConstraints included;
  included.include = {"ab"};
  ExtendedConstraints enumerated;
  enumerated.lengths = std::vector<std::uint64_t>(13, 2);
  for (const ExtendedConstraints& extended : {included, enumerated}) {
    const std::vector<RankedSolution> best =
        solver.best(kAlphabet, constraints, WordWeights{}, 2,
                    FastSearchOptions{}, extended);
    EXPECT_EQ(best.size(), 2u);
  }
}

}  // namespace
}  // namespace vorpalyx
