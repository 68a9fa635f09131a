// The ranked search against the simplest answer: the full search's result,
// scored, sorted by (score descending, result order) and cut to k.

#include "solver/ranked_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "char_utils/letter_lists.h"
#include "letters_and_pairs.h"
#include "solver/anagram_solver.h"
#include "solver/prepare_patterns.h"
#include "solver/score_order.h"
#include "solver/word_weights.h"

namespace vorpalyx {
namespace {

// The reference: every solution of the full search, scored and stably
// sorted by score, so that ties keep result order.
std::vector<RankedSolution> everything_by_score(
    const AnagramSolver& solver, const std::string& phrase,
    const SolverConstraints& constraints, const WordWeights& weights,
    const ExtendedConstraints& extended = {}) {
  std::vector<RankedSolution> all;
  for (Solution& words :
       solver.search(phrase, constraints, FastSearchOptions(), extended)
           .to_vectors()) {
    std::int64_t score = 0;
    for (const std::string& word : words) score += weights.weight_of(word);
    all.push_back({score, std::move(words), {}});
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const RankedSolution& left, const RankedSolution& right) {
                     return left.score > right.score;
                   });
  return all;
}

std::vector<RankedSolution> cut(std::vector<RankedSolution> all,
                                std::size_t k) {
  all.resize(std::min(all.size(), k));
  return all;
}

int pick(std::mt19937& random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
}

std::string random_word(std::mt19937& random, const std::string& alphabet,
                        int max_length) {
  std::string word(pick(random, 1, max_length), ' ');
  for (char& letter : word) {
    letter = alphabet[pick(random, 0, static_cast<int>(alphabet.size()) - 1)];
  }
  return word;
}

std::optional<std::string_view> maybe_letters(std::mt19937& random,
                                              const std::string& alphabet,
                                              std::string& storage) {
  if (pick(random, 0, 3) != 0) return std::nullopt;
  storage.clear();
  for (int i = pick(random, 0, 2); i > 0; --i) {
    storage += random_word(random, alphabet, 1);
  }
  return storage;
}

TEST(RankedSearchTest, EqualsTheFullSearchSortedByScoreAndCut) {
  std::size_t compared = 0;
  for (std::uint32_t seed = 0; seed < 7000; ++seed) {
    std::mt19937 random(seed);
    const std::string alphabet =
        std::string("abcdefg").substr(0, pick(random, 2, 6));
    AnagramSolver solver;
    std::vector<std::string> words;
    WordWeights weights;
    // Few distinct weights make ties common; sometimes none at all.
    const int spread = pick(random, 0, 3) == 0 ? 0 : pick(random, 1, 400);
    for (int i = pick(random, 0, 24); i > 0; --i) {
      words.push_back(random_word(random, alphabet, 4));
      solver.insert(words.back());
      if (spread != 0 && pick(random, 0, 5) != 0) {
        weights.name(words.back(), -pick(random, 0, spread));
      }
    }
    if (spread != 0) weights.set_floor();
    std::string phrase;
    // The lengths of the words it is made of, in any order: an enumeration
    // that has solutions.
    std::vector<std::uint64_t> made_of;
    for (int i = pick(random, 1, 4); i > 0 && !words.empty(); --i) {
      const std::string& word =
          words[pick(random, 0, static_cast<int>(words.size()) - 1)];
      phrase += word;
      made_of.insert(
          made_of.begin() + pick(random, 0, static_cast<int>(made_of.size())),
          word.size());
    }
    if (phrase.empty()) phrase = random_word(random, alphabet, 8);

    SolverConstraints constraints;
    std::string must, only, never;
    constraints.must_start_with =
        parse_char_list_to_counts(maybe_letters(random, alphabet, must));
    constraints.can_only_ever_start_with =
        parse_char_list_to_set(maybe_letters(random, alphabet, only));
    constraints.must_not_start_with =
        parse_char_list_to_set(maybe_letters(random, alphabet, never));
    if (pick(random, 0, 3) == 0) constraints.max_words = pick(random, 0, 4);
    if (pick(random, 0, 3) == 0) {
      constraints.min_word_length = pick(random, 0, 3);
    }
    if (pick(random, 0, 3) == 0) {
      std::vector<std::string> texts;
      for (int i = pick(random, 0, 3); i > 0; --i) {
        texts.push_back(random_word(random, alphabet, 2));
      }
      constraints.contains_patterns = prepare_patterns(texts);
    }
    if (pick(random, 0, 5) == 0) constraints.max_solutions = pick(random, 0, 6);
    // Words that repeat are common among so few letters.
    ExtendedConstraints extended;
    extended.distinct = pick(random, 0, 3) == 0;
    if (pick(random, 0, 3) == 0 && !made_of.empty()) {
      extended.lengths = made_of;
    } else if (pick(random, 0, 5) == 0) {
      extended.lengths.emplace();
      for (int i = pick(random, 1, 3); i > 0; --i) {
        extended.lengths->push_back(pick(random, 1, 4));
      }
    }

    const std::vector<RankedSolution> all =
        everything_by_score(solver, phrase, constraints, weights, extended);
    const std::size_t k = pick(random, 0, 3) == 0
                              ? all.size() + pick(random, 0, 2)
                              : pick(random, 0, 6);
    ASSERT_EQ(solver.best(phrase, constraints, weights, k, {}, extended),
              cut(all, k))
        << "seed " << seed << " phrase " << phrase << " k " << k;

    const ScoredList scored =
        solver.search_by_score(phrase, constraints, weights, {}, extended);
    const std::vector<Solution> reordered = scored.list.to_vectors();
    ASSERT_EQ(reordered.size(), all.size()) << "seed " << seed;
    for (std::size_t i = 0; i < all.size(); ++i) {
      ASSERT_EQ(reordered[i], all[i].words) << "seed " << seed;
      ASSERT_EQ(scored.scores[i], all[i].score) << "seed " << seed;
    }
    compared += all.size();
  }
  EXPECT_GT(compared, 25000u);
}

// A large k keeps everything, through the full search.
TEST(RankedSearchTest, KBeyondTheWalksShareRanksTheFullResult) {
  AnagramSolver solver;
  for (const char* word : {"a", "ab", "b", "ba", "abc", "c", "cab", "bc"}) {
    solver.insert(word);
  }
  WordWeights weights;
  weights.name("c", -5);
  weights.name("ab", -1);
  weights.set_floor();
  const std::vector<RankedSolution> all =
      everything_by_score(solver, "aabbcc", {}, weights);
  ASSERT_GT(all.size(), 10u);
  EXPECT_EQ(solver.best("aabbcc", {}, weights, kMostBestByWalk + 1, {}), all);
  EXPECT_EQ(solver.best("aabbcc", {}, weights, 3, {}), cut(all, 3));
}

// Enough solutions (140,152: the letters in ones and pairs) that the
// score order reads them in pieces, on two threads when it may.
TEST(RankedSearchTest, ScoreOrderOfAResultReadInPieces) {
  AnagramSolver solver;
  WordWeights weights;
  const std::string letters = "abcdefghijkl";
  for (char first : letters) {
    solver.insert(std::string(1, first));
    weights.name(std::string(1, first), -(first - 'a') * 10);
    for (char second : letters) {
      if (first < second) {
        solver.insert(std::string{first, second});
        weights.name(std::string{first, second}, -(first - 'a' + second - 'a'));
      }
    }
  }
  weights.set_floor();
  const std::vector<RankedSolution> all =
      everything_by_score(solver, letters, {}, weights);
  ASSERT_EQ(all.size(), 140152u);
  for (bool second_core : {false, true}) {
    FastSearchOptions options;
    options.second_core = second_core;
    const ScoredList scored =
        solver.search_by_score(letters, {}, weights, options);
    const std::vector<Solution> reordered = scored.list.to_vectors();
    ASSERT_EQ(reordered.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
      ASSERT_EQ(reordered[i], all[i].words) << i;
      ASSERT_EQ(scored.scores[i], all[i].score) << i;
    }
  }
}

// The walk holds back solutions of too few words itself: over the alphabet's
// 10^18 solutions in letters and pairs the best are found at once, where
// ranking the full result would need every one (the time limit ends only a
// search that would not).
TEST(RankedSearchTest, TheWalkTakesALeastNumberOfWords) {
  const AnagramSolver solver = letters_and_pairs();
  WordWeights weights;
  std::vector<std::string> pairs;
  for (std::size_t i = 0; i < kAlphabet.size(); i += 2) {
    pairs.push_back(kAlphabet.substr(i, 2));
    weights.name(pairs.back(), 0);
  }
  weights.set_floor();
  SolverConstraints constraints;
  constraints.timeout_seconds = 1.0;
  ExtendedConstraints extended;
  extended.min_words = 13;
  std::vector<RankedSolution> best =
      solver.best(kAlphabet, constraints, weights, 1, {}, extended);
  ASSERT_EQ(best.size(), 1u);
  EXPECT_EQ(best[0].score, 0);
  EXPECT_EQ(best[0].words, pairs);
  // One pair less, two letters more: the first of 13 ties in result order.
  extended.min_words = 14;
  best = solver.best(kAlphabet, constraints, weights, 1, {}, extended);
  ASSERT_EQ(best.size(), 1u);
  EXPECT_EQ(best[0].score, -2);
  std::vector<std::string> expected = {"a", "b"};
  expected.insert(expected.end(), pairs.begin() + 1, pairs.end());
  EXPECT_EQ(best[0].words, expected);
}

TEST(RankedSearchTest, AnInterruptStopsTheWalk) {
  AnagramSolver solver;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    solver.insert(std::string(1, letter));
    solver.insert(std::string(2, letter));
  }
  FastSearchOptions options;
  options.interrupt.interrupted = [] { return true; };
  options.interrupt.interval = std::chrono::steady_clock::duration::zero();
  // Every word at the same weight: nothing is pruned, the walk is long.
  EXPECT_THROW(
      solver.best("abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz", {},
                  WordWeights(), 100, options),
      SearchInterrupted);
}

TEST(WordWeightsTest, CountsBecomeLogarithmsOfTheirShare) {
  const auto read = weights_from_counts("room\t30\r\nDirty\t60\n\nroom\t10\n");
  ASSERT_TRUE(std::holds_alternative<WordWeights>(read));
  const WordWeights& weights = std::get<WordWeights>(read);
  EXPECT_EQ(weights.weight_of("room"), -40);   // log10(40 / 100)
  EXPECT_EQ(weights.weight_of("dirty"), -22);  // log10(60 / 100)
  EXPECT_EQ(weights.weight_of("window"), -41);
  EXPECT_EQ(WordWeights().weight_of("room"), kUnweightedFloor);
}

TEST(WordWeightsTest, ABadLineIsNamedByItsNumber) {
  struct Case {
    const char* text;
    std::size_t line;
    const char* reason;
  };
  for (const Case& bad : {
           Case{"a\t1\nroom 5\n", 2, "expected word<TAB>count, got 'room 5'"},
           Case{"a\t1\n\n12\t3\n", 3, "the word '12' has no letters a-z"},
           Case{"a\t0\n", 1, "the count '0' is not a positive number"},
           Case{"a\t-2\n", 1, "the count '-2' is not a positive number"},
           Case{"a\tnan\n", 1, "the count 'nan' is not a positive number"},
           Case{"a\tinf\n", 1, "the count 'inf' is not a positive number"},
           Case{"a\t\n", 1, "the count '' is not a positive number"},
           Case{"a\t3x\n", 1, "the count '3x' is not a positive number"},
           Case{"a\t1e400\n", 1,
                "the count '1e400' is more than a double holds"},
           Case{"a\t1e-400\n", 1,
                "the count '1e-400' is too small for a double to hold"},
           Case{"a\t-1e400\n", 1,
                "the count '-1e400' is not a positive number"},
       }) {
    const auto read = weights_from_counts(bad.text);
    ASSERT_TRUE(std::holds_alternative<WeightsFileError>(read)) << bad.text;
    EXPECT_EQ(std::get<WeightsFileError>(read).line, bad.line) << bad.text;
    EXPECT_EQ(std::get<WeightsFileError>(read).reason, bad.reason);
  }
}

TEST(WordWeightsTest, AlignedLinesPairWordsWithWeights) {
  const WordWeights weights =
      weights_from_aligned_lines("room\nDirty\n", "-361\n-445\n");
  EXPECT_EQ(weights.weight_of("dirty"), -445);
  EXPECT_EQ(weights.floor, -445);
  EXPECT_THROW(weights_from_aligned_lines("room\ndirty\n", "-361\n"),
               std::invalid_argument);
  EXPECT_THROW(weights_from_aligned_lines("room\n", "12\n"),
               std::invalid_argument);
}

}  // namespace
}  // namespace vorpalyx
