// The composed search's variants: each way of filling the blanks and
// leaving letters over is searched once, and no solution comes twice.

#include "solver/composed_search.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "letters_and_pairs.h"
#include "solver/anagram_solver.h"
#include "solver/word_weights.h"

namespace vorpalyx {
namespace {

AnagramSolver every_letter_and(const std::vector<std::string>& words) {
  AnagramSolver solver;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    solver.insert(std::string(1, letter));
  }
  for (const std::string& word : words) solver.insert(word);
  return solver;
}

std::uint64_t count(const AnagramSolver& solver, const std::string& phrase,
                    const ExtendedConstraints& extended) {
  const SolutionCount counted =
      solver.count(phrase, {}, FastSearchOptions(), extended);
  EXPECT_FALSE(counted.saturated);
  return static_cast<std::uint64_t>(counted.solutions);
}

TEST(ComposedSearchTest, BlanksAreMultisetsOfLetters) {
  const AnagramSolver solver = every_letter_and({});
  // Words of one letter each: a solution is the multiset the blanks became.
  for (const auto& [blanks, multisets] :
       {std::pair{1u, 26u}, std::pair{2u, 351u}, std::pair{3u, 3276u}}) {
    ExtendedConstraints extended;
    extended.blanks = blanks;
    EXPECT_EQ(count(solver, "", extended), multisets);
    const SolutionList list =
        solver.search("", {}, FastSearchOptions(), extended);
    std::set<std::vector<std::string>> distinct;
    for (const Solution& solution : list.to_vectors()) {
      distinct.insert(solution);
    }
    EXPECT_EQ(distinct.size(), multisets);
  }
}

TEST(ComposedSearchTest, ALetterIsNeverBothABlanksAndLeftOver) {
  const AnagramSolver solver = every_letter_and({});
  ExtendedConstraints extended;
  extended.blanks = 1;
  extended.leftover = 1;
  // "ab?" with one tile unused: the blank left over (a b), or a letter
  // left over and the blank any other letter ({a, x} for 25 x not b, and
  // the same for b), or the blank left over... counted once each.
  const SolutionList list =
      solver.search("ab", {}, FastSearchOptions(), extended);
  std::set<std::vector<std::string>> words;
  for (const Solution& solution : list.to_vectors()) words.insert(solution);
  EXPECT_EQ(words.size(), list.size());
  EXPECT_EQ(count(solver, "ab", extended), list.size());
  // With no tile unused: 26; with one: {a, b} (blank unused) and 25 + 25
  // where a real letter is unused and the blank is any letter but it.
  EXPECT_EQ(list.size(), 26u + 1u + 25u + 25u);
}

TEST(ComposedSearchTest, IncludedWordsAloneAreASolution) {
  const AnagramSolver solver = every_letter_and({"ab"});
  ExtendedConstraints extended;
  extended.include = {"ab"};
  EXPECT_EQ(solver.search("ab", {}, FastSearchOptions(), extended).to_vectors(),
            std::vector<Solution>{{"ab"}});
  extended.include = {"ab", "ab"};
  EXPECT_EQ(count(solver, "ab", extended), 0u);
}

// Lengths that do not add up to the phrase's letters have no solution, as
// every search knows before walking: a poll that would stop any walk of the
// alphabet over its letters and pairs is never asked.
TEST(ComposedSearchTest, LengthsThatMissTheLetterCountWalkNothing) {
  const AnagramSolver solver = letters_and_pairs();
  FastSearchOptions options;
  options.interrupt.interrupted = [] { return true; };
  options.interrupt.interval = std::chrono::steady_clock::duration::zero();
  // One or three single letters beside twelve pairs: 25 or 27 letters.
  for (const std::uint64_t singles : {1, 3}) {
    std::vector<std::uint64_t> lengths(12, 2);
    lengths.insert(lengths.end(), singles, 1);
    ExtendedConstraints extended;
    extended.lengths = lengths;
    EXPECT_EQ(solver.search(kAlphabet, {}, options, extended).size(), 0u);
    EXPECT_EQ(solver.count(kAlphabet, {}, options, extended).solutions, 0u);
    EXPECT_TRUE(solver.best(kAlphabet, {}, WordWeights(), 10, options, extended)
                    .empty());
  }
}

}  // namespace
}  // namespace vorpalyx
