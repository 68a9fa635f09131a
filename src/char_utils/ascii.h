// ASCII case folding: the one rule by which text becomes the letters a..z.
//
// fold_ascii_case maps 'A'..'Z' to 'a'..'z' and returns every other value
// unchanged; is_ascii_letter is true exactly for the values that fold into
// 'a'..'z'. No other character folds (no É to é, no Kelvin sign to k) and no
// locale is consulted, unlike std::tolower. Each takes either a byte of UTF-8
// text (char) or a decoded code point (char32_t); a byte of 0x80 or above,
// negative where char is signed, is never a letter. Cost: a few comparisons,
// constexpr, no table.
//
// Tested by tests/cpp/char_utils/ascii_test.cc.

#ifndef VORPALYX_CHAR_UTILS_ASCII_H_
#define VORPALYX_CHAR_UTILS_ASCII_H_

#include <concepts>

namespace vorpalyx {

template <typename Unit>
concept TextUnit = std::same_as<Unit, char> || std::same_as<Unit, char32_t>;

template <TextUnit Unit>
constexpr Unit fold_ascii_case(Unit unit) {
  return unit >= Unit{'A'} && unit <= Unit{'Z'}
             ? static_cast<Unit>(unit - Unit{'A'} + Unit{'a'})
             : unit;
}

template <TextUnit Unit>
constexpr bool is_ascii_letter(Unit unit) {
  const Unit folded = fold_ascii_case(unit);
  return folded >= Unit{'a'} && folded <= Unit{'z'};
}

}  // namespace vorpalyx

#endif  // VORPALYX_CHAR_UTILS_ASCII_H_
