#include "solver/letter_variants.h"

#include <algorithm>
#include <string>

namespace vorpalyx {

// Calls `use(removed)` for each multiset of at most `budget` letters of
// `base`, none of them one of `barred`.
namespace {

template <typename Use>
void for_each_leftover(const CharCounts& base, const CharCounts& barred,
                       std::uint64_t budget, Use&& use) {
  CharCounts removed;
  // An explicit odometer over the 26 letters, each from 0 to what it may
  // give.
  auto most = [&](std::size_t letter) {
    return barred[letter] != 0 ? 0 : base[letter];
  };
  std::uint64_t used = 0;
  for (;;) {
    use(removed);
    std::size_t letter = 0;
    for (; letter < kAlphabetSize; ++letter) {
      if (removed[letter] < most(letter) && used < budget) {
        ++removed[letter];
        ++used;
        break;
      }
      used -= removed[letter];
      removed[letter] = 0;
    }
    if (letter == kAlphabetSize) return;
  }
}

}  // namespace

namespace {

// Calls `use(blank_letters, added, removed, unused_blanks)` for each way to
// fill the blanks and leave letters over.
template <typename Use>
void for_each_variant_letters(const CharCounts& base, std::uint32_t blanks,
                              std::uint64_t leftover, Use&& use) {
  const std::uint32_t least_used =
      leftover >= blanks ? 0 : blanks - static_cast<std::uint32_t>(leftover);
  for (std::uint32_t used = least_used; used <= blanks; ++used) {
    const std::uint64_t budget = leftover - (blanks - used);
    std::vector<std::uint32_t> chosen(used, 0);  // ascending letters
    for (;;) {
      CharCounts added;
      std::string blank_letters;
      for (std::uint32_t letter : chosen) {
        ++added[letter];
        blank_letters.push_back(static_cast<char>('a' + letter));
      }
      for_each_leftover(base, added, budget, [&](const CharCounts& removed) {
        use(blank_letters, added, removed, blanks - used);
      });
      std::size_t i = used;
      while (i > 0 && chosen[i - 1] == kAlphabetSize - 1) --i;
      if (i == 0) break;
      ++chosen[i - 1];
      std::fill(chosen.begin() + i, chosen.end(), chosen[i - 1]);
    }
  }
}

}  // namespace

std::vector<Variant> letter_variants(const CharCounts& base,
                                     std::uint32_t blanks,
                                     std::uint64_t leftover) {
  // Counted first, so that the list is made once at its size: tens of
  // thousands of variants grown by doubling cost more in copies and fresh
  // pages than in making them.
  std::size_t count = 0;
  for_each_variant_letters(base, blanks, leftover,
                           [&](const std::string&, const CharCounts&,
                               const CharCounts&, std::uint32_t) {
                             if (count == TooManyVariants::kMost) {
                               throw TooManyVariants();
                             }
                             ++count;
                           });
  std::vector<Variant> variants;
  variants.reserve(count);
  for_each_variant_letters(
      base, blanks, leftover,
      [&](const std::string& blank_letters, const CharCounts& added,
          const CharCounts& removed, std::uint32_t unused_blanks) {
        Variant& variant = variants.emplace_back();
        variant.letters.blanks = blank_letters;
        for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
          variant.counts[letter] =
              base[letter] + added[letter] - removed[letter];
          // Most letters are not left over: an append of none still costs
          // a call.
          if (removed[letter] != 0) {
            variant.letters.leftover.append(removed[letter],
                                            static_cast<char>('a' + letter));
          }
        }
        if (unused_blanks != 0) {
          variant.letters.leftover.append(unused_blanks, '?');
        }
      });
  return variants;
}

}  // namespace vorpalyx
