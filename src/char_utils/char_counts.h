// CharCounts: the multiset of the letters a..z.
//
// A plain value of 26 unsigned 64-bit counts, index 0 for 'a'. It is copied
// whole; every query is one pass over the 26 counts and never allocates.
//
// Tested by tests/cpp/char_utils/char_utils_test.cc and the char_counts fuzzer.

#ifndef VORPALYX_CHAR_UTILS_CHAR_COUNTS_H_
#define VORPALYX_CHAR_UTILS_CHAR_COUNTS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace vorpalyx {

inline constexpr std::size_t kAlphabetSize = 26;

// The letter index of 'a'..'z', or -1 for any other code point.
constexpr int letter_index(char32_t code_point) {
  return code_point >= U'a' && code_point <= U'z'
             ? static_cast<int>(code_point - U'a')
             : -1;
}

struct CharCounts {
  std::array<std::uint64_t, kAlphabetSize> counts{};

  // Counts the letters of `text`. ASCII capitals fold to a..z; characters
  // that are not letters are skipped. The first letter outside ASCII (by the
  // Unicode Alphabetic property) makes the whole text fail with the message
  // "Non-ASCII alphabetic character found after lowercase: <letter>".
  static std::variant<CharCounts, std::string> from_str(std::string_view text);

  std::uint64_t total() const;
  bool is_empty() const;
  // True when `other` fits inside this multiset, letter by letter.
  bool can_subtract(const CharCounts& other) const;

  std::uint64_t& operator[](std::size_t index) { return counts[index]; }
  std::uint64_t operator[](std::size_t index) const { return counts[index]; }
  friend bool operator==(const CharCounts&, const CharCounts&) = default;
};

}  // namespace vorpalyx

#endif  // VORPALYX_CHAR_UTILS_CHAR_COUNTS_H_
