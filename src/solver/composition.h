// Composition: the plan of a composed search, made before its searches run.
//
// The included words' letters are taken from the phrase, and the
// constraints adjusted for them (the word counts and lengths they use, the
// patterns and start letters they meet); a constraint they break makes the
// plan impossible. The letters left, the blanks and the letters that may be
// left over then give the variants (letter_variants.h), one fast search each,
// which for_each_variant runs, on two threads when allowed.
//
// Invariant: every variant's letters are the phrase's less the included
// words', with its blanks added and its leftover letters taken away; the
// included words are sorted and shown as the dictionary spells them. Cost:
// a fold and a trie lookup per included word, then the variants
// (letter_variants.h).
//
// Tested through the composed search: tests/cpp/solver/composed_search_test.cc
// and, against a brute force, tests/python/test_constraints.py.

#ifndef VORPALYX_SOLVER_COMPOSITION_H_
#define VORPALYX_SOLVER_COMPOSITION_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/fast_search.h"
#include "solver/letter_variants.h"
#include "solver/prepared_constraints.h"
#include "solver/search_records.h"
#include "solver/search_stop.h"
#include "solver/spellings.h"
#include "solver/two_threads.h"
#include "trie/trie.h"

namespace vorpalyx {

// Everything a composed search needs before its searches run.
struct Composition {
  bool impossible = false;
  std::vector<std::string> include;  // ascending
  // For the words beside the included ones.
  SolverConstraints rest;
  ExtendedConstraints rest_extended;
  PreparedConstraints prepared;
  // Whether the included words alone, with no word beside them, meet every
  // constraint.
  bool include_alone = false;
  std::vector<std::uint64_t> lengths;  // the enumeration, if any
  std::vector<Variant> variants;
};

// The plan for `phrase` (its letters) with `constraints` and `extended`;
// included words are shown as `spellings` spell them (null: as their
// letters). Throws TooManyVariants (letter_variants.h).
Composition compose(const Trie& trie, const CharCounts& phrase,
                    const SolverConstraints& constraints,
                    const ExtendedConstraints& extended,
                    const Spellings* spellings);

// The number of letters a-z that `word`, a spelling, holds.
std::uint64_t letter_length(const std::string& word);

// Calls `alone(variant_index)` for each variant where the included words
// alone are a solution, then `search(variant_index, counts, options)` for
// each that has letters to search. With `share` and a second core, two
// threads take those in turn, each search on one thread, so `search` must
// be safe to call from both; only the calling thread's searches ask the
// caller's interrupt poll. A failure on either thread stops both, and the
// calling thread's, or else the helper's, is rethrown.
template <typename Search, typename Alone>
void for_each_variant(const Composition& plan, const FastSearchOptions& options,
                      bool share, Search&& search, Alone&& alone) {
  if (plan.impossible) return;
  std::vector<std::uint32_t> searched;
  for (std::uint32_t i = 0; i < plan.variants.size(); ++i) {
    if (plan.variants[i].counts.is_empty()) {
      if (plan.include_alone) alone(i);
    } else if (!plan.prepared.impossible) {
      searched.push_back(i);
    }
  }
  if (!share || !options.second_core || searched.size() < 2) {
    for (std::uint32_t i : searched)
      search(i, plan.variants[i].counts, options);
    return;
  }
  FastSearchOptions own = options;
  own.second_core = false;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  // The helper's searches stop when the caller's fail.
  FastSearchOptions helpers = own;
  helpers.interrupt.interrupted = [&failed] { return failed.load(); };
  const std::thread::id caller = std::this_thread::get_id();
  auto share_out = [&] {
    const FastSearchOptions& mine =
        std::this_thread::get_id() == caller ? own : helpers;
    try {
      for (std::size_t k = next++; k < searched.size() && !failed; k = next++) {
        search(searched[k], plan.variants[searched[k]].counts, mine);
      }
    } catch (...) {
      failed = true;
      throw;
    }
  };
  HelperThread helper;
  helper.start(share_out);
  share_out();
  // The helper may still be in the last search: the caller's poll goes on
  // meanwhile, so that an interrupt stops that search too.
  if (options.interrupt.interrupted &&
      helper.wait_unless(options.interrupt.interrupted,
                         options.interrupt.interval)) {
    failed = true;
    try {
      helper.finish();
    } catch (...) {
      // The interrupt is what the caller hears of.
    }
    throw SearchInterrupted();
  }
  helper.finish();
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_COMPOSITION_H_
