// with_packed_candidates: what every search of a phrase does before it walks.
//
// It collects the candidate words (word_classes.h), spells them
// (spellings.h), leaves out the omitted spellings, and packs the phrase's
// letters (packed_counts.h) as narrowly as they fit; the search proper is
// then called with the packing's width as a template argument. A search that
// cannot have a solution (impossible constraints, word lengths that do not
// add up to the letters, no candidate) or whose time is already up stops
// here with an empty result.
//
// Cost: one walk of the trie pruned by the phrase's letters, and a sort of
// the candidates by their letters' rarity.
//
// Tested through the searches that use it:
// tests/cpp/solver/fast_search_test.cc, ranked_search_test.cc and
// composed_search_test.cc.

#ifndef VORPALYX_SOLVER_CANDIDATE_PACKING_H_
#define VORPALYX_SOLVER_CANDIDATE_PACKING_H_

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/fast_search.h"
#include "solver/packed_counts.h"
#include "solver/prepared_constraints.h"
#include "solver/search_records.h"
#include "solver/spellings.h"
#include "solver/word_classes.h"
#include "trie/trie.h"

namespace vorpalyx {

// Collects the candidates of `phrase_counts`, spells them, packs its
// letters and calls `search.template operator()<N>(layout, words)` for the
// packing that fits; `empty` when nothing can be found.
template <typename Result, typename Search>
Result with_packed_candidates(const Trie& trie, const CharCounts& phrase_counts,
                              const SolverConstraints& constraints,
                              const PreparedConstraints& prepared,
                              std::chrono::steady_clock::time_point start_time,
                              const FastSearchOptions& options,
                              Search&& search) {
  if (prepared.impossible ||
      !prepared.lengths_add_up_to(phrase_counts.total())) {
    return {};
  }
  if (prepared.past_time_limit(start_time)) return {};
  std::vector<std::string> words =
      collect_candidate_words(trie, phrase_counts, constraints, prepared);
  if (words.empty()) return {};
  const auto order = letters_by_rarity(words);
  SpelledWords spelled =
      spell_candidates(options.spellings, trie, std::move(words));
  if (!prepared.omitted_spellings.empty()) {
    omit_spellings(prepared.omitted_spellings, &spelled);
    if (spelled.words.empty()) return {};
  }
  const PackedLayout packed =
      PackedLayout::for_phrase(phrase_counts, order, false);
  switch (packed.words_used) {
    case 1:
      return search.template operator()<1>(packed, std::move(spelled));
    case 2:
      return search.template operator()<2>(packed, std::move(spelled));
    case 3:
    case 4:
      return search.template operator()<4>(packed, std::move(spelled));
    default:
      return search.template operator()<kAlphabetSize>(
          PackedLayout::for_phrase(phrase_counts, order, true),
          std::move(spelled));
  }
}

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_CANDIDATE_PACKING_H_
