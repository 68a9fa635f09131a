// Results of whole solves: every constraint alone and combined, the limits,
// the inputs that give nothing, and a search deeper than any native stack.
// Each case runs through the literal engine, the fast engine and `solve`.

#include "solver/anagram_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "char_utils/letter_lists.h"
#include "solver/prepare_patterns.h"
#include "solver/search_records.h"

namespace vorpalyx {
namespace {

using Solutions = std::vector<Solution>;

enum class Entry { kLiteralEngine, kFastEngine, kSolve };

const char* entry_name(Entry entry) {
  switch (entry) {
    case Entry::kLiteralEngine:
      return "LiteralEngine";
    case Entry::kFastEngine:
      return "FastEngine";
    case Entry::kSolve:
      return "Solve";
  }
  return "Unknown";
}

void PrintTo(Entry entry, std::ostream* out) { *out << entry_name(entry); }

AnagramSolver solver_with(const std::vector<std::string_view>& words) {
  AnagramSolver solver;
  for (std::string_view word : words) solver.insert(word);
  return solver;
}

// The seven solutions of "Listen!" over kListenWords, in result order.
const std::vector<std::string_view> kListenWords = {
    "listen", "silent", "enlist", "tin", "les", "el",
    "tins",   "lit",    "ens",    "st",  "in"};

const Solutions& all_listen_solutions() {
  static const Solutions solutions = {
      {"enlist"},     {"listen"},     {"silent"},        {"ens", "lit"},
      {"les", "tin"}, {"el", "tins"}, {"el", "in", "st"}};
  return solutions;
}

class SearchTest : public testing::TestWithParam<Entry> {
 protected:
  void SetUp() override { unsetenv("ANAGRAM_DEBUG_LOG"); }

  Solutions solve(const AnagramSolver& solver, std::string_view phrase,
                  const SolverConstraints& constraints = {}) const {
    SolutionList list;
    switch (GetParam()) {
      case Entry::kLiteralEngine:
        list = solver.solve_with_engine(phrase, constraints,
                                        SearchEngine::kLiteral);
        break;
      case Entry::kFastEngine:
        list =
            solver.solve_with_engine(phrase, constraints, SearchEngine::kFast);
        break;
      case Entry::kSolve:
        list = solver.solve(phrase, constraints);
        break;
    }
    return list.to_vectors();
  }

  Solutions solve_listen(const SolverConstraints& constraints) const {
    return solve(listen_solver_, "Listen!", constraints);
  }

  const AnagramSolver listen_solver_ = solver_with(kListenWords);
};

INSTANTIATE_TEST_SUITE_P(AllEntries, SearchTest,
                         testing::Values(Entry::kLiteralEngine,
                                         Entry::kFastEngine, Entry::kSolve),
                         [](const testing::TestParamInfo<Entry>& info) {
                           return std::string(entry_name(info.param));
                         });

TEST_P(SearchTest, ListsEveryCombinationOnceInResultOrder) {
  EXPECT_EQ(solve_listen({}), all_listen_solutions());
  EXPECT_EQ(solve(listen_solver_, "listen"), all_listen_solutions());
  EXPECT_EQ(solve(listen_solver_, "  N-E-T-S-I-L 42 "), all_listen_solutions());
}

TEST_P(SearchTest, WordThatPrefixesLongerWordsIsUsedAndExtended) {
  const AnagramSolver solver = solver_with({"tea", "team", "m"});
  EXPECT_EQ(solve(solver, "meat"), (Solutions{{"team"}, {"m", "tea"}}));
  SolverConstraints long_words;
  long_words.min_word_length = 4;
  EXPECT_EQ(solve(solver, "meat", long_words), (Solutions{{"team"}}));
}

TEST_P(SearchTest, RepeatedWordsAndRepeatedOrdersCollapse) {
  const AnagramSolver solver = solver_with({"ab", "ba", "a", "b"});
  EXPECT_EQ(solve(solver, "abab"), (Solutions{{"ab", "ab"},
                                              {"ab", "ba"},
                                              {"ba", "ba"},
                                              {"a", "ab", "b"},
                                              {"a", "b", "ba"},
                                              {"a", "a", "b", "b"}}));
  // Anagrams of one another each keep their own patterns and first letters.
  SolverConstraints ba_inside;
  ba_inside.contains_patterns = prepare_patterns({"ba"});
  EXPECT_EQ(solve(solver, "abab", ba_inside),
            (Solutions{{"ab", "ba"}, {"ba", "ba"}, {"a", "b", "ba"}}));
  SolverConstraints two_b_starts;
  two_b_starts.must_start_with = parse_char_list_to_counts("bb");
  EXPECT_EQ(solve(solver, "abab", two_b_starts),
            (Solutions{{"ba", "ba"}, {"a", "b", "ba"}, {"a", "a", "b", "b"}}));
}

struct StartLetterCase {
  const char* letters;
  Solutions expected;
};

TEST_P(SearchTest, MustStartWithCountsFirstLettersOfCompleteSolutions) {
  const StartLetterCase cases[] = {
      {"s", {{"silent"}, {"el", "in", "st"}}},
      {"e", {{"enlist"}, {"ens", "lit"}, {"el", "tins"}, {"el", "in", "st"}}},
      {"ee", {}},
      {"E", {{"enlist"}, {"ens", "lit"}, {"el", "tins"}, {"el", "in", "st"}}},
      {"es", {{"el", "in", "st"}}},
      {"", all_listen_solutions()},
      // Items that are not a..z can never be met.
      {",", {}},
      {"s ", {}},
      {"\xc3\x89", {}},
  };
  for (const StartLetterCase& c : cases) {
    SolverConstraints constraints;
    constraints.must_start_with = parse_char_list_to_counts(c.letters);
    EXPECT_EQ(solve_listen(constraints), c.expected) << "'" << c.letters << "'";
  }
  SolverConstraints zero_count;
  zero_count.must_start_with = LetterCountMap{{U'x', 0}, {U'e', 0}};
  EXPECT_EQ(solve_listen(zero_count), all_listen_solutions());
}

TEST_P(SearchTest, CanOnlyEverStartWithAppliesToEveryWord) {
  const StartLetterCase cases[] = {
      {"", {}},
      {",", {}},
      {"e", {{"enlist"}}},
      {"EL", {{"enlist"}, {"listen"}, {"ens", "lit"}}},
      {"elst",
       {{"enlist"},
        {"listen"},
        {"silent"},
        {"ens", "lit"},
        {"les", "tin"},
        {"el", "tins"}}},
      {"elsti", all_listen_solutions()},
      {"e, l", {{"enlist"}, {"listen"}, {"ens", "lit"}}},
  };
  for (const StartLetterCase& c : cases) {
    SolverConstraints constraints;
    constraints.can_only_ever_start_with = parse_char_list_to_set(c.letters);
    EXPECT_EQ(solve_listen(constraints), c.expected) << "'" << c.letters << "'";
  }
}

TEST_P(SearchTest, MustNotStartWithAppliesToEveryWord) {
  const StartLetterCase cases[] = {
      {"", all_listen_solutions()},
      {", \xc3\xa9", all_listen_solutions()},
      {"e", {{"listen"}, {"silent"}, {"les", "tin"}}},
      {"E", {{"listen"}, {"silent"}, {"les", "tin"}}},
      {"lst", {{"enlist"}}},
      {"elst", {}},
  };
  for (const StartLetterCase& c : cases) {
    SolverConstraints constraints;
    constraints.must_not_start_with = parse_char_list_to_set(c.letters);
    EXPECT_EQ(solve_listen(constraints), c.expected) << "'" << c.letters << "'";
  }
}

TEST_P(SearchTest, StartLetterSetsLeaveLaterLettersAlone) {
  const AnagramSolver solver = solver_with({"tee", "eat", "tea", "ate"});
  SolverConstraints no_e;
  no_e.must_not_start_with = parse_char_list_to_set("e");
  EXPECT_EQ(solve(solver, "tee", no_e), (Solutions{{"tee"}}));
  EXPECT_EQ(solve(solver, "eta", no_e), (Solutions{{"ate"}, {"tea"}}));
}

TEST_P(SearchTest, MaxWordsBoundsTheWordCount) {
  const Solutions& all = all_listen_solutions();
  const struct {
    std::uint64_t max_words;
    Solutions expected;
  } cases[] = {
      {0, {}},
      {1, Solutions(all.begin(), all.begin() + 3)},
      {2, Solutions(all.begin(), all.begin() + 6)},
      {3, all},
      {std::numeric_limits<std::uint64_t>::max(), all},
  };
  for (const auto& c : cases) {
    SolverConstraints constraints;
    constraints.max_words = c.max_words;
    EXPECT_EQ(solve_listen(constraints), c.expected) << c.max_words;
  }
}

TEST_P(SearchTest, MinWordLengthAppliesToEveryWord) {
  const Solutions& all = all_listen_solutions();
  const struct {
    std::uint64_t min_word_length;
    Solutions expected;
  } cases[] = {
      {0, all},
      {2, all},
      {3, Solutions(all.begin(), all.begin() + 5)},
      {4, Solutions(all.begin(), all.begin() + 3)},
      {6, Solutions(all.begin(), all.begin() + 3)},
      {7, {}},
      {std::numeric_limits<std::uint64_t>::max(), {}},
  };
  for (const auto& c : cases) {
    SolverConstraints constraints;
    constraints.min_word_length = c.min_word_length;
    EXPECT_EQ(solve_listen(constraints), c.expected) << c.min_word_length;
  }
}

TEST_P(SearchTest, EachPatternMustLieWithinOneWord) {
  const struct {
    std::vector<std::string> texts;
    Solutions expected;
  } cases[] = {
      {{}, all_listen_solutions()},
      {{"", "!!", "42"}, all_listen_solutions()},
      {{"ten"}, {{"listen"}}},
      {{"T-e-N"}, {{"listen"}}},
      {{"ten", "ten"}, {{"listen"}}},
      {{"st"}, {{"enlist"}, {"listen"}, {"el", "in", "st"}}},
      {{"st", "st", "in"}, {{"el", "in", "st"}}},
      {{"in", "el"}, {{"el", "tins"}, {"el", "in", "st"}}},
      {{"listen"}, {{"listen"}}},
      {{"listens"}, {}},
      {{"ts"}, {}},
      {{"xyz"}, {}},
  };
  for (const auto& c : cases) {
    SolverConstraints constraints;
    constraints.contains_patterns = prepare_patterns(c.texts);
    EXPECT_EQ(solve_listen(constraints), c.expected)
        << constraints.contains_patterns->size() << " patterns";
  }
}

TEST_P(SearchTest, PatternIsNotSpelledAcrossTwoWords) {
  const AnagramSolver solver = solver_with({"cat", "sun", "test"});
  SolverConstraints constraints;
  constraints.contains_patterns = prepare_patterns({"ts"});
  EXPECT_EQ(solve(solver, "catsun"), (Solutions{{"cat", "sun"}}));
  EXPECT_EQ(solve(solver, "catsun", constraints), Solutions{});
  EXPECT_EQ(solve(solver, "test", constraints), Solutions{});
}

TEST_P(SearchTest, ConstraintsCombine) {
  SolverConstraints e_in_two;
  e_in_two.must_start_with = parse_char_list_to_counts("e");
  e_in_two.max_words = 2;
  EXPECT_EQ(solve_listen(e_in_two),
            (Solutions{{"enlist"}, {"ens", "lit"}, {"el", "tins"}}));

  SolverConstraints long_no_e;
  long_no_e.min_word_length = 3;
  long_no_e.must_not_start_with = parse_char_list_to_set("e");
  EXPECT_EQ(solve_listen(long_no_e),
            (Solutions{{"listen"}, {"silent"}, {"les", "tin"}}));

  SolverConstraints in_two_words;
  in_two_words.contains_patterns = prepare_patterns({"in"});
  in_two_words.max_words = 2;
  EXPECT_EQ(solve_listen(in_two_words),
            (Solutions{{"les", "tin"}, {"el", "tins"}}));

  SolverConstraints in_one_word = in_two_words;
  in_one_word.max_words = 1;
  EXPECT_EQ(solve_listen(in_one_word), Solutions{});

  // A letter in both start sets is never a first letter.
  SolverConstraints el_but_not_e;
  el_but_not_e.can_only_ever_start_with = parse_char_list_to_set("el");
  el_but_not_e.must_not_start_with = parse_char_list_to_set("e");
  EXPECT_EQ(solve_listen(el_but_not_e), (Solutions{{"listen"}}));

  SolverConstraints st_from_elsi;
  st_from_elsi.can_only_ever_start_with = parse_char_list_to_set("elsi");
  st_from_elsi.contains_patterns = prepare_patterns({"st"});
  EXPECT_EQ(solve_listen(st_from_elsi),
            (Solutions{{"enlist"}, {"listen"}, {"el", "in", "st"}}));

  SolverConstraints everything;
  everything.must_start_with = parse_char_list_to_counts("l");
  everything.can_only_ever_start_with = parse_char_list_to_set("elt");
  everything.must_not_start_with = parse_char_list_to_set("s");
  everything.max_words = 2;
  everything.min_word_length = 3;
  everything.timeout_seconds = 1000.0;
  everything.max_solutions = 100;
  everything.contains_patterns = prepare_patterns({"i"});
  EXPECT_EQ(solve_listen(everything),
            (Solutions{{"listen"}, {"ens", "lit"}, {"les", "tin"}}));
}

TEST_P(SearchTest, MaxSolutionsGivesThatManyDistinctValidSolutions) {
  const Solutions& all = all_listen_solutions();
  const std::set<Solution> valid(all.begin(), all.end());
  for (std::uint64_t limit = 0; limit <= all.size() + 1; ++limit) {
    SolverConstraints constraints;
    constraints.max_solutions = limit;
    const Solutions found = solve_listen(constraints);
    EXPECT_EQ(found.size(), std::min<std::size_t>(limit, all.size())) << limit;
    const std::set<Solution> distinct(found.begin(), found.end());
    EXPECT_EQ(distinct.size(), found.size()) << limit;
    for (const Solution& solution : found) {
      EXPECT_TRUE(valid.contains(solution)) << limit;
    }
    // Whatever subset was found comes back in result order.
    Solutions in_order;
    for (const Solution& solution : all) {
      if (distinct.contains(solution)) in_order.push_back(solution);
    }
    EXPECT_EQ(found, in_order) << limit;
  }
}

TEST_P(SearchTest, MaxSolutionsCountsAfterOtherConstraints) {
  SolverConstraints constraints;
  constraints.must_start_with = parse_char_list_to_counts("e");
  constraints.max_solutions = 3;
  const Solutions found = solve_listen(constraints);
  ASSERT_EQ(found.size(), 3u);
  const std::set<Solution> valid = {
      {"enlist"}, {"ens", "lit"}, {"el", "tins"}, {"el", "in", "st"}};
  for (const Solution& solution : found) {
    EXPECT_TRUE(valid.contains(solution));
  }
}

TEST_P(SearchTest, TimeLimit) {
  const struct {
    double timeout_seconds;
    Solutions expected;
  } cases[] = {
      {-1.0, {}},
      {-std::numeric_limits<double>::infinity(), {}},
      {std::nan(""), all_listen_solutions()},
      {std::numeric_limits<double>::infinity(), all_listen_solutions()},
      {1000.0, all_listen_solutions()},
  };
  for (const auto& c : cases) {
    SolverConstraints constraints;
    constraints.timeout_seconds = c.timeout_seconds;
    EXPECT_EQ(solve_listen(constraints), c.expected) << c.timeout_seconds;
  }
}

TEST_P(SearchTest, NothingToSearchGivesNothing) {
  const Solutions none;
  for (const char* phrase : {"", "   ", "!?-- 42", "Listen \xc3\xa9",
                             "\xc3\xa9listen", "silent\xc3\x9f"}) {
    EXPECT_EQ(solve(listen_solver_, phrase), none) << phrase;
  }
  for (const AnagramSolver& solver :
       {solver_with({}), solver_with({"", "123", "--", "\xc3\xa9"})}) {
    EXPECT_EQ(solve(solver, "listen"), none);
    EXPECT_EQ(solve(solver, "a"), none);
  }
  // Letters left over that no word takes.
  EXPECT_EQ(solve(listen_solver_, "listenx"), none);
  EXPECT_EQ(solve(listen_solver_, "listenlisten"),
            (Solutions{{"enlist", "enlist"},
                       {"enlist", "listen"},
                       {"enlist", "silent"},
                       {"listen", "listen"},
                       {"listen", "silent"},
                       {"silent", "silent"},
                       {"enlist", "ens", "lit"},
                       {"enlist", "les", "tin"},
                       {"ens", "listen", "lit"},
                       {"ens", "lit", "silent"},
                       {"les", "listen", "tin"},
                       {"les", "silent", "tin"},
                       {"el", "enlist", "tins"},
                       {"el", "listen", "tins"},
                       {"el", "silent", "tins"},
                       {"ens", "ens", "lit", "lit"},
                       {"ens", "les", "lit", "tin"},
                       {"les", "les", "tin", "tin"},
                       {"el", "el", "tins", "tins"},
                       {"el", "enlist", "in", "st"},
                       {"el", "ens", "lit", "tins"},
                       {"el", "in", "listen", "st"},
                       {"el", "in", "silent", "st"},
                       {"el", "les", "tin", "tins"},
                       {"el", "el", "in", "st", "tins"},
                       {"el", "ens", "in", "lit", "st"},
                       {"el", "in", "les", "st", "tin"},
                       {"el", "el", "in", "in", "st", "st"}}));
}

TEST_P(SearchTest, RepeatedSolvesAgree) {
  SolverConstraints two_words;
  two_words.max_words = 2;
  const Solutions first = solve_listen({});
  const Solutions limited = solve_listen(two_words);
  SolverConstraints stopped;
  stopped.max_solutions = 1;
  solve_listen(stopped);
  stopped.timeout_seconds = -1.0;
  solve_listen(stopped);
  EXPECT_EQ(solve_listen({}), first);
  EXPECT_EQ(solve_listen(two_words), limited);
  EXPECT_EQ(first, all_listen_solutions());
}

TEST_P(SearchTest, SolutionAsLongAsAVeryLongPhrase) {
  constexpr std::size_t kLetters = 1'000'000;
  const AnagramSolver solver = solver_with({"a"});
  const SolutionList list = [&] {
    const std::string phrase(kLetters, 'a');
    switch (GetParam()) {
      case Entry::kLiteralEngine:
        return solver.solve_with_engine(phrase, {}, SearchEngine::kLiteral);
      case Entry::kFastEngine:
        return solver.solve_with_engine(phrase, {}, SearchEngine::kFast);
      case Entry::kSolve:
        break;
    }
    return solver.solve(phrase, {});
  }();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.words, std::vector<std::string>{"a"});
  ASSERT_EQ(list.groups.size(), 1u);
  const SolutionGroup& group = list.groups[0];
  EXPECT_EQ(group.word_count, kLetters);
  std::vector<std::uint32_t> ids;
  group.for_each([&](const std::uint32_t* solution) {
    ids.insert(ids.end(), solution, solution + group.word_count);
  });
  EXPECT_EQ(ids, std::vector<std::uint32_t>(kLetters, 0));
}

}  // namespace
}  // namespace vorpalyx
