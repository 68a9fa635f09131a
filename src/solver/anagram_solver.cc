#include "solver/anagram_solver.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "char_utils/fold.h"
#include "solver/composed_search.h"
#include "solver/fast_search.h"
#include "solver/literal_search.h"
#include "solver/prepared_constraints.h"
#include "solver/ranked_search.h"
#include "solver/result_order.h"
#include "solver/trace_format.h"
#include "solver/trace_log.h"

namespace vorpalyx {

void AnagramSolver::load_dictionary_from_text(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) {
      trie_.insert(text);
      return;
    }
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    trie_.insert(line);
    text.remove_prefix(end + 1);
  }
}

void AnagramSolver::add_word(std::string_view word, bool fold) {
  std::string folded;
  std::string spelling;
  add_word(word, fold, &folded, &spelling);
}

void AnagramSolver::add_word(std::string_view word, bool fold,
                             std::string* folded, std::string* spelling) {
  // Plain ASCII folds to its letters a-z, which are then its spelling too.
  const bool plain = !fold || std::all_of(word.begin(), word.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80;
  });
  if (plain && spellings_.empty()) {
    trie_.insert(word);
  } else if (plain) {
    spellings_.add_plain(trie_, word);
  } else {
    fold_word(word, folded, spelling);
    spellings_.add(trie_, *folded, *spelling);
  }
}

void AnagramSolver::load_words_from_text(std::string_view text, bool fold) {
  if (!fold && spellings_.empty()) {
    load_dictionary_from_text(text);
    return;
  }
  // Room for the spellings of a text with letters outside ASCII, so that
  // the tables grow without copying themselves over and over.
  if (fold && std::any_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80;
      })) {
    spellings_.reserve(trie_, text.size());
  }
  std::string folded;
  std::string spelling;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    add_word(line, fold, &folded, &spelling);
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
}

bool AnagramSolver::holds_spelling(std::string_view word) const {
  std::string folded;
  std::string spelling;
  fold_word(word, &folded, &spelling);
  return spellings_.holds(trie_, folded, spelling);
}

FastSearchOptions AnagramSolver::spelt(const FastSearchOptions& options) const {
  FastSearchOptions spelt_options = options;
  if (!spellings_.empty()) spelt_options.spellings = &spellings_;
  return spelt_options;
}

SolutionList AnagramSolver::solve(std::string_view phrase,
                                  const SolverConstraints& constraints,
                                  const FinishCosts& finish_costs,
                                  bool* traced) const {
  const std::unique_ptr<TraceLog> log = TraceLog::open_if_enabled();
  if (traced != nullptr) *traced = log != nullptr;
  if (log) {
    log->line("--- Solving for phrase: '", phrase, "' ---\n");
    std::string constraints_text;
    append_constraints(constraints_text, constraints);
    log->line("Constraints: ", constraints_text, "\n");
  }
  return run(phrase, constraints,
             log ? SearchEngine::kLiteral : SearchEngine::kFast, finish_costs,
             log.get());
}

SolutionList AnagramSolver::solve_with_engine(
    std::string_view phrase, const SolverConstraints& constraints,
    SearchEngine engine) const {
  return run(phrase, constraints, engine, {}, nullptr);
}

namespace {

// The letters of a phrase, which may be none when it has blanks; nothing
// for a phrase with a letter outside a-z or an empty dictionary (it has no
// shortest word).
std::optional<CharCounts> composable_counts(std::string_view phrase,
                                            const Trie& trie) {
  auto counted = CharCounts::from_str(phrase);
  if (!std::holds_alternative<CharCounts>(counted) ||
      trie.min_dict_word_len() == std::numeric_limits<std::uint64_t>::max()) {
    return std::nullopt;
  }
  return std::get<CharCounts>(std::move(counted));
}

// The same, and nothing for a phrase without letters either.
std::optional<CharCounts> searchable_counts(std::string_view phrase,
                                            const Trie& trie) {
  std::optional<CharCounts> counts = composable_counts(phrase, trie);
  if (counts && counts->is_empty()) return std::nullopt;
  return counts;
}

}  // namespace

namespace {

// `composed(letters, start)` for a composed search, else `plain(letters,
// start)`, with the phrase's letters and the time the call started; the
// empty result when no search can find a solution.
template <typename Result, typename Composed, typename Plain>
Result on_letters(std::string_view phrase, const Trie& trie,
                  const ExtendedConstraints& extended, Composed&& composed,
                  Plain&& plain) {
  const auto start = std::chrono::steady_clock::now();
  const bool composes = extended.composes();
  const std::optional<CharCounts> counts =
      composes ? composable_counts(phrase, trie)
               : searchable_counts(phrase, trie);
  if (!counts) return {};
  return composes ? composed(*counts, start) : plain(*counts, start);
}

}  // namespace

SolutionList AnagramSolver::search(std::string_view phrase,
                                   const SolverConstraints& constraints,
                                   const FastSearchOptions& options,
                                   const ExtendedConstraints& extended) const {
  return on_letters<SolutionList>(
      phrase, trie_, extended,
      [&](const CharCounts& counts, auto start) {
        return composed_search(trie_, counts, constraints, extended, start,
                               spelt(options));
      },
      [&](const CharCounts& counts, auto start) {
        return run_fast_search(trie_, counts, constraints,
                               prepare_constraints(constraints, extended),
                               start, spelt(options));
      });
}

SolutionCount AnagramSolver::count(std::string_view phrase,
                                   const SolverConstraints& constraints,
                                   const FastSearchOptions& options,
                                   const ExtendedConstraints& extended) const {
  SolutionCount count = on_letters<SolutionCount>(
      phrase, trie_, extended,
      [&](const CharCounts& counts, auto start) {
        return composed_count(trie_, counts, constraints, extended, start,
                              spelt(options));
      },
      [&](const CharCounts& counts, auto start) {
        return count_fast_search(trie_, counts, constraints,
                                 prepare_constraints(constraints, extended),
                                 start, spelt(options));
      });
  // The searches take a limit of 2^64 - 1 for none; a count may pass it.
  if (constraints.max_solutions &&
      (count.saturated || count.solutions > *constraints.max_solutions)) {
    count = {.solutions = *constraints.max_solutions};
  }
  return count;
}

std::vector<RankedSolution> AnagramSolver::best(
    std::string_view phrase, const SolverConstraints& constraints,
    const WordWeights& weights, std::uint64_t k,
    const FastSearchOptions& options,
    const ExtendedConstraints& extended) const {
  return on_letters<std::vector<RankedSolution>>(
      phrase, trie_, extended,
      [&](const CharCounts& counts, auto start) {
        return composed_best(trie_, counts, constraints, extended, weights, k,
                             start, spelt(options));
      },
      [&](const CharCounts& counts, auto start) {
        return run_ranked_search(trie_, counts, constraints,
                                 prepare_constraints(constraints, extended),
                                 weights, k, start, spelt(options));
      });
}

ScoredList AnagramSolver::search_by_score(
    std::string_view phrase, const SolverConstraints& constraints,
    const WordWeights& weights, const FastSearchOptions& options,
    const ExtendedConstraints& extended) const {
  if (extended.composes()) {
    return on_letters<ScoredList>(
        phrase, trie_, extended,
        [&](const CharCounts& counts, auto start) {
          return composed_search_by_score(trie_, counts, constraints, extended,
                                          weights, start, spelt(options));
        },
        [](const CharCounts&, auto) { return ScoredList(); });
  }
  // Under a time limit the search leaves room for the reordering too, and
  // its memory budget counts what the reordering holds at its largest: the
  // solutions as rows twice over (read out, and copied in score order), and
  // a score and position of each, then the scores kept.
  FastSearchOptions reordering = options;
  reordering.finish_costs.seconds_per_solution += kScoreOrderSecondsPerSolution;
  reordering.finish_costs.bytes_per_solution += 3 * sizeof(std::int64_t);
  reordering.finish_costs.bytes_per_word += 2 * sizeof(std::uint32_t);
  return order_by_score(search(phrase, constraints, reordering, extended),
                        weights, options.second_core);
}

SolutionList AnagramSolver::run(std::string_view phrase,
                                const SolverConstraints& constraints,
                                SearchEngine engine,
                                const FinishCosts& finish_costs,
                                TraceLog* log) const {
  const std::optional<CharCounts> counts = searchable_counts(phrase, trie_);
  if (!counts) return {};
  const CharCounts& phrase_counts = *counts;

  if (engine == SearchEngine::kFast) {
    FastSearchOptions options;  // one thread: the caller's
    options.finish_costs = finish_costs;
    return run_fast_search(trie_, phrase_counts, constraints,
                           prepare_constraints(constraints),
                           std::chrono::steady_clock::now(), options);
  }
  SearchState state;
  if (constraints.contains_patterns) {
    state.pattern_mask.emplace(constraints.contains_patterns->size(), false);
  }
  state.start_time = std::chrono::steady_clock::now();
  std::vector<Solution> solutions =
      run_literal_search(trie_, phrase_counts, constraints, state, log);
  if (log) log->line("--- Solve function finished ---\n");
  return make_solution_list(std::move(solutions));
}

}  // namespace vorpalyx
