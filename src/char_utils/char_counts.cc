#include "char_utils/char_counts.h"

#include "char_utils/ascii.h"
#include "char_utils/unicode_tables.h"
#include "char_utils/utf8.h"

namespace vorpalyx {

std::variant<CharCounts, std::string> CharCounts::from_str(
    std::string_view text) {
  CharCounts result;
  std::size_t position = 0;
  while (position < text.size()) {
    const char32_t code_point = decode_utf8(text, &position);
    if (code_point < 0x80) {
      const int index = letter_index(fold_ascii_case(code_point));
      if (index >= 0) ++result.counts[index];
      continue;
    }
    if (unicode::is_alphabetic(code_point)) {
      std::string message =
          "Non-ASCII alphabetic character found after lowercase: ";
      append_utf8(message, code_point);
      return message;
    }
  }
  return result;
}

std::uint64_t CharCounts::total() const {
  std::uint64_t sum = 0;
  for (std::uint64_t count : counts) sum += count;
  return sum;
}

bool CharCounts::is_empty() const {
  for (std::uint64_t count : counts) {
    if (count != 0) return false;
  }
  return true;
}

bool CharCounts::can_subtract(const CharCounts& other) const {
  for (std::size_t i = 0; i < kAlphabetSize; ++i) {
    if (counts[i] < other.counts[i]) return false;
  }
  return true;
}

}  // namespace vorpalyx
