// The solution limit bounds what a search holds: with every letter and every
// pair of letters as words, the alphabet has far more solutions than any
// search could collect (some 10^18), so an engine that kept collecting past
// max_solutions would never return here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "letters_and_pairs.h"
#include "solver/anagram_solver.h"

namespace vorpalyx {
namespace {

class SolutionLimitMemoryBoundTest
    : public testing::TestWithParam<std::tuple<SearchEngine, std::uint64_t>> {};

TEST_P(SolutionLimitMemoryBoundTest, AstronomicalSearchStopsAtTheLimit) {
  const auto [engine, limit] = GetParam();
  static const AnagramSolver solver = letters_and_pairs();
  SolverConstraints constraints;
  constraints.max_solutions = limit;
  const std::vector<Solution> solutions =
      solver.solve_with_engine(kAlphabet, constraints, engine).to_vectors();
  ASSERT_EQ(solutions.size(), limit);
  for (const Solution& solution : solutions) {
    std::string letters;
    for (const std::string& word : solution) letters += word;
    std::sort(letters.begin(), letters.end());
    EXPECT_EQ(letters, kAlphabet);
    EXPECT_TRUE(std::is_sorted(solution.begin(), solution.end()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    BothEngines, SolutionLimitMemoryBoundTest,
    testing::Combine(testing::Values(SearchEngine::kLiteral,
                                     SearchEngine::kFast),
                     testing::Values(std::uint64_t{1}, std::uint64_t{10},
                                     std::uint64_t{1000})));

}  // namespace
}  // namespace vorpalyx
