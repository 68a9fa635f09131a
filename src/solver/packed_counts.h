// Letter counts packed into machine words, for the fast search.
//
// A PackedLayout gives each letter of one phrase a field of its own: word
// `word`, bits [shift, shift + value_bits), wide enough for the phrase's
// count of that letter, and one guard bit just above it. Letters the phrase
// lacks get no field (no word that fits the phrase holds them). Fields are
// laid out rarest letter first, so the lowest guard bit set names the rarest
// letter of a set.
//
// Invariant: counts that fit the phrase never carry into a guard bit. With
// every guard bit set in the letters remaining, subtracting a word's counts
// clears the guard of exactly the fields that the word overdraws and no
// other, so one subtraction and one mask per machine word tell whether a
// word fits and what remains.
//
// Cost: a packed count is N machine words (N is 1, 2, 4 or 26); every
// operation is a handful of word operations.
//
// Tested by tests/cpp/solver/fast_search_test.cc (wide packing, large
// counts) and the differential tests of both searches.

#ifndef VORPALYX_SOLVER_PACKED_COUNTS_H_
#define VORPALYX_SOLVER_PACKED_COUNTS_H_

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "char_utils/char_counts.h"

namespace vorpalyx {

struct PackedLayout {
  std::size_t words_used = 0;
  std::array<int, kAlphabetSize> word{};  // -1: the phrase lacks the letter
  std::array<int, kAlphabetSize> shift{};
  std::array<int, kAlphabetSize> value_bits{};
  std::array<std::uint32_t, kAlphabetSize> priority{};  // by letter

  // Packs greedily into 64-bit words, letters in `order` (rarest first);
  // with `one_letter_per_word`, each letter gets a word of its own, which
  // holds any count below 2^63.
  static PackedLayout for_phrase(
      const CharCounts& phrase,
      const std::array<std::uint32_t, kAlphabetSize>& order,
      bool one_letter_per_word);
};

template <std::size_t N>
struct Packed {
  std::array<std::uint64_t, N> words{};

  friend bool operator==(const Packed& left, const Packed& right) {
    std::uint64_t difference = 0;
    for (std::size_t i = 0; i < N; ++i) {
      difference |= left.words[i] ^ right.words[i];
    }
    return difference == 0;
  }

  // Word by word: comparing the arrays whole calls memcmp.
  friend bool operator<(const Packed& left, const Packed& right) {
    for (std::size_t i = 0; i < N; ++i) {
      if (left.words[i] != right.words[i]) {
        return left.words[i] < right.words[i];
      }
    }
    return false;
  }

  Packed operator-(const Packed& other) const {
    Packed result;
    for (std::size_t i = 0; i < N; ++i)
      result.words[i] = words[i] - other.words[i];
    return result;
  }
  Packed operator&(const Packed& other) const {
    Packed result;
    for (std::size_t i = 0; i < N; ++i)
      result.words[i] = words[i] & other.words[i];
    return result;
  }
  Packed& operator|=(const Packed& other) {
    for (std::size_t i = 0; i < N; ++i) words[i] |= other.words[i];
    return *this;
  }
  Packed without(const Packed& other) const {
    Packed result;
    for (std::size_t i = 0; i < N; ++i)
      result.words[i] = words[i] & ~other.words[i];
    return result;
  }
  bool any() const {
    std::uint64_t bits = 0;
    for (std::uint64_t word : words) bits |= word;
    return bits != 0;
  }
};

// The masks that go with a layout, and packing by it.
template <std::size_t N>
struct PackedAlphabet {
  Packed<N> guards;    // the guard bit of every field
  Packed<N> low_bits;  // the lowest bit of every field
  std::array<Packed<N>, kAlphabetSize> guard_of{};
  // The priority of the letter whose guard is bit b of word w, at 64 * w + b.
  std::array<std::uint8_t, 64 * N> priority_of_guard{};
  const PackedLayout* layout;

  explicit PackedAlphabet(const PackedLayout& layout) : layout(&layout) {
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      if (layout.word[letter] < 0) continue;
      const int shift = layout.shift[letter];
      const int guard_bit = shift + layout.value_bits[letter];
      guard_of[letter].words[layout.word[letter]] = std::uint64_t{1}
                                                    << guard_bit;
      guards |= guard_of[letter];
      low_bits.words[layout.word[letter]] |= std::uint64_t{1} << shift;
      priority_of_guard[64 * layout.word[letter] + guard_bit] =
          static_cast<std::uint8_t>(layout.priority[letter]);
    }
  }

  // The priority of the rarest letter among `letters` (guard bits, not
  // all zero).
  std::uint32_t rarest(const Packed<N>& letters) const {
    std::size_t i = 0;
    while (i + 1 < N && letters.words[i] == 0) ++i;
    return priority_of_guard[64 * i + std::countr_zero(letters.words[i])];
  }

  // Counts whose letters all have fields in the layout.
  Packed<N> pack(const CharCounts& counts) const {
    Packed<N> packed;
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      if (counts[letter] == 0) continue;
      packed.words[layout->word[letter]] += counts[letter]
                                            << layout->shift[letter];
    }
    return packed;
  }

  // The guard bits of the letters that `counts` holds.
  Packed<N> letters_of(const CharCounts& counts) const {
    Packed<N> letters;
    for (std::size_t letter = 0; letter < kAlphabetSize; ++letter) {
      if (counts[letter] != 0) letters |= guard_of[letter];
    }
    return letters;
  }

  // The same two for a word of a-z whose every letter the layout holds,
  // letter by letter: without counting the word first, and without a branch
  // per letter of the alphabet.
  Packed<N> pack(std::string_view word) const {
    Packed<N> packed;
    for (const char character : word) {
      const auto letter = static_cast<std::size_t>(character - 'a');
      packed.words[layout->word[letter]] += std::uint64_t{1}
                                            << layout->shift[letter];
    }
    return packed;
  }
  Packed<N> letters_of(std::string_view word) const {
    Packed<N> letters;
    for (const char character : word) {
      letters |= guard_of[static_cast<std::size_t>(character - 'a')];
    }
    return letters;
  }

  // `remaining` carries its guard bits; a field that `word` overdraws
  // borrows its own guard bit and no other. Without branches, for callers
  // that gather what fits.
  bool fits(const Packed<N>& remaining, const Packed<N>& word) const {
    bool fit = true;
    for (std::size_t i = 0; i < N; ++i) {
      fit &= ((remaining.words[i] - word.words[i]) & guards.words[i]) ==
             guards.words[i];
    }
    return fit;
  }

  // The guard bits of the letters that `remaining` still holds.
  Packed<N> letters_held(const Packed<N>& remaining) const {
    return (remaining - low_bits) & guards;
  }
};

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_PACKED_COUNTS_H_
