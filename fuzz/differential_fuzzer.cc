// Differential fuzzing of the two search engines against a brute-force
// oracle.
//
// The input builds a dictionary of at most 12 entries and a phrase, either
// small (entries of up to 5 letters over up to 6 letters, some written with
// capitals and punctuation; a phrase of up to 12 letters) or wide (up to 26
// distinct letters with counts up to about 600, so that the fast
// engine's packed counts take several machine words; entries cut from the
// phrase), and a set of constraints (every kind; time limits only of the
// kinds that decide the outcome at once: negative, infinite or NaN). The
// oracle enumerates every multiset of dictionary words that spells the
// phrase and filters it by the constraints. Without a solution limit both
// engines must return exactly the oracle's list; with one, each must return
// min(limit, all) distinct solutions in result order, each of them the
// oracle's. Small searches also run through AnagramSolver::solve with the
// trace switched on (written to /dev/null), which must not change the
// result. The ranked search, with fuzzed weights and k, must return the
// oracle's list sorted by score and cut to k. Inputs whose literal search would
// walk more than kMaxSearchedPaths partial paths, or too many trie steps, are
// rejected, so every run stays fast.

#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "char_utils/char_counts.h"
#include "char_utils/letter_lists.h"
#include "char_utils/normalize.h"
#include "fuzz_check.h"
#include "solver/anagram_solver.h"
#include "solver/prepare_patterns.h"
#include "solver/score_order.h"
#include "solver/search_records.h"
#include "solver/word_weights.h"

namespace {

using vorpalyx::CharCounts;
using vorpalyx::Solution;
using vorpalyx::SolverConstraints;

using LetterArray = std::array<std::uint64_t, vorpalyx::kAlphabetSize>;

constexpr std::size_t kMaxWords = 12;
constexpr std::size_t kMaxPhraseLetters = 12;
constexpr std::uint64_t kMaxSearchedPaths = 20000;
// Paths times the letters of the dictionary: a bound on the trie steps of
// the literal search, for the whole search and for a traced one (every step
// of which writes a line).
constexpr std::uint64_t kMaxSearchWork = 200'000;
constexpr std::uint64_t kMaxTracedWork = 3000;

struct Case {
  std::vector<std::string> entries;  // as written, before normalisation
  std::string phrase;
  SolverConstraints constraints;
};

// The letters a case is written in: a few of a..z, in a fuzzed order.
std::vector<char> read_alphabet(FuzzedDataProvider& input,
                                std::size_t max_size) {
  std::vector<char> letters;
  for (char letter = 'a'; letter <= 'z'; ++letter) letters.push_back(letter);
  const auto size =
      max_size - input.ConsumeIntegralInRange<std::size_t>(0, max_size - 1);
  for (std::size_t i = 0; i < size; ++i) {
    std::swap(letters[i], letters[input.ConsumeIntegralInRange<std::size_t>(
                              i, letters.size() - 1)]);
  }
  letters.resize(size);
  return letters;
}

char letter_from(FuzzedDataProvider& input, const std::vector<char>& alphabet,
                 bool capital) {
  const char letter = alphabet[input.ConsumeIntegralInRange<std::size_t>(
      0, alphabet.size() - 1)];
  return capital ? static_cast<char>(letter - 'a' + 'A') : letter;
}

std::string letter_list(FuzzedDataProvider& input,
                        const std::vector<char>& alphabet,
                        std::size_t max_length) {
  std::string text;
  const std::size_t length =
      input.ConsumeIntegralInRange<std::size_t>(0, max_length);
  for (std::size_t i = 0; i < length; ++i) {
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
      case 0:
        text += ',';
        break;
      case 1:
        text += letter_from(input, alphabet, true);
        break;
      default:
        text += letter_from(input, alphabet, false);
    }
  }
  return text;
}

// A letter count for a wide case, often 2^width - 1 or just above, where the
// width of a packed count changes.
std::uint64_t read_count(FuzzedDataProvider& input, int width) {
  switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return (std::uint64_t{1} << width) - 1 +
             input.ConsumeIntegralInRange<std::uint64_t>(0, 2);
    case 1:
      return input.ConsumeIntegralInRange<std::uint64_t>(1, 3);
    case 2:
      return input.ConsumeIntegralInRange<std::uint64_t>(1, 600);
    default:
      return input.ConsumeIntegralInRange<std::uint64_t>(1, 15);
  }
}

// Small case: up to 12 dictionary entries of up to 5 letters over up to 6
// letters, some with capitals and hyphens, and a phrase of up to 12 letters.
void read_small_words(FuzzedDataProvider& input,
                      const std::vector<char>& alphabet, Case& c) {
  const std::size_t entry_count =
      input.ConsumeIntegralInRange<std::size_t>(0, kMaxWords);
  for (std::size_t i = 0; i < entry_count; ++i) {
    std::string entry;
    const int length = input.ConsumeIntegralInRange<int>(1, 5);
    for (int k = 0; k < length; ++k) {
      if (input.ConsumeIntegralInRange<int>(0, 9) == 0) entry += '-';
      entry += letter_from(input, alphabet, input.ConsumeBool());
    }
    c.entries.push_back(entry);
  }
  const std::size_t phrase_letters =
      input.ConsumeIntegralInRange<std::size_t>(0, kMaxPhraseLetters);
  for (std::size_t i = 0; i < phrase_letters; ++i) {
    if (input.ConsumeIntegralInRange<int>(0, 5) == 0) c.phrase += ' ';
    c.phrase += letter_from(input, alphabet, input.ConsumeBool());
  }
}

// Wide case: up to 26 distinct letters with counts up to about 600,
// so that packed counts span several machine words; the dictionary holds
// pieces of the phrase (so that solutions exist) and runs of letters. Input
// that runs out gives the widest case: every letter 511 times (a machine
// word per letter), the phrase one word.
void read_wide_words(FuzzedDataProvider& input,
                     const std::vector<char>& alphabet, Case& c) {
  const int width = 9 - input.ConsumeIntegralInRange<int>(0, 8);
  std::vector<std::uint64_t> counts;
  for (char letter : alphabet) {
    counts.push_back(read_count(input, width));
    c.phrase.append(counts.back(), input.ConsumeIntegralInRange(0, 7) == 0
                                       ? static_cast<char>(letter - 'a' + 'A')
                                       : letter);
  }
  const auto parts = 4 - input.ConsumeIntegralInRange<std::size_t>(0, 4);
  std::vector<std::uint64_t> rest = counts;
  for (std::size_t part = 0; part < parts; ++part) {
    std::string word;
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
      const std::uint64_t take =
          part + 1 == parts
              ? rest[i]
              : input.ConsumeIntegralInRange<std::uint64_t>(0, rest[i]);
      rest[i] -= take;
      word.append(take, alphabet[i]);
    }
    if (word.empty()) continue;
    std::rotate(word.begin(),
                word.begin() + input.ConsumeIntegralInRange<std::size_t>(
                                   0, word.size() - 1),
                word.end());
    c.entries.push_back(word);
  }
  while (c.entries.size() < kMaxWords && input.ConsumeBool()) {
    std::string word;
    const int runs = input.ConsumeIntegralInRange<int>(1, 3);
    for (int run = 0; run < runs; ++run) {
      const auto i =
          input.ConsumeIntegralInRange<std::size_t>(0, alphabet.size() - 1);
      word.append(std::min(read_count(input, width), counts[i]), alphabet[i]);
    }
    c.entries.push_back(word);
  }
}

// Contains-patterns, prepared as the module prepares them: letter lists, or
// pieces of dictionary entries so that some are met; now and then more than
// 64 distinct ones.
std::vector<vorpalyx::ProcessedPattern> read_patterns(
    FuzzedDataProvider& input, const std::vector<char>& alphabet,
    const std::vector<std::string>& entries) {
  std::vector<std::string> texts;
  const int count = input.ConsumeIntegralInRange(0, 15) == 0
                        ? input.ConsumeIntegralInRange(60, 70)
                        : input.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < count; ++i) {
    if (!entries.empty() && input.ConsumeBool()) {
      const std::string word = vorpalyx::normalize_word(
          entries[input.ConsumeIntegralInRange<std::size_t>(
              0, entries.size() - 1)]);
      if (word.empty()) continue;
      const auto begin =
          input.ConsumeIntegralInRange<std::size_t>(0, word.size() - 1);
      texts.push_back(word.substr(
          begin, input.ConsumeIntegralInRange<std::size_t>(
                     1, std::min<std::size_t>(4, word.size() - begin))));
    } else {
      texts.push_back(letter_list(input, alphabet, 3));
    }
  }
  return vorpalyx::prepare_patterns(texts);
}

Case read_case(FuzzedDataProvider& input) {
  Case c;
  const bool wide = input.ConsumeIntegralInRange(0, 3) == 3;
  const std::vector<char> alphabet = read_alphabet(input, wide ? 26 : 6);
  if (wide) {
    read_wide_words(input, alphabet, c);
  } else {
    read_small_words(input, alphabet, c);
  }
  if (input.ConsumeIntegralInRange<int>(0, 15) == 15) c.phrase += "\xc3\xa9";

  SolverConstraints& constraints = c.constraints;
  auto present = [&input] { return input.ConsumeIntegralInRange(0, 3) == 3; };
  if (present()) {
    constraints.must_start_with =
        vorpalyx::parse_char_list_to_counts(letter_list(input, alphabet, 3));
  }
  if (present()) {
    constraints.can_only_ever_start_with =
        vorpalyx::parse_char_list_to_set(letter_list(input, alphabet, 4));
  }
  if (present()) {
    constraints.must_not_start_with =
        vorpalyx::parse_char_list_to_set(letter_list(input, alphabet, 3));
  }
  if (present()) {
    constraints.max_words = input.ConsumeIntegralInRange(0, wide ? 40 : 6);
  }
  if (present()) {
    constraints.min_word_length =
        input.ConsumeIntegralInRange(0, wide ? 600 : 5);
  }
  if (present()) {
    static constexpr double kTimeouts[] = {
        -1.0, -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN()};
    constraints.timeout_seconds = kTimeouts[input.ConsumeIntegralInRange(0, 3)];
  }
  if (present()) constraints.max_solutions = input.ConsumeIntegralInRange(0, 8);
  if (present()) {
    constraints.contains_patterns = read_patterns(input, alphabet, c.entries);
  }
  return c;
}

CharCounts counts_of_word(const std::string& word) {
  return std::get<CharCounts>(CharCounts::from_str(word));
}

// The number of ordered word sequences whose letters fit into `remaining`:
// the number of backtrack calls of a literal search without constraints.
std::uint64_t searched_paths(const std::vector<CharCounts>& words,
                             const CharCounts& remaining,
                             std::map<LetterArray, std::uint64_t>& memo) {
  const auto found = memo.find(remaining.counts);
  if (found != memo.end()) return found->second;
  std::uint64_t paths = 1;
  for (const CharCounts& word : words) {
    if (!remaining.can_subtract(word)) continue;
    CharCounts rest = remaining;
    for (std::size_t i = 0; i < vorpalyx::kAlphabetSize; ++i) {
      rest[i] -= word[i];
    }
    paths += searched_paths(words, rest, memo);
    if (paths > kMaxSearchedPaths) break;
  }
  memo.emplace(remaining.counts, paths);
  return paths;
}

bool satisfies(const Solution& solution, const SolverConstraints& c) {
  if (c.max_words && solution.size() > *c.max_words) return false;
  std::map<char32_t, std::uint64_t> starts;
  for (const std::string& word : solution) {
    if (c.min_word_length && word.size() < *c.min_word_length) return false;
    const char32_t start = static_cast<unsigned char>(word[0]);
    if (c.can_only_ever_start_with &&
        !c.can_only_ever_start_with->contains(start)) {
      return false;
    }
    if (c.must_not_start_with && c.must_not_start_with->contains(start)) {
      return false;
    }
    ++starts[start];
  }
  if (c.must_start_with) {
    for (const auto& [letter, needed] : *c.must_start_with) {
      if (starts[letter] < needed) return false;
    }
  }
  if (c.contains_patterns) {
    for (const vorpalyx::ProcessedPattern& pattern : *c.contains_patterns) {
      if (std::none_of(solution.begin(), solution.end(),
                       [&](const std::string& word) {
                         return word.find(pattern.text) != std::string::npos;
                       })) {
        return false;
      }
    }
  }
  return true;
}

// Every multiset of `words` (sorted, distinct) spelling `remaining`, each
// listed once with its words in ascending order.
void enumerate(const std::vector<std::string>& words,
               const std::vector<CharCounts>& counts, std::size_t first,
               CharCounts& remaining, Solution& chosen,
               std::vector<Solution>& out) {
  if (remaining.is_empty()) {
    out.push_back(chosen);
    return;
  }
  for (std::size_t i = first; i < words.size(); ++i) {
    if (!remaining.can_subtract(counts[i])) continue;
    for (std::size_t k = 0; k < vorpalyx::kAlphabetSize; ++k) {
      remaining[k] -= counts[i][k];
    }
    chosen.push_back(words[i]);
    enumerate(words, counts, i, remaining, chosen, out);
    chosen.pop_back();
    for (std::size_t k = 0; k < vorpalyx::kAlphabetSize; ++k) {
      remaining[k] += counts[i][k];
    }
  }
}

bool comes_before(const Solution& left, const Solution& right) {
  if (left.size() != right.size()) return left.size() < right.size();
  auto shortest = [](const Solution& solution) {
    std::size_t length = std::numeric_limits<std::size_t>::max();
    for (const std::string& word : solution) {
      length = std::min(length, word.size());
    }
    return length;
  };
  if (shortest(left) != shortest(right)) {
    return shortest(left) > shortest(right);
  }
  return left < right;
}

std::vector<Solution> checked_vectors(const vorpalyx::SolutionList& list) {
  std::vector<Solution> solutions = list.to_vectors();
  FUZZ_CHECK(solutions.size() == list.size());
  for (const Solution& solution : solutions) FUZZ_CHECK(!solution.empty());
  return solutions;
}

void check_limited(const std::vector<Solution>& result,
                   const std::vector<Solution>& all, std::uint64_t limit) {
  FUZZ_CHECK(result.size() == std::min<std::uint64_t>(limit, all.size()));
  for (std::size_t i = 0; i < result.size(); ++i) {
    FUZZ_CHECK(
        std::binary_search(all.begin(), all.end(), result[i], comes_before));
    if (i > 0) FUZZ_CHECK(comes_before(result[i - 1], result[i]));
  }
}

// The ranked search with fuzzed weights (few distinct ones, so ties are
// common; some words left at the floor) and k: the oracle's list stably
// sorted by score, descending, and cut to k.
void check_ranked(FuzzedDataProvider& input,
                  const vorpalyx::AnagramSolver& solver,
                  const std::vector<std::string>& words,
                  const std::string& phrase,
                  const SolverConstraints& constraints,
                  const std::vector<Solution>& expected) {
  vorpalyx::WordWeights weights;
  for (const std::string& word : words) {
    if (input.ConsumeIntegralInRange<int>(0, 4) != 0) {
      weights.name(word, -input.ConsumeIntegralInRange<int>(0, 3) * 37);
    }
  }
  weights.set_floor();
  std::vector<vorpalyx::RankedSolution> ranked;
  for (const Solution& solution : expected) {
    std::int64_t score = 0;
    for (const std::string& word : solution) score += weights.weight_of(word);
    ranked.push_back({score, solution, {}});
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const vorpalyx::RankedSolution& left,
                      const vorpalyx::RankedSolution& right) {
                     return left.score > right.score;
                   });
  const auto k =
      input.ConsumeIntegralInRange<std::size_t>(0, ranked.size() + 1);
  ranked.resize(std::min(k, ranked.size()));
  FUZZ_CHECK(solver.best(phrase, constraints, weights, k, {}) == ranked);
}

// A scratch directory whose trace file is a link to /dev/null, removed when
// the process exits.
const std::string& trace_directory() {
  static const std::string directory = [] {
    char pattern[] = "/tmp/vorpalyx-fuzz-XXXXXX";
    FUZZ_CHECK(::mkdtemp(pattern) != nullptr);
    const std::string made = pattern;
    FUZZ_CHECK(::symlink("/dev/null",
                         (made + "/anagram_solver_debug.log").c_str()) == 0);
    return made;
  }();
  static const int cleanup = std::atexit([] {
    ::unlink((directory + "/anagram_solver_debug.log").c_str());
    ::rmdir(directory.c_str());
  });
  (void)cleanup;
  return directory;
}

// AnagramSolver::solve with ANAGRAM_DEBUG_LOG set, run from the scratch
// directory.
vorpalyx::SolutionList traced_solve(const vorpalyx::AnagramSolver& solver,
                                    const std::string& phrase,
                                    const SolverConstraints& constraints) {
  const int working_directory = ::open(".", O_RDONLY | O_DIRECTORY);
  FUZZ_CHECK(working_directory >= 0);
  FUZZ_CHECK(::chdir(trace_directory().c_str()) == 0);
  ::setenv("ANAGRAM_DEBUG_LOG", "", 1);
  vorpalyx::SolutionList result = solver.solve(phrase, constraints);
  ::unsetenv("ANAGRAM_DEBUG_LOG");
  FUZZ_CHECK(::fchdir(working_directory) == 0);
  ::close(working_directory);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzedDataProvider input(data, size);
  const Case c = read_case(input);

  vorpalyx::AnagramSolver solver;
  std::set<std::string> dictionary;
  for (const std::string& entry : c.entries) {
    solver.insert(entry);
    const std::string word = vorpalyx::normalize_word(entry);
    if (!word.empty()) dictionary.insert(word);
  }
  const std::vector<std::string> words(dictionary.begin(), dictionary.end());
  std::vector<CharCounts> word_counts;
  std::uint64_t dictionary_letters = 0;
  for (const std::string& word : words) {
    word_counts.push_back(counts_of_word(word));
    dictionary_letters += word.size();
  }

  std::vector<Solution> expected;
  std::uint64_t work = 0;
  const auto phrase_counts = CharCounts::from_str(c.phrase);
  const auto& timeout = c.constraints.timeout_seconds;
  const bool times_out_at_once = timeout && *timeout < 0;
  if (std::holds_alternative<CharCounts>(phrase_counts)) {
    CharCounts remaining = std::get<CharCounts>(phrase_counts);
    std::map<LetterArray, std::uint64_t> memo;
    const std::uint64_t paths = searched_paths(word_counts, remaining, memo);
    if (paths > kMaxSearchedPaths) return -1;
    work = paths * (dictionary_letters + 1);
    if (work > kMaxSearchWork) return -1;
    if (!remaining.is_empty() && !times_out_at_once) {
      Solution chosen;
      std::vector<Solution> spelled;
      enumerate(words, word_counts, 0, remaining, chosen, spelled);
      for (Solution& solution : spelled) {
        if (satisfies(solution, c.constraints)) {
          expected.push_back(std::move(solution));
        }
      }
    }
  }
  std::sort(expected.begin(), expected.end(), comes_before);

  SolverConstraints unlimited = c.constraints;
  unlimited.max_solutions.reset();
  for (vorpalyx::SearchEngine engine :
       {vorpalyx::SearchEngine::kLiteral, vorpalyx::SearchEngine::kFast}) {
    FUZZ_CHECK(checked_vectors(solver.solve_with_engine(c.phrase, unlimited,
                                                        engine)) == expected);
    if (c.constraints.max_solutions) {
      check_limited(checked_vectors(solver.solve_with_engine(
                        c.phrase, c.constraints, engine)),
                    expected, *c.constraints.max_solutions);
    }
  }
  check_ranked(input, solver, words, c.phrase, unlimited, expected);
  if (work <= kMaxTracedWork) {
    FUZZ_CHECK(checked_vectors(traced_solve(solver, c.phrase, unlimited)) ==
               expected);
    if (c.constraints.max_solutions) {
      check_limited(
          checked_vectors(traced_solve(solver, c.phrase, c.constraints)),
          expected, *c.constraints.max_solutions);
    }
  }
  return 0;
}
