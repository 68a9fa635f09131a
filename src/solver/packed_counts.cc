#include "solver/packed_counts.h"

namespace vorpalyx {

PackedLayout PackedLayout::for_phrase(
    const CharCounts& phrase,
    const std::array<std::uint32_t, kAlphabetSize>& order,
    bool one_letter_per_word) {
  PackedLayout layout;
  layout.word.fill(-1);
  int offset = 64;
  for (std::uint32_t rank = 0; rank < kAlphabetSize; ++rank) {
    const std::uint32_t letter = order[rank];
    layout.priority[letter] = rank;
    if (phrase[letter] == 0) continue;
    const int bits = std::bit_width(phrase[letter]);
    if (one_letter_per_word || offset + bits + 1 > 64) {
      ++layout.words_used;
      offset = 0;
    }
    layout.word[letter] = static_cast<int>(layout.words_used) - 1;
    layout.shift[letter] = offset;
    layout.value_bits[letter] = bits;
    offset += bits + 1;
  }
  return layout;
}

}  // namespace vorpalyx
