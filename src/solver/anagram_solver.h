// AnagramSolver: the dictionary and the solve driver.
//
// The solver holds one Trie and, for words loaded folded, their spellings
// (spellings.h), which search, count and best give in place of the letters;
// Solver never folds, so its solver holds none. The dictionary only grows, and
// a solve only reads it, so solves may follow each other with any arguments.
// `solve` never fails: a phrase without letters, a phrase with a non-ASCII
// letter and an empty dictionary all give an empty result, and the time and
// solution limits end a search early with what was found.
//
// Cost: loading is linear in the text; a solve costs what its search does
// (fast_search.h, literal_search.h).
//
// Tested by tests/cpp/solver/anagram_solver_test.cc, time_limit_test.cc,
// memory_bound_test.cc, memory_budget_test.cc and spellings_test.cc.

#ifndef VORPALYX_SOLVER_ANAGRAM_SOLVER_H_
#define VORPALYX_SOLVER_ANAGRAM_SOLVER_H_

#include <string>
#include <string_view>
#include <vector>

#include "solver/fast_search.h"
#include "solver/score_order.h"
#include "solver/search_records.h"
#include "solver/search_stop.h"
#include "solver/solution_list.h"
#include "solver/spellings.h"
#include "solver/trace_log.h"
#include "solver/word_weights.h"
#include "trie/trie.h"

namespace vorpalyx {

// The two searches: the literal one walks step by step and is the one that
// traces; the fast one returns exactly the same list for every search that
// runs to its end.
enum class SearchEngine { kLiteral, kFast };

class AnagramSolver {
 public:
  // Stores each line of `text` as one word. Lines end at '\n', with a '\r'
  // just before it removed too; a final line without '\n' counts when it is
  // not empty.
  void load_dictionary_from_text(std::string_view text);

  void insert(std::string_view word) { trie_.insert(word); }

  // Stores `word` folded (char_utils/fold.h) and keeps its spelling; without
  // `fold`, as insert() does, its spelling then being its letters a-z.
  void add_word(std::string_view word, bool fold);
  // add_word for each line of `text`, read as load_dictionary_from_text.
  void load_words_from_text(std::string_view text, bool fold);

  // The number of distinct spellings held, and whether `word` is one of
  // them (Spellings::holds).
  std::size_t spelling_count() const { return spellings_.count(trie_); }
  bool holds_spelling(std::string_view word) const;

  const Trie& trie() const { return trie_; }

  // Every combination of dictionary words that spells exactly the letters of
  // `phrase` and meets `constraints`, in result order, on the calling thread.
  // Writes the trace when ANAGRAM_DEBUG_LOG is set. Untraced, a time limit
  // leaves room for what each solution costs the caller afterwards
  // (`finish_costs`), and a result that would not fit in memory throws
  // ResultTooLarge. `traced`, when given, tells whether the trace was
  // written (then the literal search ran, under the literal limits).
  SolutionList solve(std::string_view phrase,
                     const SolverConstraints& constraints,
                     const FinishCosts& finish_costs = {},
                     bool* traced = nullptr) const;

  // The fast search alone, never traced, with the caller's options (threads,
  // finish costs, interrupt poll): without `extended`, exactly what an
  // untraced solve returns. Throws as run_fast_search does (fast_search.h),
  // and TooManyVariants (composed_search.h).
  SolutionList search(std::string_view phrase,
                      const SolverConstraints& constraints,
                      const FastSearchOptions& options,
                      const ExtendedConstraints& extended = {}) const;

  // The number of solutions `search` would return, found without storing
  // them (count_fast_search).
  SolutionCount count(std::string_view phrase,
                      const SolverConstraints& constraints,
                      const FastSearchOptions& options,
                      const ExtendedConstraints& extended = {}) const;

  // The `k` best solutions of what `search` would return, by the score
  // `weights` give them, best first (run_ranked_search).
  std::vector<RankedSolution> best(
      std::string_view phrase, const SolverConstraints& constraints,
      const WordWeights& weights, std::uint64_t k,
      const FastSearchOptions& options,
      const ExtendedConstraints& extended = {}) const;

  // What `search` returns, in score order, with each solution's score.
  ScoredList search_by_score(std::string_view phrase,
                             const SolverConstraints& constraints,
                             const WordWeights& weights,
                             const FastSearchOptions& options,
                             const ExtendedConstraints& extended = {}) const;

  // One engine, never traced; for tests and benchmarks.
  SolutionList solve_with_engine(std::string_view phrase,
                                 const SolverConstraints& constraints,
                                 SearchEngine engine) const;

 private:
  SolutionList run(std::string_view phrase,
                   const SolverConstraints& constraints, SearchEngine engine,
                   const FinishCosts& finish_costs, TraceLog* log) const;

  // add_word with buffers for the folded letters and the spelling.
  void add_word(std::string_view word, bool fold, std::string* folded,
                std::string* spelling);
  // The options of a search, with this dictionary's spellings.
  FastSearchOptions spelt(const FastSearchOptions& options) const;

  Trie trie_;
  Spellings spellings_;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_ANAGRAM_SOLVER_H_
