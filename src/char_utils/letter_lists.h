// Parsing of the start-letter arguments of a solve.
//
// Each character of the text (after ASCII lower-casing) is one item; there are
// no separators. An absent text gives an absent result; an empty text gives a
// present, empty one. The containers are ordered by code point, so anything
// that walks them (checks and diagnostics) is reproducible.
//
// Tested by tests/cpp/char_utils/char_utils_test.cc.

#ifndef VORPALYX_CHAR_UTILS_LETTER_LISTS_H_
#define VORPALYX_CHAR_UTILS_LETTER_LISTS_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string_view>

namespace vorpalyx {

using LetterSet = std::set<char32_t>;
using LetterCountMap = std::map<char32_t, std::uint64_t>;

std::optional<LetterCountMap> parse_char_list_to_counts(
    std::optional<std::string_view> text);
std::optional<LetterSet> parse_char_list_to_set(
    std::optional<std::string_view> text);

}  // namespace vorpalyx

#endif  // VORPALYX_CHAR_UTILS_LETTER_LISTS_H_
