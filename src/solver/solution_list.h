// SolutionList, the result of a solve, and SolutionGroup, its parts.
//
// A list holds distinct solutions in result order (see result_order.h),
// each a list of words in ascending byte order. Words are held once, in
// `words`, and solutions refer to them by id, so that a result of millions
// of solutions needs no per-solution allocation. A group holds solutions of
// one word count in one of two flat forms:
//  - rows: the word ids of each solution in turn, in chunks of whole
//    solutions (about a megabyte each, so no single huge block);
//  - keys: one integer per solution (see solution_keys.h) holding its ids in
//    fields of `id_bits` bits when they fit 64 or 128 bits, or, with
//    `numbering`, the 64-bit number of the multiset of its ids.
//
// Cost: 4 bytes per word of a solution as rows, 8 or 16 bytes per solution
// as keys; reading keys back costs a decode per solution, and finding a
// solution by its index a step per group.
//
// Tested by tests/cpp/solver/result_order_test.cc and the searches' tests.

#ifndef VORPALYX_SOLVER_SOLUTION_LIST_H_
#define VORPALYX_SOLVER_SOLUTION_LIST_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "solver/multiset_numbering.h"
#include "solver/page_array.h"
#include "solver/solution_keys.h"

namespace vorpalyx {

using Solution = std::vector<std::string>;

// The letters a solution spells beyond or short of its phrase: what the
// phrase's blanks became, and the letters left over ('?' for a blank left
// unused), each in alphabetical order.
struct LetterVariant {
  std::string blanks;
  std::string leftover;

  friend bool operator==(const LetterVariant&, const LetterVariant&) = default;
};

struct SolutionGroup {
  std::size_t word_count = 0;
  std::size_t solution_count = 0;
  std::vector<std::vector<std::uint32_t>> chunks;
  int id_bits = 0;  // 0: rows; otherwise keys
  // `solution_count` keys in one of the two, the other empty.
  PageArray<std::uint64_t> short_keys;
  PageArray<LongKey> long_keys;
  std::shared_ptr<const MultisetNumbering> numbering;  // for short_keys
  // Rows only: the LetterVariant of each solution, by index into the list's
  // `variants`; empty when the list has none.
  std::vector<std::uint32_t> variant_ids;

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
    for_each_in(0, solution_count, visit);
  }

  // The same for solutions [begin, end), end <= solution_count.
  template <typename Visit>
  void for_each_in(std::size_t begin, std::size_t end, Visit&& visit) const {
    if (begin >= end) return;
    if (id_bits == 0) {
      const std::size_t per_chunk = solutions_per_chunk();
      std::size_t chunk = begin / per_chunk;
      std::size_t row = begin % per_chunk * word_count;
      for (std::size_t i = begin; i < end; ++i) {
        if (row == chunks[chunk].size()) {
          ++chunk;
          row = 0;
        }
        visit(static_cast<const std::uint32_t*>(chunks[chunk].data() + row));
        row += word_count;
      }
      return;
    }
    std::vector<std::uint32_t> ids(word_count);
    if (short_keys && numbering) {
      for (std::size_t i = begin; i < end; ++i) {
        numbering->ids_of(short_keys[i], word_count, ids.data(), i != begin);
        visit(static_cast<const std::uint32_t*>(ids.data()));
      }
    } else if (short_keys) {
      for (std::size_t i = begin; i < end; ++i) {
        visit(decode_key(short_keys[i], word_count, id_bits, ids.data()));
      }
    } else if (long_keys) {
      for (std::size_t i = begin; i < end; ++i) {
        visit(decode_key(long_keys[i], word_count, id_bits, ids.data()));
      }
    }
  }

  // The word ids of solution `index` (< solution_count), `word_count` of
  // them, into `ids`. With `ids_hold_a_guess`, `ids` holds a solution of
  // this group, typically a near one, which makes multiset numbers quicker
  // to read (MultisetNumbering::ids_of).
  void ids_at(std::size_t index, std::uint32_t* ids,
              bool ids_hold_a_guess = false) const;

  // The bytes the solutions occupy.
  std::size_t stored_bytes() const;

  // Frees the solutions' storage.
  void release() {
    std::vector<std::vector<std::uint32_t>>().swap(chunks);
    short_keys.reset();
    long_keys.reset();
  }

 private:
  void add_chunk();
  // Every chunk but the last is full.
  std::size_t solutions_per_chunk() const {
    return chunks.empty() ? 1 : chunks.front().size() / word_count;
  }
};

struct SolutionList {
  std::vector<std::string> words;
  std::vector<SolutionGroup> groups;  // in result order
  // With blanks or leftover letters, the variants its solutions refer to.
  std::vector<LetterVariant> variants;
  // Whether a limit (time or solutions) ended the search before it was
  // done, so that solutions may be missing.
  bool partial = false;

  std::size_t size() const;
  // The letters solution `index` (< size()) spells beyond or short of the
  // phrase; null when the list has no variants.
  const LetterVariant* variant_at(std::size_t index) const {
    if (variants.empty()) return nullptr;
    const auto [group, place] = locate(index);
    return &variants[groups[group].variant_ids[place]];
  }
  // Where solution `index` (< size()) is: its group and its place there.
  std::pair<std::size_t, std::size_t> locate(std::size_t index) const;
  // The solutions as plain word lists; for tests and small results.
  std::vector<Solution> to_vectors() const;
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_SOLUTION_LIST_H_
