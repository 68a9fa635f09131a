// The records that one solve shares between its driver and its search.
//
// SolverConstraints is built by the caller and only read by the search; an
// absent field is a constraint that was not given, while a present but empty
// container is applied as empty. SearchState is the mutable state of one
// running search. SolutionList is the result: distinct solutions in result
// order, each a list of words in ascending byte order.

#ifndef VORPALYX_SOLVER_SEARCH_RECORDS_H_
#define VORPALYX_SOLVER_SEARCH_RECORDS_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "char_utils/char_counts.h"
#include "char_utils/letter_lists.h"
#include "solver/multiset_numbering.h"

namespace vorpalyx {

struct ProcessedPattern {
  std::string text;   // normalised, never empty
  CharCounts counts;  // the letters of `text`
};

struct SolverConstraints {
  std::optional<LetterCountMap> must_start_with;
  std::optional<LetterSet> can_only_ever_start_with;
  std::optional<LetterSet> must_not_start_with;
  std::optional<std::uint64_t> max_words;
  std::optional<std::uint64_t> min_word_length;
  std::optional<double> timeout_seconds;
  std::optional<std::uint64_t> max_solutions;
  std::optional<std::vector<ProcessedPattern>> contains_patterns;

  // Whether a word may begin with `letter`: not excluded by
  // must_not_start_with, and admitted by can_only_ever_start_with.
  bool allows_start(char32_t letter) const {
    if (must_not_start_with && must_not_start_with->contains(letter)) {
      return false;
    }
    return !can_only_ever_start_with ||
           can_only_ever_start_with->contains(letter);
  }
};

struct SearchState {
  // Entry i is true while some word on the path contains pattern i; present
  // exactly when the constraints carry a pattern list.
  std::optional<std::vector<bool>> pattern_mask;
  std::chrono::steady_clock::time_point start_time;
  std::uint64_t solutions_found = 0;
  bool timed_out = false;
};

using Solution = std::vector<std::string>;

// Solutions that all have `word_count` words, in one of two flat forms, so
// that a result of millions of solutions needs no per-solution allocation:
//  - rows: the word ids of each solution in turn, in chunks of whole
//    solutions (no single huge block);
//  - keys: one integer per solution holding its ids in fields of `id_bits`
//    bits, the first id in the highest field (used when a solution fits in
//    64 or 128 bits), or, with `numbering`, the 64-bit number of the
//    multiset of its ids.
struct SolutionGroup {
  using LongKey = unsigned __int128;

  std::size_t word_count = 0;
  std::size_t solution_count = 0;
  std::vector<std::vector<std::uint32_t>> chunks;
  int id_bits = 0;  // 0: rows; otherwise keys
  // `solution_count` keys in one of the two, the other empty.
  std::unique_ptr<std::uint64_t[]> short_keys;
  std::unique_ptr<LongKey[]> long_keys;
  std::shared_ptr<const MultisetNumbering> numbering;  // for short_keys

  // Appends one solution of `word_count` ids, as a row.
  void append(const std::uint32_t* word_ids) {
    if (chunks.empty() ||
        chunks.back().capacity() - chunks.back().size() < word_count) {
      add_chunk();
    }
    chunks.back().insert(chunks.back().end(), word_ids, word_ids + word_count);
    ++solution_count;
  }

  // Calls `visit(ids)` for each solution in order, `ids` pointing to its
  // `word_count` word ids.
  template <typename Visit>
  void for_each(Visit&& visit) const {
    if (id_bits == 0) {
      for (const std::vector<std::uint32_t>& chunk : chunks) {
        for (std::size_t row = 0; row < chunk.size(); row += word_count) {
          visit(chunk.data() + row);
        }
      }
      return;
    }
    std::vector<std::uint32_t> ids(word_count);
    if (short_keys && numbering) {
      for (std::size_t i = 0; i < solution_count; ++i) {
        numbering->ids_of(short_keys[i], word_count, ids.data(), i != 0);
        visit(static_cast<const std::uint32_t*>(ids.data()));
      }
    } else if (short_keys) {
      for (std::size_t i = 0; i < solution_count; ++i) {
        visit(decode(short_keys[i], ids.data()));
      }
    } else if (long_keys) {
      for (std::size_t i = 0; i < solution_count; ++i) {
        visit(decode(long_keys[i], ids.data()));
      }
    }
  }

  // Frees the solutions' storage.
  void release() {
    std::vector<std::vector<std::uint32_t>>().swap(chunks);
    short_keys.reset();
    long_keys.reset();
  }

 private:
  void add_chunk();

  template <typename Key>
  const std::uint32_t* decode(Key key, std::uint32_t* ids) const {
    const Key mask = (Key{1} << id_bits) - 1;
    for (std::size_t k = word_count; k-- > 0;) {
      ids[k] = static_cast<std::uint32_t>(key & mask);
      key >>= id_bits;
    }
    return ids;
  }
};

// The result of a solve: groups in result order, each holding its solutions
// in result order. Word ids index `words`, where each distinct word is held
// once whatever the number of solutions that use it.
struct SolutionList {
  std::vector<std::string> words;
  std::vector<SolutionGroup> groups;
  // When the fast search ended its walk, before sorting, measured from the
  // solve's start; for benchmarks of the time limit (0 from the literal
  // search).
  double search_seconds = 0;

  std::size_t size() const;
  // The solutions as plain word lists; for tests and small results.
  std::vector<Solution> to_vectors() const;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SEARCH_RECORDS_H_
