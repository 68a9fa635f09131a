// Letter variants: the letters a phrase with blanks and leftover letters
// may spell.
//
// Each way of filling the blanks and leaving letters over gives one
// variant: the letters to search and what they differ from the phrase by.
// Blanks become any letters, as a multiset (two blanks that become "ab" and
// "ba" are one variant); a letter is never both a blank's and left over,
// since that is the same as the blank left over, which counts as a '?' left
// over. So no two variants spell the same letters.
//
// Invariant: the variants are distinct, each with all blanks used or left
// over and at most `leftover` letters and blanks unused. Cost: one per
// multiset of blank letters (26 for a blank, 351 for two) times one per
// multiset of leftover letters; at most TooManyVariants::kMost.
//
// Tested by tests/cpp/solver/composed_search_test.cc and, against a brute
// force, tests/python/test_constraints.py.

#ifndef VORPALYX_SOLVER_LETTER_VARIANTS_H_
#define VORPALYX_SOLVER_LETTER_VARIANTS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "char_utils/char_counts.h"
#include "solver/solution_list.h"

namespace vorpalyx {

// More ways to fill the blanks and leave letters over than a search may
// try.
struct TooManyVariants {
  static constexpr std::size_t kMost = 100000;
};

struct Variant {
  CharCounts counts;  // the letters to search
  LetterVariant letters;
};

// The variants of `base` (the phrase's letters) with `blanks` blanks and
// up to `leftover` letters or blanks unused. Throws TooManyVariants.
std::vector<Variant> letter_variants(const CharCounts& base,
                                     std::uint32_t blanks,
                                     std::uint64_t leftover);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_LETTER_VARIANTS_H_
