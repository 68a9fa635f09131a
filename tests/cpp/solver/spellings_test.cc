// Spellings through the solver: words loaded folded are found by their
// letters and given in their own spelling, one solution per spelling, in
// every search that Lexicon uses.

#include "solver/spellings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "solver/anagram_solver.h"
#include "solver/prepare_patterns.h"
#include "solver/search_records.h"

namespace vorpalyx {
namespace {

using Solutions = std::vector<Solution>;

AnagramSolver folded_solver(const char* text) {
  AnagramSolver solver;
  solver.load_words_from_text(text, true);
  return solver;
}

Solutions search(const AnagramSolver& solver, const char* phrase,
                 const SolverConstraints& constraints = {}) {
  return solver.search(phrase, constraints, FastSearchOptions{}).to_vectors();
}

TEST(SpellingsTest, EachSpellingIsOneSolutionInByteOrder) {
  const AnagramSolver solver =
      folded_solver("Côté\ncote\nCÔTE\ncôte\nno\non\ncafé\nface\n");
  // "côte" twice (as CÔTE and côte) is one spelling.
  EXPECT_EQ(solver.spelling_count(), 7u);
  EXPECT_EQ(search(solver, "etoc"), (Solutions{{"cote"}, {"côte"}, {"côté"}}));
  // The rank space mixes plain and spelt words; classes hold both.
  EXPECT_EQ(search(solver, "coteno"), (Solutions{{"cote", "no"},
                                                 {"cote", "on"},
                                                 {"côte", "no"},
                                                 {"côte", "on"},
                                                 {"côté", "no"},
                                                 {"côté", "on"}}));
  EXPECT_EQ(solver.count("coteno", {}, FastSearchOptions{}).solutions, 6u);
  EXPECT_EQ(search(solver, "feca"), (Solutions{{"café"}, {"face"}}));
  // Patterns and start letters read the letters, not the spelling's bytes.
  SolverConstraints constraints;
  constraints.contains_patterns = prepare_patterns({"ote"});
  constraints.min_word_length = 4;
  EXPECT_EQ(search(solver, "etoc", constraints),
            (Solutions{{"cote"}, {"côte"}, {"côté"}}));
}

TEST(SpellingsTest, HoldsSpellingsAndPlainLetters) {
  const AnagramSolver solver = folded_solver("café\ncôte\n");
  EXPECT_TRUE(solver.holds_spelling("Café"));
  EXPECT_TRUE(solver.holds_spelling("cafe"));  // written without accents
  EXPECT_FALSE(solver.holds_spelling("cafè"));
  EXPECT_FALSE(solver.holds_spelling("caf"));
  EXPECT_EQ(solver.spelling_count(), 2u);
}

TEST(SpellingsTest, UnfoldedWordsKeepTheirLetters) {
  AnagramSolver solver;
  solver.load_words_from_text("café\n", false);
  EXPECT_EQ(search(solver, "fac"), (Solutions{{"caf"}}));
  // A plain word joins the spellings of a folded one.
  solver.add_word("côte", true);
  solver.add_word("cote", false);
  EXPECT_EQ(search(solver, "etoc"), (Solutions{{"cote"}, {"côte"}}));
  EXPECT_EQ(solver.spelling_count(), 3u);
}

TEST(SpellingsTest, WeightsBySpellingThenByFoldedLetters) {
  const AnagramSolver solver = folded_solver("côte\ncote\ncôté\n");
  WordWeights weights;
  weights.name(spelling_of("Côté"), -100);
  weights.name("cote", -300);
  weights.set_floor();
  EXPECT_EQ(
      solver.best("etoc", {}, weights, 3, FastSearchOptions{}),
      (std::vector<RankedSolution>{
          {-100, {"côté"}, {}}, {-300, {"cote"}, {}}, {-300, {"côte"}, {}}}));
}

}  // namespace
}  // namespace vorpalyx
