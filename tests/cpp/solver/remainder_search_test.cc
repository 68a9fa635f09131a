// The remainder search against the walk and sort: the same groups with the
// same solutions in the same order, whether it builds every remainder's
// list or walks down to the smallest.

#include "solver/remainder_search.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "char_utils/letter_lists.h"
#include "growth_limit.h"
#include "solver/anagram_solver.h"
#include "solver/candidate_packing.h"
#include "solver/memory_budget.h"
#include "solver/prepare_patterns.h"
#include "solver/prepared_constraints.h"

namespace vorpalyx {
namespace {

std::optional<SolutionList> in_order(const AnagramSolver& solver,
                                     std::string_view phrase,
                                     const SolverConstraints& constraints,
                                     std::uint64_t least_list_entries,
                                     const FastSearchOptions& options = {},
                                     const ExtendedConstraints& extended = {}) {
  const CharCounts counts = std::get<CharCounts>(CharCounts::from_str(phrase));
  const PreparedConstraints prepared =
      prepare_constraints(constraints, extended);
  const auto start = std::chrono::steady_clock::now();
  // Empty outside when the phrase has no candidate at all.
  using Outcome = std::optional<std::optional<SolutionList>>;
  Outcome outcome = with_packed_candidates<Outcome>(
      solver.trie(), counts, constraints, prepared, start, options,
      [&]<std::size_t N>(const PackedLayout&, SpelledWords words) {
        // Its counts alone give the count.
        const std::optional<std::uint64_t> count = count_by_remainders(
            words.letters_by_rank(), counts, prepared, start, options);
        std::optional<SolutionList> list =
            run_remainder_search(words, counts, prepared, start, options,
                                 nullptr, least_list_entries);
        if (list) {
          EXPECT_EQ(count, list->size());
        }
        return Outcome(std::move(list));
      });
  return outcome ? std::move(*outcome) : SolutionList();
}

SolutionList walked(const AnagramSolver& solver, std::string_view phrase,
                    const SolverConstraints& constraints,
                    const ExtendedConstraints& extended = {}) {
  FastSearchOptions options;
  options.remainder_search = false;
  return run_fast_search(
      solver.trie(), std::get<CharCounts>(CharCounts::from_str(phrase)),
      constraints, prepare_constraints(constraints, extended),
      std::chrono::steady_clock::now(), options);
}

// Each group's word count and size, then every solution.
void expect_same(const SolutionList& actual, const SolutionList& expected,
                 const std::string& context) {
  ASSERT_EQ(actual.groups.size(), expected.groups.size()) << context;
  for (std::size_t i = 0; i < actual.groups.size(); ++i) {
    EXPECT_EQ(actual.groups[i].word_count, expected.groups[i].word_count)
        << context;
    EXPECT_EQ(actual.groups[i].solution_count,
              expected.groups[i].solution_count)
        << context;
  }
  EXPECT_FALSE(actual.partial) << context;
  ASSERT_EQ(actual.to_vectors(), expected.to_vectors()) << context;
}

AnagramSolver solver_of(const std::vector<std::string>& words) {
  AnagramSolver solver;
  for (const std::string& word : words) solver.insert(word);
  return solver;
}

// Each of `letters` and each pair of them, in order.
std::vector<std::string> letters_and_pairs_of(const std::string& letters) {
  std::vector<std::string> words;
  for (std::size_t i = 0; i < letters.size(); ++i) {
    words.push_back(letters.substr(i, 1));
    for (std::size_t j = i + 1; j < letters.size(); ++j) {
      words.push_back({letters[i], letters[j]});
    }
  }
  return words;
}

// Every word of up to `longest` letters over `letters`.
std::vector<std::string> every_word(const std::string& letters, int longest) {
  std::vector<std::string> words = {""};
  for (std::size_t from = 0; from < words.size(); ++from) {
    if (static_cast<int>(words[from].size()) == longest) continue;
    for (char letter : letters) words.push_back(words[from] + letter);
  }
  words.erase(words.begin());
  return words;
}

class RemainderSearchTest : public testing::TestWithParam<std::uint64_t> {};

TEST_P(RemainderSearchTest, MatchesTheWalkOnRandomInputs) {
  std::mt19937 random(7);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  std::size_t total_solutions = 0;
  for (int round = 0; round < 300; ++round) {
    const std::string alphabet = std::string("abcdefg").substr(0, pick(2, 7));
    std::vector<std::string> words;
    for (int i = pick(1, 60); i > 0; --i) {
      std::string word(pick(1, 4), ' ');
      for (char& letter : word) letter = alphabet[pick(0, alphabet.size() - 1)];
      words.push_back(word);
    }
    const AnagramSolver solver = solver_of(words);
    std::string phrase;
    for (int i = pick(1, 4); i > 0; --i)
      phrase += words[pick(0, words.size() - 1)];
    SolverConstraints constraints;
    if (pick(0, 3) == 0) constraints.min_word_length = pick(0, 3);
    if (pick(0, 3) == 0) {
      constraints.must_not_start_with =
          parse_char_list_to_set(std::string(1, alphabet[0]));
    }
    if (pick(0, 3) == 0) constraints.max_words = phrase.size() + pick(0, 2);
    ExtendedConstraints extended;
    extended.distinct = pick(0, 2) == 0;
    const std::string context = "round " + std::to_string(round);
    const std::optional<SolutionList> result =
        in_order(solver, phrase, constraints, GetParam(), {}, extended);
    ASSERT_TRUE(result.has_value()) << context;
    const SolutionList expected = walked(solver, phrase, constraints, extended);
    expect_same(*result, expected, context);
    total_solutions += expected.size();
  }
  EXPECT_GT(total_solutions, 10'000u);
}

// A quarter of a million solutions of up to ten words; and, over twelve
// letters and their pairs (7-bit ranks), solutions of up to twelve words,
// whose keys need more than 64 bits.
TEST_P(RemainderSearchTest, MatchesTheWalkOnLargeResults) {
  const AnagramSolver every = solver_of(every_word("abcdef", 3));
  expect_same(*in_order(every, "abbccddeef", {}, GetParam()),
              walked(every, "abbccddeef", {}), "abcdef");
  const std::string letters = "abcdefghijkl";
  const AnagramSolver paired = solver_of(letters_and_pairs_of(letters));
  expect_same(*in_order(paired, letters, {}, GetParam()),
              walked(paired, letters, {}), "pairs");
}

// Every remainder's list built whole, or only those of a few entries.
INSTANTIATE_TEST_SUITE_P(ListsBuilt, RemainderSearchTest,
                         testing::Values(kLeastListEntries, 0));

// Constraints on whole solutions, and limits, are left to the walk.
TEST(RemainderSearchScopeTest, LeavesToTheWalkWhatBindsWholeSolutions) {
  const AnagramSolver solver = solver_of({"ab", "ba", "a", "b"});
  std::vector<SolverConstraints> cases(5);
  cases[0].max_words = 3;
  cases[1].timeout_seconds = 10.0;
  cases[2].max_solutions = 1000;
  cases[3].must_start_with = parse_char_list_to_counts("a");
  cases[4].contains_patterns = prepare_patterns({"ab"});
  for (const SolverConstraints& constraints : cases) {
    EXPECT_FALSE(in_order(solver, "aabb", constraints, 0).has_value());
  }
}

// Words of two to five letters over a and b: 11,466,013,106 solutions of
// twenty a's and twenty b's, refused before any is written or any list is
// built.
TEST(RemainderSearchScopeTest, RefusesAResultTooLargeForMemoryAtOnce) {
  std::vector<std::string> words = every_word("ab", 5);
  std::erase_if(words, [](const std::string& word) { return word.size() < 2; });
  const AnagramSolver solver = solver_of(words);
  try {
    in_order(solver, std::string(20, 'a') + std::string(20, 'b'), {}, 0);
    ADD_FAILURE();
  } catch (const ResultTooLarge& error) {
    EXPECT_EQ(error.solutions, 11'466'013'106u);
    EXPECT_GT(error.bytes_needed, error.bytes_available);
  }
}

// Sixteen letters and their pairs, with a 'z' that no word holds: no
// solution, but the tables of 65,536 remainders, some 10 MB, which pass the
// limit, so the search is left to the walk, which needs none of them,
// instead of failing to allocate them (or, where the allocator had room
// left from before, building them).
TEST(RemainderSearchScopeTest, LeavesToTheWalkTablesTooLargeForMemory) {
#ifdef VORPALYX_ASAN
  GTEST_SKIP() << "AddressSanitizer needs an unlimited address space";
#endif
  const std::string letters = "abcdefghijklmnop";
  const AnagramSolver solver = solver_of(letters_and_pairs_of(letters));
  EXPECT_EXIT(
      {
        limit_growth_to(std::uint64_t{4} << 20);
        std::exit(in_order(solver, letters + "z", {}, 0) ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

// The same tables, whose building asks the poll and stops when it says so.
TEST(RemainderSearchScopeTest, StopsWhileItBuildsItsTables) {
  const std::string letters = "abcdefghijklmnop";
  const AnagramSolver solver = solver_of(letters_and_pairs_of(letters));
  FastSearchOptions options;
  int polls = 0;
  options.interrupt.interrupted = [&polls] { return ++polls > 1; };
  options.interrupt.interval = std::chrono::steady_clock::duration::zero();
  EXPECT_THROW(in_order(solver, letters + "z", {}, 0, options),
               SearchInterrupted);
}

TEST(RemainderSearchScopeTest, StopsWhenThePollSaysSo) {
  const AnagramSolver solver = solver_of(every_word("abcdef", 3));
  FastSearchOptions options;
  options.interrupt.interrupted = [] { return true; };
  EXPECT_THROW(in_order(solver, "abbccddeef", {}, 0, options),
               SearchInterrupted);
}

}  // namespace
}  // namespace vorpalyx
