// The fast search against the literal one: for every search that runs to its
// end both must return the same list, and under a solution limit the fast
// one must return exactly that many distinct, valid solutions.

#include "solver/fast_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "char_utils/letter_lists.h"
#include "solver/anagram_solver.h"
#include "solver/prepare_patterns.h"
#include "solver/prepared_constraints.h"

namespace vorpalyx {
namespace {

std::vector<Solution> solve(const AnagramSolver& solver,
                            std::string_view phrase,
                            const SolverConstraints& constraints,
                            SearchEngine engine) {
  return solver.solve_with_engine(phrase, constraints, engine).to_vectors();
}

// The solutions counted without storing them.
std::size_t count(const AnagramSolver& solver, std::string_view phrase,
                  const SolverConstraints& constraints,
                  const FastSearchOptions& options = {}) {
  const auto counts = CharCounts::from_str(phrase);
  if (!std::holds_alternative<CharCounts>(counts) ||
      std::get<CharCounts>(counts).is_empty()) {
    return 0;
  }
  const SolutionCount counted =
      count_fast_search(solver.trie(), std::get<CharCounts>(counts),
                        constraints, prepare_constraints(constraints),
                        std::chrono::steady_clock::now(), options);
  EXPECT_FALSE(counted.saturated);
  return static_cast<std::size_t>(counted.solutions);
}

class RandomCase {
 public:
  explicit RandomCase(std::uint32_t seed) : random_(seed) {}

  std::string word(const std::string& alphabet, int max_length) {
    std::string text(pick(1, max_length), ' ');
    for (char& letter : text) letter = alphabet[pick(0, alphabet.size() - 1)];
    return text;
  }

  std::optional<std::string> maybe_letters(const std::string& alphabet) {
    switch (pick(0, 9)) {
      case 0:
        return std::string();
      case 1:
      case 2:
      case 3: {
        std::string letters;
        for (int i = pick(1, 3); i > 0; --i) {
          letters +=
              pick(0, 5) == 0 ? ',' : alphabet[pick(0, alphabet.size() - 1)];
        }
        return letters;
      }
      default:
        return std::nullopt;
    }
  }

  template <typename T>
  std::optional<T> maybe(T low, T high) {
    if (pick(0, 3) == 0) return static_cast<T>(pick(low, high));
    return std::nullopt;
  }

  int pick(std::size_t low, std::size_t high) {
    return static_cast<int>(
        std::uniform_int_distribution<std::size_t>(low, high)(random_));
  }

 private:
  std::mt19937 random_;
};

std::optional<std::string_view> view(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return *text;
}

TEST(FastSearchTest, MatchesTheLiteralSearchOnRandomInputs) {
  std::size_t total_solutions = 0;
  for (std::uint32_t seed = 0; seed < 3000; ++seed) {
    RandomCase random(seed);
    const std::string alphabet =
        std::string("abcdefgh").substr(0, random.pick(2, 6));
    AnagramSolver solver;
    std::vector<std::string> words;
    for (int i = random.pick(0, 20); i > 0; --i) {
      words.push_back(random.word(alphabet, 4));
      solver.insert(words.back());
    }
    // Mostly a few dictionary words run together, so solutions exist.
    std::string phrase;
    if (words.empty() || random.pick(0, 4) == 0) {
      phrase = random.word(alphabet, 9);
    } else {
      for (int i = random.pick(1, 3); i > 0; --i) {
        phrase += words[random.pick(0, words.size() - 1)];
      }
    }

    const std::optional<std::string> must_start =
        random.maybe_letters(alphabet);
    const std::optional<std::string> only_start =
        random.maybe_letters(alphabet);
    const std::optional<std::string> never_start =
        random.maybe_letters(alphabet);
    SolverConstraints constraints;
    constraints.must_start_with = parse_char_list_to_counts(view(must_start));
    constraints.can_only_ever_start_with =
        parse_char_list_to_set(view(only_start));
    constraints.must_not_start_with = parse_char_list_to_set(view(never_start));
    constraints.max_words = random.maybe<std::uint64_t>(0, 5);
    constraints.min_word_length = random.maybe<std::uint64_t>(0, 3);
    if (random.pick(0, 3) == 0) {
      std::vector<std::string> texts;
      for (int i = random.pick(0, 3); i > 0; --i) {
        texts.push_back(random.word(alphabet, 2));
      }
      constraints.contains_patterns = prepare_patterns(texts);
    }

    const auto literal =
        solve(solver, phrase, constraints, SearchEngine::kLiteral);
    total_solutions += literal.size();
    ASSERT_EQ(solve(solver, phrase, constraints, SearchEngine::kFast), literal)
        << "seed " << seed << " phrase " << phrase;
    ASSERT_EQ(count(solver, phrase, constraints), literal.size())
        << "seed " << seed << " phrase " << phrase;

    // Under a limit: exactly min(limit, all) distinct solutions, all valid.
    constraints.max_solutions = random.pick(0, 4);
    const auto limited =
        solve(solver, phrase, constraints, SearchEngine::kFast);
    ASSERT_EQ(limited.size(),
              std::min<std::size_t>(*constraints.max_solutions, literal.size()))
        << "seed " << seed;
    for (const Solution& solution : limited) {
      ASSERT_TRUE(std::find(literal.begin(), literal.end(), solution) !=
                  literal.end())
          << "seed " << seed;
    }
    ASSERT_EQ(std::set<Solution>(limited.begin(), limited.end()).size(),
              limited.size());
    ASSERT_EQ(count(solver, phrase, constraints), limited.size())
        << "seed " << seed;
  }
  // The generator must produce real searches, not only empty ones.
  EXPECT_GT(total_solutions, 3000u) << total_solutions;
}

// Every word of one to three letters over a few letters: a search of a
// quarter of a million solutions, shared by two walkers from the start.
TEST(FastSearchTest, ALongSearchSharedByTwoWalkersGivesTheSameList) {
  AnagramSolver solver;
  const std::string letters = "abcdef";
  std::vector<std::string> words = {""};
  for (int length = 1; length <= 3; ++length) {
    std::vector<std::string> longer;
    for (const std::string& word : words) {
      if (static_cast<int>(word.size()) != length - 1) continue;
      for (char letter : letters) longer.push_back(word + letter);
    }
    for (const std::string& word : longer) solver.insert(word);
    words.insert(words.end(), longer.begin(), longer.end());
  }
  const std::string phrase = "abbccddeef";
  const CharCounts counts = std::get<CharCounts>(CharCounts::from_str(phrase));
  auto search = [&](const SolverConstraints& constraints,
                    const FastSearchOptions& options,
                    FastSearchReport* report) {
    return run_fast_search(solver.trie(), counts, constraints,
                           prepare_constraints(constraints),
                           std::chrono::steady_clock::now(), options, report)
        .to_vectors();
  };
  FastSearchOptions one_thread;
  one_thread.remainder_search = false;
  FastSearchOptions two_at_once = one_thread;
  two_at_once.second_core = true;
  two_at_once.second_walker_after = {};
  FastSearchReport one;
  const auto alone = search({}, one_thread, &one);
  EXPECT_FALSE(one.second_walker_ran);
  EXPECT_EQ(alone.size(), 242'117u);
  // On a loaded machine the second thread may start only once the first
  // walker has taken every branch; a few tries see both walkers find some.
  bool both_found = false;
  for (int attempt = 0; attempt < 20 && !both_found; ++attempt) {
    FastSearchReport two;
    EXPECT_EQ(search({}, two_at_once, &two), alone);
    EXPECT_TRUE(two.second_walker_ran);
    EXPECT_EQ(two.solutions_by_walker[0] + two.solutions_by_walker[1],
              alone.size());
    both_found =
        two.solutions_by_walker[0] > 0 && two.solutions_by_walker[1] > 0;
  }
  EXPECT_TRUE(both_found);
  EXPECT_EQ(count(solver, phrase, {}, two_at_once), alone.size());
  // The same once the remainder search takes over from one walker or two,
  // and for the count.
  for (FastSearchOptions options : {one_thread, two_at_once}) {
    options.remainder_search = true;
    options.least_walk_before_remainder_search = 1000;
    EXPECT_EQ(search({}, options, nullptr), alone);
    EXPECT_EQ(count(solver, phrase, {}, options), alone.size());
  }
  // Under a solution limit, however high, one walker does it all.
  SolverConstraints limited;
  limited.max_solutions = std::numeric_limits<std::uint64_t>::max() - 1;
  FastSearchReport under_limit;
  EXPECT_EQ(search(limited, two_at_once, &under_limit), alone);
  EXPECT_FALSE(under_limit.second_walker_ran);
}

// Every split of `letters` (all different, ascending) into words of one
// letter and words of two letters in order, each split's words ascending.
void add_splits(const std::string& letters, std::vector<bool>& used,
                Solution& words, std::vector<Solution>* splits) {
  std::size_t first = 0;
  while (first < letters.size() && used[first]) ++first;
  if (first == letters.size()) {
    Solution sorted = words;
    std::sort(sorted.begin(), sorted.end());
    splits->push_back(sorted);
    return;
  }
  used[first] = true;
  words.push_back(std::string(1, letters[first]));
  add_splits(letters, used, words, splits);
  for (std::size_t second = first + 1; second < letters.size(); ++second) {
    if (used[second]) continue;
    used[second] = true;
    words.back() = std::string{letters[first], letters[second]};
    add_splits(letters, used, words, splits);
    used[second] = false;
  }
  words.pop_back();
  used[first] = false;
}

// Twelve different letters, each a word, and every pair of them in order:
// 78 words, so 7-bit ranks, and solutions of ten words or more need more
// than 64 bits as fields; they are kept as multiset numbers instead.
TEST(FastSearchTest, ManyWordSolutionsKeptAsMultisetNumbers) {
  AnagramSolver solver;
  const std::string letters = "abcdefghijkl";
  for (std::size_t first = 0; first < letters.size(); ++first) {
    solver.insert(std::string(1, letters[first]));
    for (std::size_t second = first + 1; second < letters.size(); ++second) {
      solver.insert(std::string{letters[first], letters[second]});
    }
  }
  std::vector<Solution> expected;
  std::vector<bool> used(letters.size(), false);
  Solution words;
  add_splits(letters, used, words, &expected);
  // Result order: fewer words first, then the longer shortest word, then
  // word by word.
  auto shortest = [](const Solution& solution) {
    std::size_t length = solution[0].size();
    for (const std::string& word : solution) {
      length = std::min(length, word.size());
    }
    return length;
  };
  std::sort(expected.begin(), expected.end(),
            [&](const Solution& left, const Solution& right) {
              if (left.size() != right.size())
                return left.size() < right.size();
              if (shortest(left) != shortest(right)) {
                return shortest(left) > shortest(right);
              }
              return left < right;
            });
  ASSERT_EQ(expected.size(), 140'152u);
  EXPECT_EQ(solve(solver, letters, {}, SearchEngine::kFast), expected);
}

TEST(FastSearchTest, LargeCountsUseWiderPacking) {
  // 'a' x 40 and every letter of the alphabet: more fields than one word
  // holds, and counts that need several bits.
  AnagramSolver solver;
  solver.insert("abcdefghijklmnopqrstuvwxyz");
  solver.insert("aaaa");
  std::string phrase = "abcdefghijklmnopqrstuvwxyz" + std::string(40, 'a');
  const auto literal = solve(solver, phrase, {}, SearchEngine::kLiteral);
  ASSERT_EQ(literal.size(), 1u);
  EXPECT_EQ(solve(solver, phrase, {}, SearchEngine::kFast), literal);

  std::string all_letters;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    all_letters += std::string(3000, letter);
  }
  AnagramSolver wide;
  wide.insert("abcdefghijklmnopqrstuvwxyz");
  const auto solutions = solve(wide, all_letters, {}, SearchEngine::kFast);
  ASSERT_EQ(solutions.size(), 1u);
  EXPECT_EQ(solutions[0].size(), 3000u);
}

// Every substring of "abcdefghijkl", 78 patterns: more than one machine word
// tracks, so the walk prunes on the 64 held by the fewest words and checks
// the rest on each combination.
TEST(FastSearchTest, MorePatternsThanAMachineWordMatchTheLiteralSearch) {
  AnagramSolver solver;
  for (const char* word :
       {"abcdefghijkl", "abcdef", "ghijkl", "mnop", "qrst", "uvwx", "mnopqrst",
        "mnopqrstuvwx", "mn", "op", "qr", "st", "uv", "wx", "nm", "po"}) {
    solver.insert(word);
  }
  const std::string word = "abcdefghijkl";
  std::vector<std::string> texts;
  for (std::size_t begin = 0; begin < word.size(); ++begin) {
    for (std::size_t end = begin + 1; end <= word.size(); ++end) {
      texts.push_back(word.substr(begin, end - begin));
    }
  }
  ASSERT_EQ(texts.size(), 78u);
  SolverConstraints constraints;
  constraints.contains_patterns = prepare_patterns(texts);
  const std::string phrase = "abcdefghijklmnopqrstuvwx";
  const auto fast = solve(solver, phrase, constraints, SearchEngine::kFast);
  EXPECT_EQ(fast, solve(solver, phrase, constraints, SearchEngine::kLiteral));
  EXPECT_EQ(fast.front(), (Solution{"abcdefghijkl", "mnopqrstuvwx"}));
  EXPECT_GT(fast.size(), 10u);
  // Held by four words, more than any substring of the long word: not
  // tracked, so met only by the check on each combination.
  constraints.contains_patterns->push_back(prepare_patterns({"mn"}).front());
  const auto with_mn = solve(solver, phrase, constraints, SearchEngine::kFast);
  EXPECT_EQ(with_mn,
            solve(solver, phrase, constraints, SearchEngine::kLiteral));
  EXPECT_LT(with_mn.size(), fast.size());
  EXPECT_GT(with_mn.size(), 1u);
}

}  // namespace
}  // namespace vorpalyx
