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
#include <utility>
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

// The constraints of a case, set field by field:
// Given().must_start_with("e").max_words(2).
class Given {
 public:
  Given& must_start_with(const char* s) {
    return set(c_.must_start_with, parse_char_list_to_counts(s));
  }
  Given& must_start_with(LetterCountMap m) {
    return set(c_.must_start_with, m);
  }
  Given& can_only_ever_start_with(const char* s) {
    return set(c_.can_only_ever_start_with, parse_char_list_to_set(s));
  }
  Given& must_not_start_with(const char* s) {
    return set(c_.must_not_start_with, parse_char_list_to_set(s));
  }
  Given& max_words(std::uint64_t n) { return set(c_.max_words, n); }
  Given& min_word_length(std::uint64_t n) { return set(c_.min_word_length, n); }
  Given& timeout_seconds(double s) { return set(c_.timeout_seconds, s); }
  Given& max_solutions(std::uint64_t n) { return set(c_.max_solutions, n); }
  Given& contains_patterns(const std::vector<std::string>& texts) {
    return set(c_.contains_patterns, prepare_patterns(texts));
  }
  operator SolverConstraints() const { return c_; }

 private:
  template <typename Field, typename Value>
  Given& set(Field& field, Value value) {
    field = std::move(value);
    return *this;
  }

  SolverConstraints c_;
};

Solutions first_listen(std::size_t count) {
  const Solutions& all = all_listen_solutions();
  return Solutions(all.begin(), all.begin() + count);
}

constexpr std::uint64_t kMaxCount = std::numeric_limits<std::uint64_t>::max();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A solve of `phrase` over `words` and what it must give, exactly.
struct SolveCase {
  SolverConstraints constraints;
  Solutions expected;
  std::string_view phrase = "Listen!";
  std::vector<std::string_view> words = kListenWords;
};

// Every constraint alone and combined over the Listen words, then smaller
// dictionaries where a word prefixes or repeats another, and the inputs that
// give nothing.
const std::vector<SolveCase>& solve_cases() {
  const Solutions all = all_listen_solutions();
  static const std::vector<SolveCase> cases = {
      {{}, all},
      {{}, all, "listen"},
      {{}, all, "  N-E-T-S-I-L 42 "},
      // must_start_with counts the first letters of complete solutions;
      // items that are not a..z can never be met.
      {Given().must_start_with("s"), {{"silent"}, {"el", "in", "st"}}},
      {Given().must_start_with("e"),
       {{"enlist"}, {"ens", "lit"}, {"el", "tins"}, {"el", "in", "st"}}},
      {Given().must_start_with("ee"), {}},
      {Given().must_start_with("E"),
       {{"enlist"}, {"ens", "lit"}, {"el", "tins"}, {"el", "in", "st"}}},
      {Given().must_start_with("es"), {{"el", "in", "st"}}},
      {Given().must_start_with(""), all},
      {Given().must_start_with(","), {}},
      {Given().must_start_with("s "), {}},
      {Given().must_start_with("\xc3\x89"), {}},
      {Given().must_start_with(LetterCountMap{{U'x', 0}, {U'e', 0}}), all},
      // The two start sets apply to every word.
      {Given().can_only_ever_start_with(""), {}},
      {Given().can_only_ever_start_with(","), {}},
      {Given().can_only_ever_start_with("e"), {{"enlist"}}},
      {Given().can_only_ever_start_with("EL"),
       {{"enlist"}, {"listen"}, {"ens", "lit"}}},
      {Given().can_only_ever_start_with("elst"), first_listen(6)},
      {Given().can_only_ever_start_with("elsti"), all},
      {Given().can_only_ever_start_with("e, l"),
       {{"enlist"}, {"listen"}, {"ens", "lit"}}},
      {Given().must_not_start_with(""), all},
      {Given().must_not_start_with(", \xc3\xa9"), all},
      {Given().must_not_start_with("e"),
       {{"listen"}, {"silent"}, {"les", "tin"}}},
      {Given().must_not_start_with("E"),
       {{"listen"}, {"silent"}, {"les", "tin"}}},
      {Given().must_not_start_with("lst"), {{"enlist"}}},
      {Given().must_not_start_with("elst"), {}},
      {Given().max_words(0), {}},
      {Given().max_words(1), first_listen(3)},
      {Given().max_words(2), first_listen(6)},
      {Given().max_words(3), all},
      {Given().max_words(kMaxCount), all},
      {Given().min_word_length(0), all},
      {Given().min_word_length(2), all},
      {Given().min_word_length(3), first_listen(5)},
      {Given().min_word_length(4), first_listen(3)},
      {Given().min_word_length(6), first_listen(3)},
      {Given().min_word_length(7), {}},
      {Given().min_word_length(kMaxCount), {}},
      {Given().timeout_seconds(-1.0), {}},
      {Given().timeout_seconds(-kInfinity), {}},
      {Given().timeout_seconds(std::nan("")), all},
      {Given().timeout_seconds(kInfinity), all},
      {Given().timeout_seconds(1000.0), all},
      // Each pattern must lie within one word.
      {Given().contains_patterns({}), all},
      {Given().contains_patterns({"", "!!", "42"}), all},
      {Given().contains_patterns({"ten"}), {{"listen"}}},
      {Given().contains_patterns({"T-e-N"}), {{"listen"}}},
      {Given().contains_patterns({"ten", "ten"}), {{"listen"}}},
      {Given().contains_patterns({"st"}),
       {{"enlist"}, {"listen"}, {"el", "in", "st"}}},
      {Given().contains_patterns({"st", "st", "in"}), {{"el", "in", "st"}}},
      {Given().contains_patterns({"in", "el"}),
       {{"el", "tins"}, {"el", "in", "st"}}},
      {Given().contains_patterns({"listen"}), {{"listen"}}},
      {Given().contains_patterns({"listens"}), {}},
      {Given().contains_patterns({"ts"}), {}},
      {Given().contains_patterns({"xyz"}), {}},
      // Constraints combined; a letter in both start sets is never a first
      // letter.
      {Given().must_start_with("e").max_words(2),
       {{"enlist"}, {"ens", "lit"}, {"el", "tins"}}},
      {Given().must_not_start_with("e").min_word_length(3),
       {{"listen"}, {"silent"}, {"les", "tin"}}},
      {Given().max_words(2).contains_patterns({"in"}),
       {{"les", "tin"}, {"el", "tins"}}},
      {Given().max_words(1).contains_patterns({"in"}), {}},
      {Given().can_only_ever_start_with("el").must_not_start_with("e"),
       {{"listen"}}},
      {Given().can_only_ever_start_with("elsi").contains_patterns({"st"}),
       {{"enlist"}, {"listen"}, {"el", "in", "st"}}},
      {Given()
           .must_start_with("l")
           .can_only_ever_start_with("elt")
           .must_not_start_with("s")
           .max_words(2)
           .min_word_length(3)
           .timeout_seconds(1000.0)
           .max_solutions(100)
           .contains_patterns({"i"}),
       {{"listen"}, {"ens", "lit"}, {"les", "tin"}}},
      // A word that prefixes longer words is used and extended.
      {{}, {{"team"}, {"m", "tea"}}, "meat", {"tea", "team", "m"}},
      {Given().min_word_length(4), {{"team"}}, "meat", {"tea", "team", "m"}},
      // Repeated words and repeated orders collapse; anagrams of one another
      // each keep their own patterns and first letters.
      {{},
       {{"ab", "ab"},
        {"ab", "ba"},
        {"ba", "ba"},
        {"a", "ab", "b"},
        {"a", "b", "ba"},
        {"a", "a", "b", "b"}},
       "abab",
       {"ab", "ba", "a", "b"}},
      {Given().contains_patterns({"ba"}),
       {{"ab", "ba"}, {"ba", "ba"}, {"a", "b", "ba"}},
       "abab",
       {"ab", "ba", "a", "b"}},
      {Given().must_start_with("bb"),
       {{"ba", "ba"}, {"a", "b", "ba"}, {"a", "a", "b", "b"}},
       "abab",
       {"ab", "ba", "a", "b"}},
      // Start letter sets leave later letters alone.
      {Given().must_not_start_with("e"),
       {{"tee"}},
       "tee",
       {"tee", "eat", "tea", "ate"}},
      {Given().must_not_start_with("e"),
       {{"ate"}, {"tea"}},
       "eta",
       {"tee", "eat", "tea", "ate"}},
      // A pattern is not spelled across two words.
      {{}, {{"cat", "sun"}}, "catsun", {"cat", "sun", "test"}},
      {Given().contains_patterns({"ts"}), {}, "catsun", {"cat", "sun", "test"}},
      {Given().contains_patterns({"ts"}), {}, "test", {"cat", "sun", "test"}},
      // Nothing to search, or letters left over that no word takes.
      {{}, {}, ""},
      {{}, {}, "   "},
      {{}, {}, "!?-- 42"},
      {{}, {}, "Listen \xc3\xa9"},
      {{}, {}, "\xc3\xa9listen"},
      {{}, {}, "silent\xc3\x9f"},
      {{}, {}, "listen", {}},
      {{}, {}, "a", {}},
      {{}, {}, "listen", {"", "123", "--", "\xc3\xa9"}},
      {{}, {}, "a", {"", "123", "--", "\xc3\xa9"}},
      {{}, {}, "listenx"},
      {{},
       {{"enlist", "enlist"},
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
        {"el", "el", "in", "in", "st", "st"}},
       "listenlisten"},
  };
  return cases;
}

TEST_P(SearchTest, GivesExactlyTheSolutionsOfEachCase) {
  const std::vector<SolveCase>& cases = solve_cases();
  for (std::size_t index = 0; index < cases.size(); ++index) {
    const SolveCase& c = cases[index];
    EXPECT_EQ(solve(solver_with(c.words), c.phrase, c.constraints), c.expected)
        << "case " << index << ": '" << c.phrase << "'";
  }
}

// Alone, and counted after another constraint has narrowed the solutions.
TEST_P(SearchTest, MaxSolutionsGivesThatManyDistinctValidSolutions) {
  for (const SolverConstraints& narrowing :
       {SolverConstraints{}, SolverConstraints(Given().must_start_with("e"))}) {
    const Solutions all = solve_listen(narrowing);
    ASSERT_EQ(all.size(), narrowing.must_start_with ? 4u : 7u);
    const std::set<Solution> valid(all.begin(), all.end());
    for (std::uint64_t limit = 0; limit <= all.size() + 1; ++limit) {
      SolverConstraints constraints = narrowing;
      constraints.max_solutions = limit;
      const Solutions found = solve_listen(constraints);
      EXPECT_EQ(found.size(), std::min<std::size_t>(limit, all.size()))
          << limit;
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
